// Checks over TLS on connect and STLS: the same kill pass, log and outcome as a plain check,
// and a refused certificate reported like a refused password.

#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>

#include "app/check_cycle.h"
#include "app/settings.h"
#include "app/timer.h"
#include "app_test_form.h"
#include "filter/kill_list_store.h"
#include "net/encryption.h"
#include "net/pop3.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/scoped_env.h"
#include "support/test_certificates.h"

namespace {

std::string Mail(const std::string& subject) {
    return "From: sender@example.org\nTo: vornask@example.org\nSubject: " + subject +
           "\n\nHello.\n";
}

// A private home for one check: its cache, its deletion log and a window whose kill list
// condemns "spam".
struct CheckPlace {
    QTemporaryDir dir;
    const ScopedEnv cache{"XDG_CACHE_HOME", dir.filePath("cache").toStdString()};
    const std::string log = dir.filePath("deleted.log").toStdString();
    TestForm form{dir.filePath("registry.reg").toStdString()};

    CheckPlace() {
        form.FormCreate();
        SaveKillList(*form.Registry, {"Subject: = spam"});
        form.Settings.LogFile = log;
        form.Settings.Mailboxes[0].Connection.Host = "localhost";
        form.Settings.Mailboxes[0].Connection.ReceiveTimeoutMs = 5000;
    }
    ~CheckPlace() { form.FormDestroy(); }
    // The deletion log's lines, but the time stamps.
    std::vector<std::string> Logged() const {
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("[Message has been deleted at ", 0) != 0) lines.push_back(line);
        return lines;
    }
};

struct Outcome {
    std::vector<std::string> events;
    std::string log;  // the deletion log without its time stamps
    size_t left = 0;
    bool windowBack = false;  // shown again with the timer stopped
    bool settled = false;     // the check ended in time
};

// One check from Hide to its notification against a fresh server holding one spam among two.
Outcome Check(TEncryption encryption, const std::string& cert, bool fast = false) {
    const TestCertificates& certs = TestCertificates::Get();
    DovecotServer server("anna", "pw", DovecotOptions{certs.Pem(cert), certs.Key(cert), false});
    server.Deliver(Mail("cheap spam"));
    server.Deliver(Mail("lunch"));
    Outcome outcome;
    {
        CheckPlace place;
        TestForm& form = place.form;
        form.Settings.Mailboxes[0].User = "anna";
        form.Settings.Mailboxes[0].Connection.Encryption = encryption;
        form.Settings.Mailboxes[0].FastCheck = fast;
        form.Settings.Mailboxes[0].Connection.Port =
            encryption == TEncryption::TlsOnConnect ? server.TlsPort() : server.Port();
        form.edPassword->setText("pw");
        form.show();
        form.CheckAndHide();
        outcome.settled = form.Settle();
        outcome.events = form.Log;
        outcome.windowBack = form.isVisible() && !form.Cycle().Timer()->Enabled();
        for (const std::string& line : place.Logged()) outcome.log += line + "\n";
    }
    outcome.left = server.MessageFiles().size();
    return outcome;
}

// One check of two mailboxes from Hide: "work" plain, "home" over TLS on connect, each holding
// one spam among two, the password typed once in the box. Home refuses it unless homePassword
// is "pw".
struct TwoMailboxes {
    std::vector<std::string> events;
    size_t spamLogged = 0;
    size_t workLeft = 0, homeLeft = 0;
    bool windowBack = false;
    std::vector<int> needsUser;  // mailboxes the window came back for
    int32_t mailCount = 0;
    bool anyFailed = false;
    bool settled = false;
};

TwoMailboxes CheckTwo(const std::string& homePassword) {
    const TestCertificates& certs = TestCertificates::Get();
    DovecotServer work("anna", "pw");
    DovecotServer home("bob", homePassword,
                       DovecotOptions{certs.Pem("server"), certs.Key("server"), false});
    for (DovecotServer* server : {&work, &home}) {
        server->Deliver(Mail("cheap spam"));
        server->Deliver(Mail("lunch"));
    }
    TwoMailboxes outcome;
    {
        CheckPlace place;
        TestForm& form = place.form;
        TSettings& settings = form.Settings;
        settings.Mailboxes[0].Name = "work";
        settings.Mailboxes[0].Connection.Port = work.Port();
        settings.Mailboxes[0].User = "anna";
        settings.ShowMessage = true;
        TMailbox second = settings.Mailboxes[0];
        second.Identity = {};  // another mailbox alike, not a copy
        second.Name = "home";
        second.User = "bob";
        second.Connection.Encryption = TEncryption::TlsOnConnect;
        second.Connection.Port = home.TlsPort();
        settings.Mailboxes = {settings.Mailboxes[0], second};
        QObject::connect(&form.Cycle(), &TCheckCycle::MailboxNeedsUser, [&](TMailboxId id) {
            outcome.needsUser.push_back(id == second.Id() ? 1 : 0);
        });
        form.ShowMailboxes();
        form.edPassword->setText("pw");
        form.PasswordRow(1)->setText("pw");
        form.show();
        form.CheckAndHide();
        outcome.settled = form.Settle();
        outcome.events = form.Log;
        outcome.windowBack = form.isVisible() && !form.Cycle().Timer()->Enabled();
        outcome.mailCount = form.Cycle().MailCount();
        outcome.anyFailed = form.Cycle().LastCheckFailed();
        for (const std::string& line : place.Logged())
            outcome.spamLogged += line.find("Subject: cheap spam") != std::string::npos;
    }
    outcome.workLeft = work.MessageFiles().size();
    outcome.homeLeft = home.MessageFiles().size();
    return outcome;
}

// The events after the tooltip that shows the first mailbox's line alone, as soon as it is known
// (which mailbox that is depends on which check ends first).
std::vector<std::string> AfterEarlyTip(const std::vector<std::string>& events) {
    if (events.empty() || events[0].rfind("tip:", 0) != 0) return {"(no early tip)"};
    return {events.begin() + 1, events.end()};
}

}  // namespace

class AppSecureCycleTest : public QObject {
    Q_OBJECT
    const TrustOnly trust_;

  private slots:
    // That each session was encrypted is shown in the net layer's tests; here, that the check
    // deletes, logs and notifies as a plain one does.
    void secureCheckIsThePlainCheck() {
        const Outcome plain = Check(TEncryption::None, "server");
        QVERIFY(plain.settled);
        for (const auto& [encryption, fast] : {std::pair{TEncryption::Stls, false},
                                               {TEncryption::TlsOnConnect, false},
                                               {TEncryption::Stls, true}}) {
            const Outcome secure = Check(encryption, "server", fast);
            QVERIFY(secure.settled);
            QCOMPARE(secure.events, (std::vector<std::string>{"tip:You have mail!"}));
            QCOMPARE(secure.events, plain.events);
            QVERIFY(secure.log.find("Subject: cheap spam") != std::string::npos);
            QCOMPARE(secure.log, plain.log);
            QCOMPARE(secure.left, size_t{1});
        }
    }

    // The user has to choose: trust the certificate or fix the server; no ticks until then. A
    // fast check asks for STLS as the classic one does.
    void refusedCertificateShowsTheErrorBoxAndBringsTheWindowBack() {
        for (const auto& [encryption, fast] :
             {std::pair{TEncryption::TlsOnConnect, false}, {TEncryption::Stls, true}}) {
            const Outcome outcome = Check(encryption, "selfsigned", fast);
            QVERIFY(outcome.settled);
            QCOMPARE(outcome.events.size(), size_t{2});
            QVERIFY(outcome.events[0].rfind("tip:Certificate not trusted (self-signed) for ", 0) ==
                    0);
            QCOMPARE(outcome.events[1], "error:" + outcome.events[0].substr(4));
            QCOMPARE(outcome.left, size_t{2});
            QVERIFY(outcome.windowBack);
        }
    }
    // Two mailboxes, one plain and one over TLS: one check deletes and logs the spam of both and
    // names each in the tooltip and the count box. A refusal in one brings the window back for
    // it, its box naming it, while the other's spam is still deleted and its count still shown.
    void severalMailboxesAreOneCheck() {
        const TwoMailboxes both = CheckTwo("pw");
        QVERIFY(both.settled);
        QCOMPARE(AfterEarlyTip(both.events),
                 (std::vector<std::string>{
                     "tip:You have mail!\nwork: 1 waiting\nhome: 1 waiting",
                     "box:You have 2 messages!\nwork: 1 message\nhome: 1 message"}));
        QCOMPARE(both.spamLogged, size_t{2});
        QCOMPARE(both.workLeft, size_t{1});
        QCOMPARE(both.homeLeft, size_t{1});
        QCOMPARE(both.mailCount, 2);
        QVERIFY(!both.anyFailed && !both.windowBack);

        const TwoMailboxes refused = CheckTwo("other");
        QVERIFY(refused.settled);
        const std::string reply = "-ERR [AUTH] Authentication failed.";
        QCOMPARE(AfterEarlyTip(refused.events),
                 (std::vector<std::string>{
                     "tip:You have mail!\nwork: 1 waiting\nhome: " + reply, "error:home: " + reply,
                     "box:You have 1 messages!\nwork: 1 message\nhome: " + reply}));
        QCOMPARE(refused.spamLogged, size_t{1});
        QCOMPARE(refused.workLeft, size_t{1});
        QCOMPARE(refused.homeLeft, size_t{2});
        QCOMPARE(refused.needsUser, std::vector<int>{1});
        QCOMPARE(refused.mailCount, 1);
        QVERIFY(refused.anyFailed && refused.windowBack);
    }
};

VORNASK_APP_TEST_MAIN(AppSecureCycleTest)
#include "app_secure_cycle_test.moc"
