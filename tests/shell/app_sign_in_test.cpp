// Signing in for a check and for the dry run: where each check's OAuth2 token comes from, the
// sign-in Hide starts, a refused token renewed once, and what the desktop keyring remembers
// and for what. Runs under keyring-session.sh, with a keyring (VORNASK_KEYRING=present),
// without one (absent), and with a locked one (locked).

#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "app/keyring_record.h"
#include "app/timer.h"
#include "app/token_source.h"
#include "app_test_form.h"
#include "net/pop3.h"
#include "platform/keyring.h"
#include "platform/registry.h"
#include "shell/connection_page.h"
#include "shell/dry_run_window.h"
#include "shell/kill_list_editor.h"
#include "shell/mailopt.h"
#include "shell/oauth_group.h"
#include "support/dovecot_server.h"
#include "support/oauth_server.h"
#include "support/pop3_script.h"
#include "support/scoped_env.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"
#include "support/when_modal.h"

using namespace std::chrono_literals;

namespace {

bool KeyringPresent() {
    const char* fixture = std::getenv("VORNASK_KEYRING");
    return fixture && std::string(fixture) == "present";
}

// A server that refuses each of a few sessions at once: what matters here is what the check
// had before it connected.
std::vector<ScriptedPop3Server::Step> Refusals() {
    std::vector<ScriptedPop3Server::Step> steps;
    for (int i = 0; i < 4; ++i)
        steps.insert(steps.end(),
                     {ScriptedPop3Server::Send("-ERR not today\r\n"), ScriptedPop3Server::Close()});
    return steps;
}

// A hive, a $BROWSER that only records being called, and settings for the scripted server.
class Desk {
  public:
    Desk() : browser_("BROWSER", dir_.filePath("browser").toStdString()) {
        std::ofstream script(dir_.filePath("browser").toStdString());
        script << "#!/bin/sh\necho \"$@\" >>'" << Called().toStdString() << "'\n";
        script.close();
        chmod(dir_.filePath("browser").toLocal8Bit().constData(), 0755);
    }
    QString Called() const { return dir_.filePath("browser-called"); }
    bool BrowserCalled() const { return QFile::exists(Called()); }
    std::string Hive() const { return dir_.filePath("registry.reg").toStdString(); }

    void Configure(TSettings& settings, uint16_t port) const {
        settings.Mailboxes[0].Connection.Host = "127.0.0.1";
        settings.Mailboxes[0].Connection.Port = port;
        settings.Mailboxes[0].Connection.Encryption = TEncryption::Stls;
        settings.Mailboxes[0].User = "alice";
    }
    // A created form whose checks go to the scripted server, signing in at oauth if given.
    void Open(TestForm& form, uint16_t port, const OAuthServer* oauth = nullptr) const;
    // The settings in the hive, for the next start.
    void Save(const TSettings& settings) const {
        TRegistry hive(Hive());
        SaveSettings(hive, settings);
    }
    // Hide twice with the password to remember; how often the missing keyring was said.
    int HideRemembering(uint16_t port) const {
        TestForm form(Hive());
        Open(form, port);
        form.Settings.Mailboxes[0].RememberPassword = true;
        form.show();
        form.edPassword->setText("s3cret");
        for (int hide = 0; hide < 2; ++hide) {
            form.CheckAndHide();
            if (!form.Settle()) return -1;
        }
        const int said = form.Count(std::string("tip:") + kKeyringUnavailableText);
        form.FormDestroy();
        return said;
    }

  private:
    QTemporaryDir dir_;
    ScopedEnv browser_;
};

// OAuth2 for the mailbox, at a provider that is never reached unless given.
void UseOAuth(TMailbox& mailbox, const std::string& authorize = "http://127.0.0.1:1/authorize",
              const std::string& token = "http://127.0.0.1:1/token") {
    mailbox.Connection.Authentication = TAuthentication::OAuth2;
    mailbox.OAuth = {authorize, token, "mail", "vornask-test", "", ""};
}
void UseOAuth(TMailbox& mailbox, const OAuthServer& server) {
    UseOAuth(mailbox, server.Url("/authorize"), server.Url("/token"));
}

void Desk::Open(TestForm& form, uint16_t port, const OAuthServer* oauth) const {
    form.FormCreate();
    Configure(form.Settings, port);
    if (oauth) UseOAuth(form.Settings.Mailboxes[0], *oauth);
}

// Tokens good for an hour.
TOAuthTokens Fresh(const std::string& access = "at", const std::string& refresh = "rt") {
    return {access, std::chrono::system_clock::now() + 1h, refresh};
}

// Another mailbox like the first, not a copy of it, for user.
TMailbox Further(const TMailbox& first, const std::string& user) {
    TMailbox further = first;
    further.Identity = {};
    further.Name = user;
    further.User = user;
    return further;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

bool WindowBack(const TestForm& form) {
    return form.isVisible() && !form.Cycle().Timer()->Enabled();
}

// A Dovecot over STLS for alice ("pw"), each token checked by the OAuth2 stand-in, which is
// started with the options and names the tokens' user (alice unless told).
struct TokenServer {
    explicit TokenServer(std::vector<std::string> options)
        : oauth(options), dovecot("alice", "pw", Options(oauth)) {}
    static DovecotOptions Options(const OAuthServer& oauth) {
        const TestCertificates& certs = TestCertificates::Get();
        DovecotOptions options(certs.Pem("server"), certs.Key("server"));
        options.oauth2IntrospectionUrl = oauth.Url("/introspect");
        return options;
    }
    // The settings of an OAuth2 check of alice's mailbox.
    void Configure(const Desk& desk, TSettings& settings) const {
        desk.Configure(settings, dovecot.Port());
        UseOAuth(settings.Mailboxes[0], oauth);
    }

    TrustOnly trust;
    OAuthServer oauth;
    DovecotServer dovecot;
};

std::string OAuthKey(const TSettings& settings) {
    return KeyringKey(TKeyringItem::OAuth, settings.Mailboxes[0].User,
                      settings.Mailboxes[0].Connection.Host, settings.Mailboxes[0].Connection.Port);
}

}  // namespace

class AppSignInTest : public QObject {
    Q_OBJECT

  private slots:
    // A tick's check gets its token from the command, the held token, or a refresh; without
    // one it asks the user to sign in again and never opens the browser.
    void tokenForATimerCheck_data() {
        QTest::addColumn<QString>("held");  // "", "valid", "expired"
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("serverOption");
        QTest::addColumn<QString>("token");  // the token the login had: a prefix
        // What the check said when it stopped before: the tip, and a box for a sign-in to make
        // again, whose text adds why on a second line.
        QTest::addColumn<QString>("says");
        const QString none, signInAgain = kSignInAgainText;
        const QString failing = "sh -c 'echo no such account >&2; exit 3'";
        const QString failed = "The token command failed (exit 3): no such account";
        QTest::newRow("command") << none << "sh -c 'echo tok-1'" << none << "tok-1" << none;
        QTest::newRow("failing command") << none << failing << none << none << failed;
        QTest::newRow("valid token") << "valid" << none << none << "at-held" << none;
        QTest::newRow("expired, refreshed") << "expired" << none << "--refresh-token"
                                            << "at-" << none;
        QTest::newRow("refresh refused")
            << "expired" << none << "--revoked-refresh" << none
            << signInAgain + "\nThe provider refused the saved sign-in.";
        QTest::newRow("no token") << none << none << none << none
                                  << signInAgain + "\nNo sign-in is remembered for this account.";
    }
    void tokenForATimerCheck() {
        QFETCH(QString, held);
        QFETCH(QString, command);
        QFETCH(QString, serverOption);
        QFETCH(QString, token);
        QFETCH(QString, says);
        std::vector<std::string> options;
        if (!serverOption.isEmpty()) options = {serverOption.toStdString(), "rt-kept"};
        const OAuthServer oauth(options);
        const ScriptedPop3Server pop3(Refusals());
        const Desk desk;
        TestForm form(desk.Hive());
        desk.Open(form, pop3.Port(), &oauth);
        form.Settings.Mailboxes[0].OAuth.TokenCommand = command.toStdString();
        const auto now = std::chrono::system_clock::now();
        if (!held.isEmpty())
            form.Tokens.Accept(form.Settings.Mailboxes[0],
                               {"at-held", held == "valid" ? now + 1h : now + 30s, "rt-kept"});
        // Ticks as fast as they come: one during the refresh's wait must not start a second check.
        form.Cycle().Timer()->SetInterval(1);
        form.Cycle().Timer()->SetEnabled(true);
        form.TimerTimer();
        QVERIFY(form.Cycle().SessionsStarted() <= 1);
        QVERIFY2(form.Cycle().LastCredential().Secret.rfind(token.toStdString(), 0) == 0,
                 form.Cycle().LastCredential().Secret.c_str());
        // A tick that came meanwhile is not lost: one more check follows, and then no more.
        form.Cycle().Timer()->SetInterval(60000);
        QVERIFY(form.Settle());
        if (held == "expired" && !token.isEmpty())
            QVERIFY(form.Cycle().LastCredential().Secret != "at-held");
        QVERIFY(!desk.BrowserCalled());
        if (says.isEmpty()) return;
        // Without a keyring that is said first; it is not the check's outcome.
        const auto log = form.Without(std::string("tip:") + kKeyringUnavailableText);
        // Only a refused sign-in needs the user; a failed command is tried again next tick.
        const bool needsUser = says.startsWith(kSignInAgainText);
        std::vector<std::string> expected{"tip:" + says.section('\n', 0, 0).toStdString()};
        if (needsUser) expected.push_back("error:" + says.toStdString());
        // A failure that passes by itself is said again by the check a tick asked for meanwhile.
        const std::string once = Joined(expected);
        const std::string said = Joined(log);
        QVERIFY2(said == once || (!needsUser && said == once + once), said.c_str());
        QCOMPARE(WindowBack(form), needsUser);
        if (needsUser)  // the window that comes back says why too
            QCOMPARE(form.edPassword->toolTip(),
                     "Press Hide to sign in in the browser.\n" + says.section('\n', 1));
        QCOMPARE(form.Cycle().Timer()->Enabled(), !needsUser);
    }

    // Hide with no token signs in through the browser, then checks; the refresh token is
    // kept, so the next start is hidden and checks at once with a refreshed token. A sign-in
    // the user declined is said in a box, and the window stays.
    void hideSignsInThenChecks() {
        const OAuthServer oauth;
        const ScriptedPop3Server pop3(Refusals());
        const Desk desk;
        const ScopedEnv browser("BROWSER", StandInBrowserPath());
        {
            TestForm form(desk.Hive());
            desk.Open(form, pop3.Port(), &oauth);
            form.show();
            form.CheckAndHide();
            QVERIFY(
                form.Cycle().LastCredential().Secret.empty());  // no check before the sign-in ends
            QTRY_VERIFY_WITH_TIMEOUT(!form.Cycle().LastCredential().Secret.empty(), 30000);
            QVERIFY(form.Cycle().LastCredential().Secret.rfind("at-", 0) == 0);
            form.FormDestroy();
        }
        if (!KeyringPresent()) return;
        TestForm next(desk.Hive());
        next.FormCreate();
        next.Start();
        QVERIFY(next.Cycle().LastCredential().Secret.rfind("at-", 0) == 0);
        QVERIFY(next.Settle());
        QVERIFY(next.Log.size() >= 1);  // the check's outcome
    }

    void declinedSignInKeepsTheWindow() {
        const OAuthServer oauth({"--deny"});
        const Desk desk;
        const ScopedEnv browser("BROWSER", StandInBrowserPath());
        TestForm form(desk.Hive());
        desk.Open(form, 1, &oauth);
        form.show();
        form.CheckAndHide();
        QTRY_COMPARE_WITH_TIMEOUT(form.Count("error:"), 1, 30000);
        QVERIFY(form.isVisible());
        QVERIFY(!form.Cycle().Timer()->Enabled());
        QCOMPARE(form.Without(std::string("tip:") + kKeyringUnavailableText),
                 std::vector<std::string>{form.Log.back()});  // the box, no check
    }

    // With OAuth2 the password box takes no password: disabled and empty, it says what Hide
    // does. Sign out forgets the account's tokens at once, the keyring's too, and so does
    // leaving OAuth2 at OK, which Cancel does not.
    void passwordBoxAndSignOut_data() {
        QTest::addColumn<bool>("oauth");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("action");  // in Mail Options
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("says");  // none: the box takes a password, as ever
        const QString none, signedIn = "Signed in: press Hide to check.";
        QTest::newRow("password") << false << none << "Cancel" << true << none;
        QTest::newRow("signed in") << true << none << "Cancel" << true << signedIn;
        QTest::newRow("token command")
            << true << "helper"
            << "Cancel" << true << "The token command signs in: press Hide to check.";
        QTest::newRow("Sign out") << true << none << "Sign out" << false
                                  << "Press Hide to sign in in the browser.";
        QTest::newRow("leave, Cancel") << true << none << "leave, Cancel" << true << signedIn;
        QTest::newRow("leave, OK") << true << none << "leave, OK" << false << none;
    }
    void passwordBoxAndSignOut() {
        QFETCH(bool, oauth);
        QFETCH(QString, command);
        QFETCH(QString, action);
        QFETCH(bool, kept);
        QFETCH(QString, says);
        const Desk desk;
        TestForm form(desk.Hive());
        desk.Open(form, 3);
        if (oauth) form.Settings.Mailboxes[0].Connection.Authentication = TAuthentication::OAuth2;
        form.Settings.Mailboxes[0].OAuth.TokenCommand = command.toStdString();
        const TMailbox account = form.Settings.Mailboxes[0];
        form.Tokens.Accept(account, Fresh());
        form.edPassword->setText("typed");
        form.show();
        WhenModal<TdlgMailOptions>([action](TdlgMailOptions* dialog) {
            QPushButton* signOut = dialog->pgConnection->gbOAuth->btnSignOut;
            if (action == "Sign out") {
                QVERIFY(signOut->isEnabled());
                signOut->click();
                QCOMPARE(dialog->pgConnection->gbOAuth->lblSignedIn->text(),
                         QString("Not signed in"));
                QVERIFY(!signOut->isEnabled());
            }
            if (action.startsWith("leave"))
                dialog->pgConnection->cbAuthentication->setCurrentIndex(0);
            (action.endsWith("OK") ? dialog->btnOK : dialog->btnCancel)->click();
        });
        form.MailOptions1Click();
        QCOMPARE(form.Tokens.Holds(account), kept);
        if (KeyringPresent()) QCOMPARE(TTokenSource().Holds(account), kept);
        QCOMPARE(form.edPassword->isEnabled(), says.isEmpty());
        QCOMPARE(form.edPassword->placeholderText(), says);
        QCOMPARE(form.edPassword->text(), oauth ? QString() : QString("typed"));
        form.Tokens.SignOut(account);
    }

    // Removing a further OAuth2 mailbox forgets its tokens at OK; Cancel keeps them. Without a
    // keyring too, where only one account's sign-in is held, so the first signs in by password.
    void removingAFurtherOAuthMailboxSignsItOut() {
        for (const bool ok : {false, true}) {
            const Desk desk;
            TestForm form(desk.Hive());
            desk.Open(form, 3);
            form.Settings.Mailboxes.push_back(Further(form.Settings.Mailboxes[0], "di"));
            form.Settings.Mailboxes[1].Connection.Authentication = TAuthentication::OAuth2;
            const TMailbox account = form.Settings.Mailboxes[1];
            form.Tokens.Accept(account, Fresh());
            WhenModal<TdlgMailOptions>([ok](TdlgMailOptions* dialog) {
                dialog->cbMailbox->setCurrentIndex(1);
                WhenModal<QMessageBox>(
                    [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
                dialog->btnRemoveMailbox->click();
                (ok ? dialog->btnOK : dialog->btnCancel)->click();
            });
            form.MailOptions1Click();
            QCOMPARE(form.Settings.Mailboxes.size() == 1, ok);
            QCOMPARE(form.Tokens.Holds(account), !ok);
            form.Tokens.SignOut(account);
        }
    }

    // A sign-in made in the dialog for a new scope keeps its tokens at OK, though the tokens
    // held before, for the old scope, had to go.
    void signInForANewScopeIsKept() {
        const OAuthServer oauth;
        const Desk desk;
        const ScopedEnv browser("BROWSER", StandInBrowserPath());
        TestForm form(desk.Hive());
        desk.Open(form, 3, &oauth);
        const TMailbox account = form.Settings.Mailboxes[0];
        form.Tokens.Accept(account, Fresh("at-old"));
        WhenModal<TdlgMailOptions>([](TdlgMailOptions* dialog) {
            TOAuthGroup* group = dialog->pgConnection->gbOAuth;
            group->edScope->setText("mail imap");
            group->btnSignIn->click();
            QTRY_VERIFY_WITH_TIMEOUT(!group->SigningIn(), 30000);
            dialog->btnOK->click();
        });
        form.MailOptions1Click();
        QCOMPARE(form.Settings.Mailboxes[0].OAuth.Scope, std::string("mail imap"));
        QVERIFY(form.Tokens.Holds(account));
        const std::string token = form.Tokens.AccessToken(form.Settings.Mailboxes[0]);
        QVERIFY2(token.rfind("at-", 0) == 0 && token != "at-old", token.c_str());
        form.Tokens.SignOut(account);
    }

    // A further mailbox that remembers its password, with none kept yet, gets a row; Hide keeps
    // what was typed there, so the next window needs no row for it.
    void furtherPasswordTypedInItsRowIsKept() {
        if (!KeyringPresent()) QSKIP("needs a keyring");
        const ScriptedPop3Server pop3(Refusals());
        const Desk desk;
        TSettings settings;
        desk.Configure(settings, pop3.Port());
        settings.Mailboxes.push_back(Further(settings.Mailboxes[0], "bob"));
        settings.Mailboxes[1].RememberPassword = true;
        desk.Save(settings);
        {
            TestForm form(desk.Hive());
            form.FormCreate();
            QVERIFY(form.PasswordRow(1) != nullptr);
            form.show();
            form.edPassword->setText("first-pw");
            QTest::keyClicks(form.PasswordRow(1), "home-pw");
            form.CheckAndHide();
        }
        std::string secret;
        const std::string key = KeyringKey(TKeyringItem::Password, "bob", "127.0.0.1", pop3.Port());
        QVERIFY(TKeyring().Read(key, secret).IsOk());
        QCOMPARE(PasswordRecordOf(secret)->Password, std::string("home-pw"));
        TestForm next(desk.Hive());
        next.FormCreate();
        QVERIFY(next.PasswordRow(1) == nullptr);
    }

    // Stored on Hide, filled in at the next start, which hides and checks at once; turning
    // the box off deletes it. Without a keyring that is said once, and the user types.
    void rememberedPassword() {
        const ScriptedPop3Server pop3(Refusals());
        const Desk desk;
        const std::string key =
            KeyringKey(TKeyringItem::Password, "alice", "127.0.0.1", pop3.Port());
        QCOMPARE(desk.HideRemembering(pop3.Port()), KeyringPresent() ? 0 : 1);
        TestForm next(desk.Hive());
        next.FormCreate();
        next.Start();
        if (!KeyringPresent()) {
            QVERIFY(next.edPassword->text().isEmpty());
            QVERIFY(next.isVisible());
            return;
        }
        QCOMPARE(next.edPassword->text(), QString("s3cret"));
        QVERIFY(next.Settle());
        QVERIFY(!next.Log.empty());  // checked at once
        std::string secret;
        QVERIFY(TKeyring().Read(key, secret).IsOk());
        const auto record = PasswordRecordOf(secret);
        QVERIFY(record && record->Password == "s3cret" && record->Encrypted);
        WhenModal<TdlgMailOptions>([](TdlgMailOptions* dialog) {
            dialog->chbRememberPassword->setChecked(false);
            dialog->btnOK->click();
        });
        next.MailOptions1Click();
        QVERIFY(!next.Settings.Mailboxes[0].RememberPassword);
        QCOMPARE(TKeyring().Read(key, secret).Status, TKeyringStatus::NotFound);
    }

    // A start with a password item: kept for an encrypted connection it is used over STLS but
    // never sent in plain text, until the user types it (which keeps it for plain text); kept
    // for plain text it is sent so; an older plain secret is not taken at all.
    void rememberedPasswordRecords_data() {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("stls");  // to Dovecot over STLS, else to a scripted plain server
        QTest::addColumn<QString>("log");
        const QString encrypted = R"({"encrypted":true,"password":"pw"})";
        const QString refused = QString("tip:%1\nerror:%1\n").arg(kEncryptedOnlyText);
        QTest::newRow("encrypted, over STLS") << encrypted << true << "tip:No mail.\n";
        QTest::newRow("encrypted, in plain") << encrypted << false << refused;
        QTest::newRow("plain, in plain")
            << R"({"encrypted":false,"password":"pw"})" << false << "tip:-ERR no\nerror:-ERR no\n";
        QTest::newRow("older plain secret") << "pw" << false << "";
    }
    void rememberedPasswordRecords() {
        if (!KeyringPresent()) QSKIP("needs a keyring");
        QFETCH(QString, secret);
        QFETCH(bool, stls);
        QFETCH(QString, log);
        using S = ScriptedPop3Server;
        const Steps refusal{S::Send("+OK ready\r\n"), S::ReadLine(),
                            S::Send("+OK\r\n"),       S::ReadLine(),
                            S::Send("-ERR no\r\n"),   S::Close()};
        S plain(refusal);
        const TrustOnly trust;
        std::optional<DovecotServer> dovecot;
        if (stls) dovecot.emplace("alice", "pw", TokenServer::Options(OAuthServer()));
        const Desk desk;
        TSettings settings;
        desk.Configure(settings, stls ? dovecot->Port() : plain.Port());
        if (!stls) settings.Mailboxes[0].Connection.Encryption = TEncryption::None;
        settings.Mailboxes[0].RememberPassword = true;
        desk.Save(settings);
        const std::string key = KeyringKey(TKeyringItem::Password, "alice", "127.0.0.1",
                                           settings.Mailboxes[0].Connection.Port);
        QVERIFY(TKeyring().Write(key, secret.toStdString()).IsOk());

        TestForm form(desk.Hive());
        form.FormCreate();
        form.Start();
        QVERIFY(form.Settle());
        QCOMPARE(QString::fromStdString(Joined(form.Log)), log);
        if (stls) return;
        QCOMPARE(plain.Connections(), 0 + log.contains("-ERR"));
        if (log.contains(kEncryptedOnlyText)) {
            QVERIFY(WindowBack(form));
            QVERIFY(form.edPassword->text().isEmpty());
            QTest::keyClicks(form.edPassword, "pw");
            form.CheckAndHide();
            QVERIFY(form.Settle());
            std::string kept;
            QVERIFY(TKeyring().Read(key, kept).IsOk());
            QVERIFY(!PasswordRecordOf(kept)->Encrypted);
        } else if (plain.Connections() == 0) {
            return;  // nothing sent, and nothing to wait for
        }
        QCOMPARE(plain.Lines(), (std::vector<std::string>{"USER alice", "PASS pw"}));
    }

    // A refresh token kept for another token URL or client ID is not sent anywhere: the start
    // shows the window, and a tick asks to sign in again, saying why.
    void signInOfAnotherProviderIsNotUsed() {
        if (!KeyringPresent()) QSKIP("needs a keyring");
        const OAuthServer oauth({"--refresh-token", "rt-kept"});
        const ScriptedPop3Server pop3(Refusals());
        const Desk desk;
        for (const auto& [url, client] : {std::pair{oauth.Url("/other"), "vornask-test"},
                                          {oauth.Url("/token"), "another-client"}}) {
            TSettings settings;
            desk.Configure(settings, pop3.Port());
            UseOAuth(settings.Mailboxes[0], oauth);
            desk.Save(settings);
            QVERIFY(
                TKeyring()
                    .Write(OAuthKey(settings), RecordText(TSignInRecord{"rt-kept", url, client}))
                    .IsOk());
            TestForm form(desk.Hive());
            form.FormCreate();
            form.Start();
            QVERIFY(form.isVisible());
            form.TimerTimer();
            QVERIFY(form.Settle());
            QCOMPARE(form.Log, (std::vector<std::string>{
                                   "tip:Sign in again.",
                                   "error:Sign in again.\nThe saved sign-in was made for another "
                                   "token URL or client ID."}));
            QVERIFY(form.Cycle().LastCredential().Secret.empty());
        }
        QCOMPARE(pop3.Connections(), 0);
    }

    // A held token the server refuses is dropped, refreshed and tried once more in the same
    // check; refused again, the sign-in is forgotten and the user asked to sign in again.
    void refusedTokenIsRenewedOnce() {
        for (const std::string user : {"alice", "bob"}) {
            const TokenServer server({"--user", user, "--refresh-token", "rt-kept"});
            const Desk desk;
            TestForm form(desk.Hive());
            form.FormCreate();
            server.Configure(desk, form.Settings);
            form.Tokens.Accept(form.Settings.Mailboxes[0], Fresh("at-stale", "rt-kept"));
            // No tick of its own during the check, however slow the build makes it.
            form.Cycle().Timer()->SetInterval(3600000);
            form.Cycle().Timer()->SetEnabled(true);
            form.TimerTimer();
            QVERIFY(form.Settle());
            const auto log = form.Without(std::string("tip:") + kKeyringUnavailableText);
            QVERIFY(form.Cycle().LastCredential().Secret.rfind("at-", 0) == 0);
            QVERIFY(form.Cycle().LastCredential().Secret != "at-stale");
            if (user == "alice") {
                QCOMPARE(log, std::vector<std::string>{"tip:No mail."});
                QVERIFY(form.Tokens.Holds(form.Settings.Mailboxes[0]));
                continue;
            }
            QCOMPARE(log, (std::vector<std::string>{
                              "tip:Sign in again.",
                              "error:Sign in again.\nThe server refused the access token again "
                              "after a refresh."}));
            QVERIFY(WindowBack(form));
            QVERIFY(!form.Tokens.Holds(form.Settings.Mailboxes[0]));
            std::string kept;
            QVERIFY(TKeyring().Read(OAuthKey(form.Settings), kept).Status != TKeyringStatus::Ok);
        }
    }

    // "Try on the mailbox" signs in as a check does: with the remembered password nobody typed,
    // and with the held OAuth2 token, renewed once when the server refuses it.
    void dryRunSignsInAsACheck() {
        TokenServer server({"--refresh-token", "rt-kept"});
        server.dovecot.Deliver("From: ann@example.org\nSubject: Lunch\n\nNoon?\n");
        const Desk desk;
        TestForm form(desk.Hive());
        form.FormCreate();
        desk.Configure(form.Settings, server.dovecot.Port());
        const auto tryIt = [&form] {
            TdlgKillList dialog(&form);
            dialog.SetAccount(form.Settings, &form.Credentials);
            dialog.sbTryClick();
            QVERIFY(dialog.DryRunWindow());
            QTRY_COMPARE_WITH_TIMEOUT(dialog.DryRunWindow()->lblStatus->text(),
                                      QString("0 of 1 message would be deleted"), 20000);
        };
        if (KeyringPresent()) {
            form.Settings.Mailboxes[0].RememberPassword = true;
            QVERIFY(form.Credentials.KeepPassword(form.Settings.Mailboxes[0], "pw").IsOk());
            QVERIFY(form.edPassword->text().isEmpty());
            tryIt();
        }
        UseOAuth(form.Settings.Mailboxes[0], server.oauth);
        form.Tokens.Accept(form.Settings.Mailboxes[0], Fresh("at-stale", "rt-kept"));
        tryIt();
    }

    // Each mailbox's secrets leave with it at OK, and only its own: unticking Remember or
    // removing a mailbox forgets that mailbox's password; removing an OAuth2 mailbox, or giving
    // it another scope, signs out its account unless a remaining mailbox signs in as it for
    // that scope. Cancel keeps everything.
    void secretsLeaveWithTheirMailbox_data() {
        QTest::addColumn<bool>("oauth");
        QTest::addColumn<bool>("shared");  // both mailboxes sign in as alice
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("kept");  // the mailboxes whose secrets are still there
        const struct {
            bool oauth, shared;
            const char *action, *kept;
        } rows[] = {
            {false, false, "untick 2", "1"},          {false, false, "untick 1", "2"},
            {false, false, "remove 2", "1"},          {false, false, "remove 1", "2"},
            {false, false, "remove 2, Cancel", "12"}, {true, false, "remove 1", "2"},
            {true, false, "remove 2", "1"},           {true, false, "remove 2, Cancel", "12"},
            {true, true, "remove 1", "12"},           {true, false, "scope 2", "1"}};
        for (const auto& r : rows)
            QTest::addRow("%s%s", r.oauth ? (r.shared ? "OAuth2 shared, " : "OAuth2, ") : "",
                          r.action)
                << r.oauth << r.shared << QString(r.action) << QString(r.kept);
    }
    void secretsLeaveWithTheirMailbox() {
        QFETCH(bool, oauth);
        QFETCH(bool, shared);
        QFETCH(QString, action);
        QFETCH(QString, kept);
        if (!KeyringPresent()) QSKIP("needs a keyring");
        const Desk desk;
        TestForm form(desk.Hive());
        desk.Open(form, 3);
        form.Settings.Mailboxes.push_back(
            Further(form.Settings.Mailboxes[0], shared ? "alice" : "bob"));
        for (TMailbox& mailbox : form.Settings.Mailboxes) {
            mailbox.RememberPassword = !oauth;
            if (oauth) UseOAuth(mailbox);
        }
        const std::vector<TMailbox> before = form.Settings.Mailboxes;
        for (const TMailbox& mailbox : before) {
            if (oauth)
                form.Tokens.Accept(mailbox, Fresh());
            else
                QVERIFY(form.Credentials.KeepPassword(mailbox, "pw-" + mailbox.User).IsOk());
        }
        form.ShowMailboxes();
        WhenModal<TdlgMailOptions>([action](TdlgMailOptions* dialog) {
            dialog->cbMailbox->setCurrentIndex(action.contains('2') ? 1 : 0);
            if (action.startsWith("untick")) {
                dialog->chbRememberPassword->setChecked(false);
            } else if (action.startsWith("scope")) {
                dialog->pgConnection->gbOAuth->edScope->setText("mail imap");
            } else {
                WhenModal<QMessageBox>(
                    [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
                dialog->btnRemoveMailbox->click();
            }
            (action.endsWith("Cancel") ? dialog->btnCancel : dialog->btnOK)->click();
        });
        form.MailOptions1Click();
        if (action.startsWith("remove"))
            QCOMPARE(form.Settings.Mailboxes.size(), size_t(action.endsWith("Cancel") ? 2 : 1));
        QString held;
        for (size_t i = 0; i < before.size(); ++i) {
            std::string secret;
            const bool there =
                oauth ? form.Tokens.Holds(before[i])
                      : TKeyring()
                            .Read(AccountKeyringKey(TKeyringItem::Password, before[i]), secret)
                            .IsOk();
            if (oauth) QCOMPARE(TTokenSource().Holds(before[i]), there);
            if (there) held += QString::number(i + 1);
        }
        QCOMPARE(held, kept);
        for (const TMailbox& mailbox : before) {
            form.Tokens.SignOut(mailbox);
            form.Credentials.ForgetPassword(mailbox);
        }
    }

    // A start hides and checks at once only when every mailbox can sign in without the user;
    // the first line's box is filled in all the same. A further mailbox whose remembered
    // password may not go out in plain text gets a row, emptied for the user when the check
    // stops there, while the first line keeps its password.
    void hiddenStartAsksEveryMailbox_data() {
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("row");
        QTest::newRow("remembered") << "remembered" << true << false;
        QTest::newRow("typed") << "typed" << false << true;
        QTest::newRow("encrypted only, in plain") << "encrypted only" << true << true;
        QTest::newRow("OAuth2, signed in") << "signed in" << true << false;
        QTest::newRow("OAuth2, not signed in") << "not signed in" << false << false;
    }
    void hiddenStartAsksEveryMailbox() {
        if (!KeyringPresent()) QSKIP("needs a keyring");
        QFETCH(QString, second);
        QFETCH(bool, checked);
        QFETCH(bool, row);
        const ScriptedPop3Server pop3(Refusals());
        const Desk desk;
        TSettings settings;
        desk.Configure(settings, pop3.Port());
        settings.Mailboxes[0].RememberPassword = true;
        TMailbox home = Further(settings.Mailboxes[0], "bob");
        home.RememberPassword = second != "typed";
        if (second == "encrypted only") home.Connection.Encryption = TEncryption::None;
        if (second.contains("signed in")) UseOAuth(home);
        settings.Mailboxes.push_back(home);
        desk.Save(settings);
        TTokenSource tokens;
        TCredentialSource keeper(tokens);
        QVERIFY(keeper.KeepPassword(settings.Mailboxes[0], "pw1").IsOk());
        const std::string homeKey = AccountKeyringKey(TKeyringItem::Password, home);
        if (second == "remembered") QVERIFY(keeper.KeepPassword(home, "pw2").IsOk());
        if (second == "encrypted only")
            QVERIFY(TKeyring().Write(homeKey, R"({"encrypted":true,"password":"pw2"})").IsOk());
        if (second == "signed in") tokens.Accept(home, Fresh());
        {
            TestForm form(desk.Hive());
            form.FormCreate();
            form.Start();
            QVERIFY(form.Settle());
            QCOMPARE(!form.Log.empty(), checked);
            QCOMPARE(form.edPassword->text(), QString("pw1"));
            QCOMPARE(form.PasswordRow(1) != nullptr, row);
            if (row) QVERIFY(form.PasswordRow(1)->text().isEmpty());
            form.FormDestroy();
        }
        keeper.ForgetPassword(settings.Mailboxes[0]);
        keeper.ForgetPassword(home);
        tokens.SignOut(home);
    }

    // Hide signs in in the browser for a further OAuth2 mailbox that needs it, as for the
    // first; nothing is checked before that sign-in ends.
    void hideSignsInForAFurtherMailbox() {
        const OAuthServer oauth;
        const Desk desk;
        TestForm form(desk.Hive());
        desk.Open(form, 1);
        form.Settings.Mailboxes.push_back(Further(form.Settings.Mailboxes[0], "di"));
        UseOAuth(form.Settings.Mailboxes[1], oauth);
        form.ShowMailboxes();
        form.show();
        form.edPassword->setText("pw");
        form.CheckAndHide();
        QTRY_VERIFY_WITH_TIMEOUT(desk.BrowserCalled(), 10000);
        QVERIFY(form.isVisible());
        QCOMPARE(form.Cycle().SessionsStarted(), 0);  // no check before the sign-in ends
    }

    // Last: it leaves the keyring locked.
    // A password remembered while the keyring was open, and the keyring locked by the next
    // start (no prompter here to unlock it): the window is shown to type the password, and
    // the keyring is said once.
    void rememberedPasswordLocked() {
        if (!KeyringPresent()) QSKIP("needs a keyring to lock");
        const ScriptedPop3Server pop3(Refusals());
        const Desk desk;
        QCOMPARE(desk.HideRemembering(pop3.Port()), 0);
        QCOMPARE(QProcess::execute("gdbus", {"call", "--session", "--timeout", "10", "--dest",
                                             "org.freedesktop.secrets", "--object-path",
                                             "/org/freedesktop/secrets", "--method",
                                             "org.freedesktop.Secret.Service.Lock",
                                             "['/org/freedesktop/secrets/collection/login']"}),
                 0);
        TestForm next(desk.Hive());
        next.FormCreate();
        next.Start();
        QVERIFY(next.Settle());
        QVERIFY(next.edPassword->text().isEmpty());
        QVERIFY(next.isVisible());
        QCOMPARE(next.Log, std::vector<std::string>{std::string("tip:") + kKeyringUnavailableText});
    }
};

VORNASK_APP_TEST_MAIN(AppSignInTest)
#include "app_sign_in_test.moc"
