// The mail options dialog's " Connection " page: its values through the dialog, the port that
// follows the encryption, and "Test connection" against a private Dovecot with TLS.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include "app/credential_source.h"
#include "app/failure_advice.h"
#include "app/settings.h"
#include "app/timer.h"
#include "base/exception.h"
#include "mailopt_ui.h"
#include "net/encryption.h"
#include "net/pop3_probe.h"
#include "net/sasl.h"
#include "platform/oauth_config.h"
#include "shell/connection_page.h"
#include "shell/connection_report.h"
#include "shell/mailopt.h"
#include "shell/oauth_group.h"
#include "support/dovecot_server.h"
#include "support/free_port.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"
#include "support/test_values.h"

namespace {

void TypePort(QSpinBox* box, const QString& text) {
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

// What a user reads in a box: rich text as it renders, plain text as it is.
QString ShownText(const QMessageBox* box) {
    const bool rich = box->textFormat() == Qt::RichText ||
                      (box->textFormat() == Qt::AutoText && Qt::mightBeRichText(box->text()));
    if (!rich) return box->text();
    QTextDocument document;
    document.setHtml(box->text());
    return document.toPlainText();
}

// What the next box said; clicks "Trust this certificate" when asked to and it is offered.
struct BoxSeen {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    bool offeredTrust = false;
};
std::shared_ptr<BoxSeen> WatchBox(bool trust) {
    auto seen = std::make_shared<BoxSeen>();
    WhenModal<QMessageBox>([seen, trust](QMessageBox* box) {
        seen->text = ShownText(box);
        seen->format = box->textFormat();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() != "Trust this certificate") continue;
            seen->offeredTrust = true;
            if (trust) button->click();
        }
        if (box->isVisible()) box->accept();
    });
    return seen;
}

using S = ScriptedPop3Server;
}  // namespace

Q_DECLARE_METATYPE(TProbeReport)

namespace {

// The dialog open on its Connection page.
std::unique_ptr<TdlgMailOptions> Open(const TSettings& settings) {
    auto d = OpenMailOptions(settings);
    ClickTab(d->pcOptions, 2);
    return d;
}

// A page whose test goes to 127.0.0.1 in plain text.
std::unique_ptr<TdlgMailOptions> OpenOn(uint16_t port) {
    TSettings settings;
    settings.Mailboxes[0].Connection.Host = "127.0.0.1";
    settings.Mailboxes[0].Connection.Port = port;
    return Open(settings);
}

// An untrusted certificate's report, as the probe gives it.
TProbeReport Refused(std::optional<ETlsError::TFault> reason) {
    TProbeReport report;
    report.Encryption = TEncryption::TlsOnConnect;
    report.Greeting = "+OK ready";
    report.Encrypted = true;
    report.Peer = {"TLSv1.3",
                   "TLS_AES_256_GCM_SHA384",
                   "CN=mail.example.org",
                   "CN=Some CA",
                   "DNS:mail.example.org",
                   "2020-01-01 00:00:00 UTC",
                   "2021-01-01 00:00:00 UTC",
                   kPin,
                   !reason,
                   reason ? "refused" : ""};
    if (reason)
        report.Refusal = ETlsError(*reason, std::string("Refused; SHA-256 fingerprint ") + kPin);
    return report;
}

// Clicks "Test connection" and waits for the box it ends with (clicking trust if asked to).
std::shared_ptr<BoxSeen> TestConnection(TConnectionPage* page, bool trust = false) {
    auto seen = WatchBox(trust);
    QTest::mouseClick(page->btnTestConnection, Qt::LeftButton);
    if (!QTest::qWaitFor([&seen] { return !seen->text.isEmpty(); }, 10000))
        seen->text = "(no box within 10 s)";
    return seen;
}

// The report of a test of the mailbox at 127.0.0.1:port that signs in as joe with a typed "pw".
QString TestSigningIn(TSettings settings, uint16_t port) {
    TMailbox& mailbox = settings.Mailboxes[0];
    mailbox.Connection.Host = "127.0.0.1";
    mailbox.Connection.Port = port;
    mailbox.User = "joe";
    auto d = Open(settings);
    TTokenSource tokens;
    TCredentialSource credentials(tokens);
    // Typed for the mailbox, Remember off: the page's test finds it by the mailbox.
    credentials.Typed.Type(mailbox.Id(), "pw");
    d->pgConnection->Credentials = &credentials;
    return TestConnection(d->pgConnection)->text;
}

QColor BaseOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Base);
}

QString ReportText(const TProbeReport& report) {
    QTextDocument document;
    document.setHtml(ConnectionReportHtml(report, "mail.example.org", "2026-01-01 00:00:00 UTC"));
    return document.toPlainText();
}

}  // namespace

class ConnectionPageTest : public QObject {
    Q_OBJECT

  private slots:
    void thirdPageCarriesTheConnectionValues() {
        TSettings settings;
        settings.Mailboxes[0].Connection.Encryption = TEncryption::TlsOnConnect;
        settings.Mailboxes[0].Connection.Port = 995;
        settings.Mailboxes[0].Connection.TrustedCertificate = kPin;
        auto d = Open(settings);
        TConnectionPage* page = d->pgConnection;
        QCOMPARE(d->pcOptions->tabText(2), QString(" Connection "));
        QCOMPARE(page->cbEncryption->currentText(), QString("TLS on connect"));
        QCOMPARE(page->edPort->value(), 995);
        QCOMPARE(page->edTrustedCertificate->text(), QString(kPin));

        page->cbEncryption->setCurrentIndex(1);  // the usual port follows
        QCOMPARE(page->edPort->value(), 110);
        TypePort(page->edPort, "2110");
        page->cbEncryption->setCurrentIndex(2);  // a chosen port stays
        QCOMPARE(page->edPort->value(), 2110);
        TypeOver(page->edTrustedCertificate, QString(kPin).remove(':').toLower());
        TTimer timer;
        TSettings stored;
        d->StoreTo(stored, timer);
        QCOMPARE(stored.Mailboxes[0].Connection.Encryption,
                 std::optional(TEncryption::TlsOnConnect));
        QCOMPARE(stored.Mailboxes[0].Connection.Port, 2110);
        QCOMPARE(stored.Mailboxes[0].Connection.TrustedCertificate, std::string(kPin));

        // A fingerprint that cannot be read stores nothing, the encryption before it neither.
        TypeOver(page->edTrustedCertificate, "AB:CD");
        page->cbEncryption->setCurrentIndex(1);
        TSettings untouched;
        QVERIFY_THROWS_EXCEPTION(EConvertError, d->StoreTo(untouched, timer));
        QCOMPARE(untouched.Mailboxes[0].Connection.Encryption, std::optional(TEncryption::None));
    }

    // Untrusted at first; trusting it fills the field, and the next test trusts it.
    void testConnectionOffersToTrustTheCertificate() {
        const TestCertificates& certs = TestCertificates::Get();
        const TrustOnly trust;
        DovecotServer server("anna", "pw",
                             DovecotOptions{certs.Pem("selfsigned"), certs.Key("selfsigned")});
        TSettings settings;
        settings.Mailboxes[0].Connection.Host = "localhost";
        settings.Mailboxes[0].Connection.Encryption = TEncryption::Stls;
        settings.Mailboxes[0].Connection.Port = server.Port();
        auto d = Open(settings);
        TConnectionPage* page = d->pgConnection;

        auto first = TestConnection(page, true);
        QVERIFY(first->text.startsWith(QString("Greeting: +OK ") + kDovecotGreeting + "\n"));
        QVERIFY(first->text.contains("Encryption: STARTTLS (STLS command), TLSv1."));
        QVERIFY(first->text.contains("Subject: CN=localhost\n"));
        QVERIFY(first->text.contains("Trusted for localhost: no, "));
        QVERIFY(first->offeredTrust);
        QTRY_COMPARE(page->edTrustedCertificate->text().toStdString(),
                     certs.Fingerprint("selfsigned"));

        QTRY_VERIFY(page->btnTestConnection->isEnabled());
        auto second = TestConnection(page);
        QVERIFY(second->text.endsWith("Trusted for localhost: yes"));
        QVERIFY(!second->offeredTrust);
    }

    // With a password at hand the test signs in after the greeting and says whether the
    // server took it; it quits without listing anything.
    void testConnectionSignsInWithATypedPassword() {
        for (const auto& [reply, says] :
             {std::pair{"+OK\r\n", "Signed in: yes"},
              {"-ERR [AUTH] nope\r\n", "Signed in: no (-ERR [AUTH] nope)"}}) {
            S server({S::Send("+OK hi\r\n"), S::ReadLine(), S::Send("-ERR\r\n"), S::ReadLine(),
                      S::Send("+OK\r\n"), S::ReadLine(), S::Send(reply), S::ReadLine(),
                      S::Send("+OK\r\n"), S::Close()});
            const QString report = TestSigningIn(TSettings{}, server.Port());
            QVERIFY2(report.endsWith(QString("\n") + says), qPrintable(report));
            QCOMPARE(server.Lines(),
                     (std::vector<std::string>{"CAPA", "USER joe", "PASS pw", "QUIT"}));
        }
    }

    // An IMAP mailbox's test signs in and counts its folder's messages with EXAMINE, which
    // changes nothing; the report names IMAP's STARTTLS and ends with the count, or with the
    // server's refusal of the folder, which is a finding: the session still logs out.
    void testConnectionOfAnImapMailboxCountsItsFolder() {
        for (const auto& [reply, says] :
             {std::pair{"* 12 EXISTS\r\nA3 OK [READ-ONLY] done\r\n", "Junk: 12 messages"},
              {"A3 NO [NONEXISTENT] none\r\n", "Junk: cannot be opened (NO [NONEXISTENT] none)"}}) {
            S server({S::Send("* OK [CAPABILITY IMAP4rev1] hi\r\n"), S::ReadLine(),
                      S::Send("* CAPABILITY IMAP4rev1 STARTTLS IDLE\r\nA1 OK\r\n"), S::ReadLine(),
                      S::Send("A2 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"), S::ReadLine(),
                      S::Send(reply), S::ReadLine(), S::Send("* BYE\r\nA4 OK\r\n"), S::Close()});
            TSettings settings;
            settings.Mailboxes[0].Connection.Protocol = TMailProtocol::Imap;
            settings.Mailboxes[0].Folder = "Junk";
            const QString report = TestSigningIn(settings, server.Port());
            QVERIFY2(report.contains("choose STARTTLS (STARTTLS command) on this page"),
                     qPrintable(report));
            QVERIFY2(report.contains("Capabilities: IMAP4REV1 STARTTLS IDLE\n"),
                     qPrintable(report));
            QVERIFY2(report.endsWith(QString("Signed in: yes\n") + says), qPrintable(report));
            QCOMPARE(server.Received(), std::string("A1 CAPABILITY\r\nA2 LOGIN \"joe\" \"pw\"\r\n"
                                                    "A3 EXAMINE \"Junk\"\r\nA4 LOGOUT\r\n"));
        }
    }

    void testConnectionFailureIsShownInABox() {
        auto d = OpenOn(FreeLoopbackPort());
        QCOMPARE(TestConnection(d->pgConnection)->text,
                 QString("Error creating socket (Connection refused)"));
        QTRY_VERIFY(d->pgConnection->btnTestConnection->isEnabled());

        // A fingerprint a check would refuse is not tested as if the field were empty.
        TypeOver(d->pgConnection->edTrustedCertificate, "AB:CD");
        auto unreadable = WatchBox(false);
        QTest::mouseClick(d->pgConnection->btnTestConnection, Qt::LeftButton);
        QCOMPARE(unreadable->text, QString("'AB:CD' is not a SHA-256 fingerprint"));
    }

    // Markup in the greeting cannot draw a fake certificate block: it shows as it came, in
    // the report and in the failure box.
    void serverTextShowsLiterally() {
        const std::string fake = "<table><tr><td>Trusted for 127.0.0.1: yes</td></tr></table>";
        S welcoming({S::Send("+OK " + fake + "\r\n"), S::ReadLine(), S::Send("-ERR\r\n"),
                     S::ReadLine(), S::Send("+OK\r\n"), S::ReadToEnd()});
        auto d = OpenOn(welcoming.Port());
        auto report = TestConnection(d->pgConnection);
        QVERIFY2(report->text.startsWith(QString::fromStdString("Greeting: +OK " + fake + "\n")),
                 qPrintable(report->text));

        S refusing({S::Send("-ERR <b>" + fake + "</b>\r\n"), S::ReadToEnd()});
        d->pgConnection->edPort->setValue(refusing.Port());
        QTRY_VERIFY(d->pgConnection->btnTestConnection->isEnabled());
        auto failure = TestConnection(d->pgConnection);
        QCOMPARE(failure->format, Qt::PlainText);
        QCOMPARE(failure->text, QString::fromStdString("-ERR <b>" + fake + "</b>"));
    }

    // A server that never answers: the dialog stays usable while the test waits, the dialog's
    // Cancel ends the test within a second, and so does destroying a dialog mid-test.
    void slowServerLeavesTheDialogUsable() {
        S silent({S::ReadToEnd()});
        auto d = OpenOn(silent.Port());
        TConnectionPage* page = d->pgConnection;
        QTest::mouseClick(page->btnTestConnection, Qt::LeftButton);
        QTRY_COMPARE(silent.Connections(), 1);
        QVERIFY(page->TestRunning());
        QVERIFY(!page->btnTestConnection->isEnabled());
        QCOMPARE(page->btnTestConnection->text(), QString("Testing..."));
        ClickTab(d->pcOptions, 0);
        QCOMPARE(d->pcOptions->currentIndex(), 0);
        const auto start = std::chrono::steady_clock::now();
        QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!page->TestRunning(), 1000);
        QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(1));
        QCOMPARE(silent.Received(), std::string());  // returns once the socket is closed

        S silentToo({S::ReadToEnd()});
        auto closing = OpenOn(silentToo.Port());
        QTest::mouseClick(closing->pgConnection->btnTestConnection, Qt::LeftButton);
        QTRY_COMPARE(silentToo.Connections(), 1);
        const auto destroyed = std::chrono::steady_clock::now();
        closing.reset();
        QVERIFY(std::chrono::steady_clock::now() - destroyed < std::chrono::seconds(1));
    }

    // The OAuth2 group shows for OAuth2 only; a known provider fills and fixes its addresses
    // and scope, which then look read-only and say why, "Other" leaves them to the user; the
    // provider shown follows the stored addresses; everything reaches the settings.
    void oauthGroupAndProviders() {
        TSettings settings;
        settings.Mailboxes[0].Connection.Encryption = TEncryption::Stls;
        auto d = Open(settings);
        TConnectionPage* page = d->pgConnection;
        TOAuthGroup* group = page->gbOAuth;
        QVERIFY(!group->isVisible());
        page->cbAuthentication->setCurrentIndex(2);
        QVERIFY(group->isVisible());
        QCOMPARE(group->lblSignedIn->text(), QString("Not signed in"));
        const auto& providers = OAuthProviders();
        for (int i = 0; i < 2; ++i) {
            group->cbProvider->setCurrentIndex(i);
            QCOMPARE(group->edTokenUrl->text().toStdString(), providers[i].TokenUrl);
            QCOMPARE(group->edScope->text().toStdString(), providers[i].Scope);
            QVERIFY(group->edAuthorizationUrl->isReadOnly());
            QVERIFY(BaseOf(group->edScope) != BaseOf(group->edClientId));
            QCOMPARE(group->edTokenUrl->toolTip(),
                     QString("Fixed for this provider; choose \"Other\" to edit."));
        }
        group->cbProvider->setCurrentIndex(2);  // Other: editable, starting from what was there
        QVERIFY(!group->edTokenUrl->isReadOnly());
        QCOMPARE(BaseOf(group->edScope), BaseOf(group->edClientId));
        QCOMPARE(group->edTokenUrl->toolTip(), QString());
        TypeOver(group->edTokenUrl, "https://id.example.org/token");
        TypeOver(group->edClientId, "vornask");
        TypeOver(group->edTokenCommand, "helper --token");
        TTimer timer;
        TSettings stored;
        d->StoreTo(stored, timer);
        const TOAuthConfig& oauth = stored.Mailboxes[0].OAuth;
        QCOMPARE(stored.Mailboxes[0].Connection.Authentication,
                 std::optional(TAuthentication::OAuth2));
        QCOMPARE(oauth.AuthorizationUrl, providers[1].AuthorizationUrl);
        QCOMPARE(oauth.TokenUrl, std::string("https://id.example.org/token"));
        QCOMPARE(oauth.ClientId, std::string("vornask"));
        QCOMPARE(oauth.TokenCommand, std::string("helper --token"));

        settings.Mailboxes[0].Connection.Authentication = TAuthentication::OAuth2;
        settings.Mailboxes[0].OAuth = {
            providers[0].AuthorizationUrl, providers[0].TokenUrl, providers[0].Scope, "id", "", ""};
        d->LoadFrom(settings);
        QCOMPARE(group->cbProvider->currentText(), QString("Google"));
        settings.Mailboxes[0].OAuth.TokenUrl = "https://id.example.org/token";
        d->LoadFrom(settings);
        QCOMPARE(group->cbProvider->currentText(), QString("Other"));
        QCOMPARE(group->edTokenUrl->text(), QString("https://id.example.org/token"));
    }

    // The protocol per mailbox: IMAP brings its usual ports (a chosen port stays), its folder
    // fields, a known provider's IMAP scope (a typed one stays) and turns off the fast check,
    // which is POP3's. Condemned mail is never moved into the folder it came from.
    void protocolChoiceFollowsThroughThePage() {
        const auto& microsoft = OAuthProviders()[1];
        TSettings settings;
        TConnection& first = settings.Mailboxes[0].Connection;
        first.Encryption = TEncryption::TlsOnConnect;
        first.Port = 995;
        first.Authentication = TAuthentication::OAuth2;
        settings.Mailboxes[0].OAuth = {
            microsoft.AuthorizationUrl, microsoft.TokenUrl, "", "", "", ""};
        settings.Mailboxes.emplace_back().Connection.Protocol = TMailProtocol::Imap;
        settings.Mailboxes[1].Folder = "Spam watch";
        auto d = Open(settings);
        TConnectionPage* page = d->pgConnection;
        QLineEdit* scope = page->gbOAuth->edScope;
        d->cbMailbox->setCurrentIndex(1);
        QVERIFY(page->edFolder->isVisible() && !d->chbFastCheck->isEnabled());
        QCOMPARE(page->edFolder->text(), QString("Spam watch"));
        d->cbMailbox->setCurrentIndex(0);
        QVERIFY(!page->edMoveTo->isVisible() && d->chbFastCheck->isEnabled());

        page->cbProtocol->setCurrentIndex(1);
        QCOMPARE(page->edPort->value(), 993);
        QVERIFY(page->edMoveTo->isVisible() && !d->chbFastCheck->isEnabled());
        QCOMPARE(scope->text().toStdString(), microsoft.ImapScope);
        page->cbEncryption->setCurrentIndex(1);
        QCOMPARE(page->edPort->value(), 143);
        TypeOver(page->edMoveTo, "inbox");  // the folder guarded when none is named
        TTimer timer;
        TSettings stored;
        QVERIFY_THROWS_EXCEPTION(EConvertError, d->StoreTo(stored, timer));
        TypeOver(page->edFolder, " Lists ");
        TypeOver(page->edMoveTo, "Junk");
        d->StoreTo(stored, timer);
        QCOMPARE(stored.Mailboxes[0].Connection.Protocol, std::optional(TMailProtocol::Imap));
        QCOMPARE(stored.Mailboxes[0].Connection.Port, 143);
        QCOMPARE(stored.Mailboxes[0].Folder + "," + stored.Mailboxes[0].MoveTo, "Lists,Junk");
        QCOMPARE(stored.Mailboxes[0].OAuth.Scope, microsoft.ImapScope);

        TypePort(page->edPort, "1143");
        page->cbProtocol->setCurrentIndex(0);
        QCOMPARE(page->edPort->value(), 1143);
        QCOMPARE(scope->text().toStdString(), microsoft.Scope);
        page->gbOAuth->cbProvider->setCurrentIndex(2);
        TypeOver(scope, "mail.read");
        page->cbProtocol->setCurrentIndex(1);
        QCOMPARE(scope->text(), QString("mail.read"));
    }

    // OK refuses what a check could not use, keeps the dialog and every edit, and puts the
    // cursor on it; once it is put right, OK takes it.
    void okRefusesWhatSigningInCannotUse_data() {
        QTest::addColumn<int>("protocol");        // -1: the stored one could not be read
        QTest::addColumn<int>("encryption");      // -1: the stored one could not be read
        QTest::addColumn<int>("authentication");  // -1: the stored one could not be read
        QTest::addColumn<QString>("tokenUrl");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("focus");
        QTest::newRow("OAuth2 in plain text") << 0 << 0 << 2 << "https://id.example.org/token"
                                              << kOAuthNeedsEncryptionText << "cbEncryption";
        QTest::newRow("token URL in plain text") << 0 << 1 << 2 << "http://id.example.org/token"
                                                 << "The token URL "
                                                 << "edTokenUrl";
        QTest::newRow("unreadable authentication")
            << 0 << 1 << -1 << ""
            << "Choose the authentication on the Connection page."
            << "cbAuthentication";
        QTest::newRow("unreadable encryption") << 0 << -1 << 0 << ""
                                               << "Choose the encryption on the Connection page."
                                               << "cbEncryption";
        QTest::newRow("unreadable protocol") << -1 << 1 << 0 << ""
                                             << "Choose the protocol on the Connection page."
                                             << "cbProtocol";
        QTest::newRow("trusted certificate not a fingerprint")  // typed as AB:CD
            << 0 << 0 << 0 << ""
            << "'AB:CD' is not a SHA-256 fingerprint"
            << "edTrustedCertificate";
    }
    void okRefusesWhatSigningInCannotUse() {
        QFETCH(int, protocol);
        QFETCH(int, encryption);
        QFETCH(int, authentication);
        QFETCH(QString, tokenUrl);
        QFETCH(QString, says);
        QFETCH(QString, focus);
        TSettings settings;
        settings.Mailboxes[0].Connection.Protocol =
            protocol < 0 ? kProtocolUnreadable
                         : std::optional(static_cast<TMailProtocol>(protocol));
        settings.Mailboxes[0].Connection.Encryption =
            encryption < 0 ? kEncryptionUnreadable
                           : std::optional(static_cast<TEncryption>(encryption));
        settings.Mailboxes[0].Connection.Authentication =
            authentication < 0 ? kAuthenticationUnreadable
                               : std::optional(static_cast<TAuthentication>(authentication));
        settings.Mailboxes[0].OAuth.AuthorizationUrl = "https://id.example.org/authorize";
        settings.Mailboxes[0].OAuth.TokenUrl = tokenUrl.toStdString();
        auto d = Open(settings);
        TConnectionPage* page = d->pgConnection;
        const bool pin = focus == "edTrustedCertificate";
        if (pin) TypeOver(page->edTrustedCertificate, "AB:CD");
        ClickTab(d->pcOptions, 0);
        TypeOver(d->edUsername, "anna");
        auto seen = WatchBox(false);
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
        QTRY_VERIFY(!seen->text.isEmpty());
        QVERIFY2(seen->text.startsWith(says), qPrintable(seen->text));
        QVERIFY(d->isVisible());
        QCOMPARE(d->pcOptions->currentIndex(), 2);
        QCOMPARE(d->edUsername->text(), QString("anna"));
        QCOMPARE(page->cbProtocol->currentIndex(), protocol);  // none shown when unreadable
        const std::map<QString, QWidget*> fields{
            {"cbProtocol", page->cbProtocol},
            {"cbEncryption", page->cbEncryption},
            {"edTokenUrl", page->gbOAuth->edTokenUrl},
            {"cbAuthentication", page->cbAuthentication},
            {"edTrustedCertificate", page->edTrustedCertificate}};
        QTRY_COMPARE(d->focusWidget(), fields.at(focus));
        if (!pin) return;
        TypeOver(page->edTrustedCertificate, kPin);
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
        QCOMPARE(d->result(), int(QDialog::Accepted));
        TSettings stored;
        TTimer timer;
        d->StoreTo(stored, timer);
        QCOMPARE(stored.Mailboxes[0].Connection.TrustedCertificate, std::string(kPin));
    }

    // The group on its own: what it keeps of the values, and which address it refuses with the
    // field to fix; a token command replaces both addresses.
    void oauthGroupValuesAndRefusal() {
        TOAuthGroup group;
        const TOAuthConfig typed{" https://id.example.org/authorize ",
                                 " https://id.example.org/token",
                                 " mail ",
                                 " vornask ",
                                 " s3cret ",
                                 " helper --token "};
        group.LoadFrom(typed);
        TOAuthConfig stored;
        group.StoreTo(stored);
        QCOMPARE(stored,
                 (TOAuthConfig{"https://id.example.org/authorize", "https://id.example.org/token",
                               "mail", "vornask", " s3cret ", "helper --token"}));

        const std::string good = "https://id.example.org/x", plain = "http://id.example.org/x";
        const struct {
            std::string authorization, token, command;
            const char* says;  // nullptr: nothing refused
            QLineEdit* field;
        } cases[] = {{plain, plain, "", "The authorization URL", group.edAuthorizationUrl},
                     {good, plain, "", "The token URL", group.edTokenUrl},
                     {plain, plain, "helper", nullptr, nullptr},
                     {good, good, "", nullptr, nullptr}};
        for (const auto& c : cases) {
            group.LoadFrom({c.authorization, c.token, "", "", "", c.command});
            const auto refusal = group.Refusal();
            QCOMPARE(refusal.has_value(), c.says != nullptr);
            if (!refusal) continue;
            QVERIFY2(refusal->Text.starts_with(c.says), refusal->Text.c_str());
            QCOMPARE(refusal->Field, c.field);
        }
    }

    // Whether trusting is offered, and what the report adds, for each reason a check refuses.
    void reportForEachRefusal_data() {
        QTest::addColumn<TProbeReport>("report");
        QTest::addColumn<bool>("offersTrust");
        QTest::addColumn<QString>("says");
        using R = ETlsError::TFault;
        QTest::newRow("untrusted") << Refused(R::Untrusted) << true << "no, refused";
        QTest::newRow("untrusted, in a check's words")
            << Refused(R::Untrusted) << true
            << QString("fingerprint ") + kPin +
                   "; use Test connection in Mail Options to compare the fingerprint and trust "
                   "this certificate.";
        QTest::newRow("pin mismatch") << Refused(R::PinMismatch) << true << "no, refused";
        QTest::newRow("expired") << Refused(R::Expired) << false << "Trusting it is no fix";
        QTest::newRow("name mismatch")
            << Refused(R::NameMismatch) << true << "whatever name it is for";
        QTest::newRow("pinned, expired")
            << Refused(std::nullopt) << false
            << "Expired on 2021-01-01 00:00:00 UTC; trusted because you pinned it.";
        TProbeReport plain;
        plain.Greeting = "+OK";
        plain.OffersStls = true;
        QTest::newRow("plain, STLS offered")
            << plain << false
            << "Encryption: None (plain text); the password would travel in plain text.\n"
               "The server offers STARTTLS: choose STARTTLS (STLS command) on this page";
    }
    void reportForEachRefusal() {
        QFETCH(TProbeReport, report);
        QFETCH(bool, offersTrust);
        QFETCH(QString, says);
        QCOMPARE(OffersTrust(report), offersTrust);
        QVERIFY2(ReportText(report).contains(says), qPrintable(ReportText(report)));
    }

    // The fingerprint stands in a fixed-width font, broken between pairs, with nothing after
    // it that a copy would pick up.
    void fingerprintText() {
        const QString html =
            ConnectionReportHtml(Refused(std::nullopt), "h", "2020-06-01 00:00:00 UTC");
        const QString pin(kPin);
        QVERIFY(html.contains("white-space:pre; font-family:"));
        QVERIFY(html.contains(",monospace\">" + pin.left(47) + ":<br>" + pin.mid(48) + "</p>"));
        QVERIFY(ReportText(Refused(std::nullopt)).contains(pin.mid(48) + "\nTrusted for"));
        const QString refused = ReportText(Refused(ETlsError::TFault::Untrusted));
        QVERIFY(!refused.contains(pin + "."));
    }
};

QTEST_MAIN(ConnectionPageTest)
#include "connection_page_test.moc"
