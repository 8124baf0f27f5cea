// The check cycle against a POP3 peer: outcomes, notifications and their order, failures, and
// checks that run nested inside an open box.

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QWindow>
#include <QtTest>
#include <fstream>
#include <memory>

#include "app/launcher.h"
#include "app/shown_message.h"
#include "app/timer.h"
#include "app_test_form.h"
#include "base/exception.h"
#include "filter/kill_list_store.h"
#include "net/pop3.h"
#include "platform/registry.h"
#include "shell/connection_page.h"
#include "shell/mailopt.h"
#include "support/dovecot_server.h"
#include "support/free_port.h"
#include "support/pop3_script.h"
#include "support/scoped_env.h"

namespace {

using S = ScriptedPop3Server;

std::string Mail(const std::string& subject) {
    return "From: sender@example.org\nTo: vornask@example.org\nSubject: " + subject +
           "\n\nHello.\n";
}

// The main window of one test, created the way the program creates it and pointed at a server.
struct Window {
    QTemporaryDir dir;
    std::unique_ptr<TestForm> form;

    // stored: settings values put in the hive before the program starts.
    Window(uint16_t port, const std::string& user, const std::string& password,
           const std::function<void(TRegistry&)>& stored = {}) {
        if (stored) {
            TRegistry registry(Path("registry.reg"));
            SaveSettings(registry, TSettings{});
            registry.OpenKey(kSettingsKey, true);
            stored(registry);
            registry.CloseKey();
        }
        form = std::make_unique<TestForm>(Path("registry.reg"));
        form->FormCreate();
        form->Settings.Mailboxes[0].Connection.Port = port;
        form->Settings.Mailboxes[0].Connection.ReceiveTimeoutMs = 5000;
        form->Settings.Mailboxes[0].Connection.Host = "127.0.0.1";
        form->Settings.Mailboxes[0].User = user;
        form->edPassword->setText(QString::fromStdString(password));
        form->show();
    }
    explicit Window(DovecotServer& server)
        : Window(server.Port(), server.User(), server.Password()) {}
    ~Window() {
        try {
            form->FormDestroy();
        } catch (...) {
        }
    }

    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }

    // A mail reader that only notes each start in a file.
    std::string Reader() const {
        const std::string script = Path("reader.sh");
        std::ofstream(script) << "#!/bin/sh\necho started >> '" << Path("starts") << "'\n";
        QFile::setPermissions(QString::fromStdString(script),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }
    int ReaderStarts() const {
        std::ifstream in(Path("starts"));
        int n = 0;
        for (std::string line; std::getline(in, line);) ++n;
        return n;
    }
    std::string Tip() const { return TrayTip(form->TrayIconData); }
};

// One POP3 session of an empty mailbox.
Steps EmptySession() {
    return Then(LoginSteps(""), {S::ReadLine(), S::Send("+OK bye\r\n"), S::Close()});
}

}  // namespace

class AppCycleTest : public QObject {
    Q_OBJECT
  private slots:
    void emptyMailboxQuietCheckRunsNoKillPass();
    void emptyMailboxRightClickShowsNoMailBox();
    void mailboxOfOnlyCondemnedMessagesIsNoMail();
    void soundThenCountBoxThenReader();
    void tickWhileCountBoxOpenStaysQuiet();
    void protocolErrorWhileBoxOpenStillBringsWindowBack();
    void refusedPasswordBringsWindowBack_data();
    void refusedPasswordBringsWindowBack();
    void connectionFailureKeepsWatching();
    void temporaryRefusalKeepsWatching_data();
    void temporaryRefusalKeepsWatching();
    void shownErrorSaysWhatHappened_data();
    void shownErrorSaysWhatHappened();
    void storedEncryptionThatCannotBeReadRefusesTheCheck_data();
    void storedEncryptionThatCannotBeReadRefusesTheCheck();
    void serverTextIsShownAsPlainText();
    void intervalZeroNeverTicks();
    void failingReaderStartLeavesNextCycleWorking();
    void listingOfAFailedSessionIsNotCountedAgain();
    void fastCheckIsOneSessionWithTheSameOutcome();
    void matchBoxesReachBothChecks();
};

void AppCycleTest::emptyMailboxQuietCheckRunsNoKillPass() {
    S server(EmptySession());
    Window w(server.Port(), "anna", "pw");
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());

    QCOMPARE(w.Tip(), std::string("No mail."));
    QCOMPARE(w.form->Count("box:"), 0);
    QCOMPARE(w.form->Cycle().MailCount(), 0);
    QVERIFY(w.form->isHidden());
    QCOMPARE(server.Lines(), (std::vector<std::string>{"USER anna", "PASS pw", "LIST", "QUIT"}));
    QCOMPARE(server.Connections(), 1);  // the kill pass would have logged in again
}

void AppCycleTest::emptyMailboxRightClickShowsNoMailBox() {
    DovecotServer server;
    Window w(server);
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());
    QCOMPARE(w.form->Log, (std::vector<std::string>{"tip:No mail."}));

    w.form->TrayIconNotify(
        TTrayCallbackEvent(kTrayCallbackMessage, kTrayIconId, tray::WM_RBUTTONDOWN));
    QVERIFY(w.form->Settle());
    QCOMPARE(w.form->Log,
             (std::vector<std::string>{"tip:No mail.", "tip:No mail.", "box:No mail."}));
}

// Condemned mail is deleted and counts as none, so the count box stays away; kept mail with
// nothing else chosen is only the tooltip.
void AppCycleTest::mailboxOfOnlyCondemnedMessagesIsNoMail() {
    for (const bool condemned : {true, false}) {
        DovecotServer server;
        server.Deliver(Mail(condemned ? "cheap spam" : "hello"));
        if (condemned) server.Deliver(Mail("more spam"));
        Window w(server);
        if (condemned) SaveKillList(*w.form->Registry, {"Subject: = spam"});
        w.form->Settings.ShowMessage = condemned;
        w.form->CheckAndHide();
        QVERIFY(w.form->Settle());
        QCOMPARE(w.form->Log,
                 std::vector<std::string>{condemned ? "tip:No mail." : "tip:You have mail!"});
        QCOMPARE(w.form->Cycle().MailCount(), condemned ? 0 : 1);
        QCOMPARE(server.MessageFiles().size(), size_t(condemned ? 0 : 1));
    }
}

void AppCycleTest::soundThenCountBoxThenReader() {
    DovecotServer server;
    server.Deliver(Mail("spam"));
    server.Deliver(Mail("minutes of the meeting"));
    Window w(server);
    SaveKillList(*w.form->Registry, {"Subject: = spam"});
    w.form->Settings.WavSound = "\"/sounds/ding.wav\"";
    w.form->Settings.ShowMessage = true;
    w.form->Settings.MailProgram = w.Reader();
    int startsWhileBoxOpen = -1;
    w.form->OnBox = [&] {
        QVERIFY(w.form->Cycle().Notifying());
        startsWhileBoxOpen = w.ReaderStarts();
    };
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());

    QCOMPARE(w.form->Log,
             (std::vector<std::string>{"tip:You have mail!", "sound:\"/sounds/ding.wav\"",
                                       "box:You have 1 messages!"}));
    QCOMPARE(startsWhileBoxOpen, 0);
    QTRY_COMPARE_WITH_TIMEOUT(w.ReaderStarts(), 1, 10000);
    QVERIFY(!w.form->Cycle().Notifying());
    QCOMPARE(server.MessageFiles().size(), size_t{1});
}

// Real boxes and real ticks: the timer keeps ticking inside the box's own event loop.
void AppCycleTest::tickWhileCountBoxOpenStaysQuiet() {
    DovecotServer server;
    server.Deliver(Mail("hello"));
    Window w(server);
    w.form->RealBoxes = true;
    w.form->Settings.ShowMessage = true;
    w.form->Settings.WavSound = "ding.wav";
    w.form->Settings.MailProgram = w.Reader();
    int tipsAtOpen = -1;
    BoxCloser closer([&] {
        if (tipsAtOpen < 0) {
            tipsAtOpen = w.form->Count("tip:");
            w.form->Cycle().Timer()->SetInterval(50);
        }
        if (w.form->Count("tip:") < tipsAtOpen + 2) return false;  // two nested cycles first
        w.form->Cycle().Timer()->SetEnabled(false);
        return true;
    });
    w.form->CheckAndHide();
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), size_t{1}, 20000);
    QVERIFY(w.form->Settle());

    QCOMPARE(closer.seen.size(), size_t{1});
    QCOMPARE(closer.seen[0].title, QString("Information"));
    QCOMPARE(closer.seen[0].text, QString("You have 1 messages!"));
    QCOMPARE(closer.seen[0].icon, QMessageBox::Information);
    QCOMPARE(w.form->Count("box:"), 1);
    QCOMPARE(w.form->Count("sound:"), 1);
    QVERIFY(w.form->Count("tip:You have mail!") >= 3);
    QTRY_COMPARE_WITH_TIMEOUT(w.ReaderStarts(), 1, 10000);
    // Once the last reader started has ended, every start has written its line.
    QTRY_VERIFY_WITH_TIMEOUT(!w.form->Launcher->IsWatching(), 10000);
    QCOMPARE(w.ReaderStarts(), 1);
}

void AppCycleTest::protocolErrorWhileBoxOpenStillBringsWindowBack() {
    DovecotServer server;
    Window w(server);
    w.form->RealBoxes = true;
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());
    QVERIFY(w.form->IsWindowHidden());

    bool nestedStarted = false;
    BoxCloser closer([&] {
        if (!nestedStarted) {
            nestedStarted = true;
            w.form->edPassword->setText("wrong");
            w.form->Cycle().Timer()->SetInterval(50);
        }
        return w.form->isVisible();
    });
    QCoreApplication::postEvent(
        w.form.get(),
        new TTrayCallbackEvent(kTrayCallbackMessage, kTrayIconId, tray::WM_RBUTTONDOWN));
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), size_t{1}, 20000);
    QVERIFY(w.form->Settle());

    QCOMPARE(closer.seen[0].text, QString("No mail."));
    QCOMPARE(w.Tip(), std::string("No mail."));
    QCOMPARE(w.form->Count("error:"), 0);
    QVERIFY(w.form->isVisible());
    QVERIFY(w.form->TaskbarEntryVisible());
    QVERIFY(!w.form->Cycle().Timer()->Enabled());
    QVERIFY(!w.form->Cycle().Notifying());
}

void AppCycleTest::refusedPasswordBringsWindowBack_data() {
    QTest::addColumn<QString>("password");
    QTest::newRow("wrong") << "wrong";
    QTest::newRow("empty") << "";
}

void AppCycleTest::refusedPasswordBringsWindowBack() {
    QFETCH(QString, password);
    DovecotServer server;
    Window w(server.Port(), server.User(), password.toStdString());
    w.form->Settings.Interval = 5;
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());

    const std::string reply = "-ERR [AUTH] Authentication failed.";
    QCOMPARE(w.form->Log, (std::vector<std::string>{"tip:" + reply, "error:" + reply}));
    QVERIFY(w.form->isVisible());
    QVERIFY(w.form->TaskbarEntryVisible());
    QVERIFY(!w.form->Cycle().Timer()->Enabled());
    QCOMPARE(w.form->edPassword->text(), password);
}

void AppCycleTest::temporaryRefusalKeepsWatching_data() {
    QTest::addColumn<bool>("atUser");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("fast");
    QTest::newRow("user in use") << true << "-ERR [IN-USE] Mailbox locked" << false;
    QTest::newRow("pass delay") << false << "-ERR [LOGIN-DELAY] Wait" << false;
    QTest::newRow("pass temp") << false << "-ERR [SYS/TEMP] Try later" << false;
    QTest::newRow("fast user in use") << true << "-ERR [IN-USE] Mailbox locked" << true;
    QTest::newRow("fast pass delay") << false << "-ERR [LOGIN-DELAY] Wait" << true;
}

// Also in a fast check, which asks CAPA first (refused here); either way the refused session
// is closed at once.
void AppCycleTest::temporaryRefusalKeepsWatching() {
    QFETCH(bool, atUser);
    QFETCH(QString, reply);
    QFETCH(bool, fast);
    std::vector<S::Step> steps = {S::Send("+OK ready\r\n"), S::ReadLine()};
    if (fast) steps.insert(steps.end(), {S::Send("-ERR\r\n"), S::ReadLine()});
    if (!atUser) steps.insert(steps.end(), {S::Send("+OK\r\n"), S::ReadLine()});
    steps.insert(steps.end(), {S::Send(reply.toStdString() + "\r\n"), S::ReadToEnd()});
    S server(steps);
    Window w(server.Port(), "anna", "pw");
    w.form->Settings.Interval = 5;
    w.form->Settings.Mailboxes[0].FastCheck = fast;
    if (fast) SaveKillList(*w.form->Registry, {"Subject: = spam"});
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());
    QCOMPARE(w.form->Log, (std::vector<std::string>{"tip:" + reply.toStdString()}));
    QVERIFY(w.form->isHidden());
    QVERIFY(w.form->Cycle().Timer()->IsTicking());
    // Nothing of the session is left behind: the script's last step reads until it is closed.
    QElapsedTimer closing;
    closing.start();
    server.Received();
    QVERIFY(closing.elapsed() < S::kStepTimeoutMs / 2);
}

void AppCycleTest::shownErrorSaysWhatHappened_data() {
    using namespace std::string_literals;
    QTest::addColumn<QByteArray>("reply");  // empty: the server closes at once
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<bool>("box");  // a lost connection passes by itself: only the tooltip
    QTest::newRow("lost") << QByteArray() << QByteArray(kConnectionLostText) << false;
    QTest::newRow("empty") << QByteArray("\r\n") << QByteArray(kEmptyReplyText) << true;
    const std::string nul = "-ERR caf\xe9 \x00 refused \xff"s;
    QTest::newRow("nul") << QByteArray::fromStdString(nul + "\r\n")
                         << QByteArray::fromStdString("-ERR caf\xe9 \xEF\xBF\xBD refused \xff")
                         << true;
}

void AppCycleTest::shownErrorSaysWhatHappened() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, shown);
    QFETCH(bool, box);
    S server(reply.isEmpty() ? std::vector<S::Step>{S::Close()}
                             : std::vector<S::Step>{S::Send(reply.toStdString()), S::ReadToEnd()});
    Window w(server.Port(), "anna", "pw");
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());
    const std::string text = shown.toStdString();
    std::vector<std::string> expected = {"tip:" + text};
    if (box) expected.push_back("error:" + text);
    QCOMPARE(w.form->Log, expected);
    QCOMPARE(w.Tip(), text);
    if (!box) QVERIFY(w.form->isHidden() && w.form->Cycle().Timer()->Enabled());
}

void AppCycleTest::storedEncryptionThatCannotBeReadRefusesTheCheck_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("missing: plain text") << false << uint{REG_DWORD} << QByteArray();
    QTest::newRow("newer number") << true << uint{REG_DWORD} << QByteArray("\3\0\0\0", 4);
    QTest::newRow("text") << true << uint{REG_SZ} << QByteArray("1");
    QTest::newRow("short") << true << uint{REG_DWORD} << QByteArray("\1\0", 2);
}

// A stored encryption that cannot be read must never become plain text: the check refuses
// before connecting, as a refused password does, and the dialog asks for a choice.
void AppCycleTest::storedEncryptionThatCannotBeReadRefusesTheCheck() {
    QFETCH(bool, present);
    QFETCH(uint, type);
    QFETCH(QByteArray, bytes);
    S server(EmptySession());
    Window w(server.Port(), "anna", "pw", [&](TRegistry& registry) {
        if (present) registry.WriteData("Encryption", type, bytes.toStdString());
    });
    w.form->Settings.Interval = 5;
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());
    if (!present) {
        QCOMPARE(w.Tip(), std::string("No mail."));
        QCOMPARE(server.Lines(),
                 (std::vector<std::string>{"USER anna", "PASS pw", "LIST", "QUIT"}));
        return;
    }
    const std::string text =
        "The stored encryption setting cannot be read; choose it again in Mail Options.";
    QCOMPARE(w.form->Log, (std::vector<std::string>{"tip:" + text, "error:" + text}));
    QVERIFY(w.form->isVisible());
    QVERIFY(!w.form->Cycle().Timer()->Enabled());
    QCOMPARE(server.Connections(), 0);

    TdlgMailOptions dialog(w.form.get());
    dialog.LoadFrom(w.form->Settings);
    QCOMPARE(dialog.pgConnection->cbEncryption->currentIndex(), -1);
    QCOMPARE(dialog.pgConnection->cbEncryption->placeholderText(), QString("(choose)"));
    TSettings unchanged = w.form->Settings;
    QVERIFY_THROWS_EXCEPTION(EConvertError, dialog.StoreTo(unchanged, *w.form->Cycle().Timer()));
    QCOMPARE(unchanged.Mailboxes[0].Connection.Encryption, kEncryptionUnreadable);
}

// Markup in a server's reply is shown as the characters it is made of: in the box, the tooltip
// and, without a tray, the window title.
void AppCycleTest::serverTextIsShownAsPlainText() {
    const std::string reply = "-ERR <b>x</b> [*]";
    S server({S::Send(reply + "\r\n"), S::ReadToEnd()});
    Window w(server.Port(), "anna", "pw");
    w.form->RealBoxes = true;
    w.form->Tray = false;
    QString title;  // while the box is open, before the window comes back
    BoxCloser closer([&] {
        title = w.form->windowHandle()->title();
        return true;
    });
    w.form->CheckAndHide();
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), size_t{1}, 20000);
    QVERIFY(w.form->Settle());
    QCOMPARE(closer.seen.size(), size_t{1});
    QCOMPARE(closer.seen[0].text, QString::fromStdString(reply + "."));
    QCOMPARE(closer.seen[0].format, Qt::PlainText);
    const QString tip = FindTrayIcon(w.form->TrayIconData)->toolTip();
    QVERIFY(!Qt::mightBeRichText(tip));
    QCOMPARE(QString(tip).remove(QChar(0x2060)), QString::fromStdString(reply));
    QCOMPARE(title, QString::fromStdString("Vornask - " + reply));
}

// A refused connection passes by itself, and so does a name that cannot be resolved: only the
// tooltip says it.
void AppCycleTest::connectionFailureKeepsWatching() {
    for (const auto& [host, tip] : {std::pair{"127.0.0.1", "tip:Error creating socket"},
                                    {"", "tip:Couldn't resolve hostname "}}) {
        Window w(FreeLoopbackPort(), "anna", "pw");
        w.form->Settings.Mailboxes[0].Connection.Host = host;
        w.form->Settings.Interval = 5;
        QTest::mouseClick(w.form->Button1, Qt::LeftButton);
        QVERIFY(w.form->Settle());
        QCOMPARE(w.form->Log, std::vector<std::string>{tip});
        QVERIFY(w.form->isHidden());
        QVERIFY(w.form->Cycle().Timer()->IsTicking());
    }
}

void AppCycleTest::intervalZeroNeverTicks() {
    S server(EmptySession());
    Window w(server.Port(), "anna", "pw");
    w.form->Settings.Interval = 0;
    QSignalSpy returnPressed(w.form->edPassword, &QLineEdit::returnPressed);
    QTest::keyClick(w.form->edPassword, Qt::Key_Return);
    QVERIFY(w.form->Settle());

    QCOMPARE(returnPressed.count(), 0);  // the key went no further
    QVERIFY(w.form->isHidden());
    QVERIFY(w.form->Cycle().Timer()->Enabled());
    QVERIFY(!w.form->Cycle().Timer()->IsTicking());
    QCOMPARE(w.form->Log, (std::vector<std::string>{"tip:No mail."}));
    QCoreApplication::processEvents();  // a zero-period timer would have fired here
    QCOMPARE(w.form->Log.size(), size_t{1});
    QCOMPARE(server.Connections(), 1);
}

void AppCycleTest::failingReaderStartLeavesNextCycleWorking() {
    DovecotServer server;
    server.Deliver(Mail("hello"));
    Window w(server);
    w.form->Settings.ShowMessage = true;
    w.form->Settings.WavSound = "ding.wav";
    w.form->Settings.MailProgram = w.Path("no-such-reader");
    QTest::mouseClick(w.form->Button1, Qt::LeftButton);
    QVERIFY(w.form->Settle());
    QCOMPARE(w.form->Log,
             (std::vector<std::string>{"tip:You have mail!", "sound:ding.wav",
                                       "box:You have 1 messages!", "tip:File was not found"}));
    QVERIFY(!w.form->Cycle().Notifying());

    w.form->Log.clear();
    w.form->Settings.MailProgram = w.Reader();
    w.form->TimerTimer();
    QVERIFY(w.form->Settle());
    QCOMPARE(w.form->Log, (std::vector<std::string>{"tip:You have mail!", "sound:ding.wav",
                                                    "box:You have 1 messages!"}));
    QTRY_COMPARE_WITH_TIMEOUT(w.ReaderStarts(), 1, 10000);
}

// A session that fails after its listing must not leave that listing to be counted by the next.
void AppCycleTest::listingOfAFailedSessionIsNotCountedAgain() {
    const std::string headers = "+OK\r\nFrom: a\r\nSubject: b\r\n\r\n.\r\n";
    Steps script = Then(LoginSteps("1 10\r\n2 10\r\n"),
                        {S::ReadLine(), S::Send(headers), S::ReadLine(), S::Send(headers),
                         S::ReadLine(), S::Send("-ERR busy\r\n"), S::Close()});
    for (const auto& step : EmptySession()) script.push_back(step);
    S server(script);
    Window w(server.Port(), "anna", "pw");

    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());
    QCOMPARE(w.form->Log, (std::vector<std::string>{"tip:-ERR busy", "error:-ERR busy"}));
    w.form->CheckAndHide();
    QVERIFY(w.form->Settle());
    QCOMPARE(w.form->Cycle().MailCount(), 0);
    QCOMPARE(w.Tip(), std::string("No mail."));
    QCOMPARE(server.Connections(), 2);
}

// The same mailbox as soundThenCountBoxThenReader, checked fast: one session per check, the
// same notifications, and nothing retrieved again by the next check.
void AppCycleTest::fastCheckIsOneSessionWithTheSameOutcome() {
    DovecotServer server;
    server.Deliver(Mail("spam"));
    server.Deliver(Mail("minutes of the meeting"));
    Window w(server);
    const ScopedEnv cache("XDG_CACHE_HOME", w.Path("cache"));
    SaveKillList(*w.form->Registry, {"Subject: = spam"});
    w.form->Settings.ShowMessage = true;
    w.form->Settings.Mailboxes[0].FastCheck = true;
    const auto sessions = [&server] { return server.LogLines("Logged out"); };
    for (int check = 0; check < 2; ++check) {
        w.form->Log.clear();
        w.form->CheckAndHide();
        QVERIFY(w.form->Settle());
        QCOMPARE(w.form->Log,
                 (std::vector<std::string>{"tip:You have mail!", "box:You have 1 messages!"}));
        QTRY_COMPARE_WITH_TIMEOUT(sessions().size(), size_t(check + 1), 5000);
    }
    QVERIFY(sessions().back().find("retr=0/0") != std::string::npos);
    QCOMPARE(server.MessageFiles().size(), size_t{1});
}

// The editor's boxes reach both kinds of check. An encoded "SPAM" is kept with them off; on,
// the fast check examines again the message it had kept, and the classic check deletes too.
void AppCycleTest::matchBoxesReachBothChecks() {
    DovecotServer server;
    const std::string encoded = Mail("=?UTF-8?B?U1BBTQ==?=");
    server.Deliver(encoded);
    Window w(server);
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(w.Path("cache")));
    SaveKillList(*w.form->Registry, {"Subject: = spam"});
    for (const bool fast : {true, false}) {
        w.form->Settings.Mailboxes[0].FastCheck = fast;
        w.form->CheckAndHide();
        QVERIFY(w.form->Settle());
        QCOMPARE(w.form->Cycle().MailCount(), 1);
    }
    w.form->Settings.DecodeHeaders = true;
    w.form->Settings.IgnoreCase = true;
    for (const bool fast : {true, false}) {
        w.form->Settings.Mailboxes[0].FastCheck = fast;
        w.form->CheckAndHide();
        QVERIFY(w.form->Settle());
        QCOMPARE(w.form->Cycle().MailCount(), 0);
        QVERIFY(server.MessageFiles().empty());
        server.Deliver(encoded);
    }
    qunsetenv("XDG_CACHE_HOME");
}

VORNASK_APP_TEST_MAIN(AppCycleTest)
#include "app_cycle_test.moc"
