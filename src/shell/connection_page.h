#pragma once

// The mail options dialog's " Connection " page: the protocol the mailbox speaks (POP3 or IMAP),
// how the connection to the server is protected, its port, the one certificate trusted instead
// of the system's store, a test that shows what the server offers, for IMAP the folder guarded
// and where condemned mail goes, and how the client signs in (with OAuth2, the OAuth2 group
// below it). Further connection options go in rows below these (AddRow).

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/settings.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TConnectionTestRun;
class TCredentialSource;
class TOAuthGroup;
class TTokenSource;
struct TConnection;
struct TConnectionTestResult;
struct TProbeReport;

class TConnectionPage : public QWidget {
    Q_OBJECT
  public:
    explicit TConnectionPage(QWidget* parent = nullptr);
    ~TConnectionPage() override;

    // Shows the mailbox's connection and sign-in; the page acts for that mailbox from then on.
    void LoadFrom(const TMailbox& mailbox);
    // Raises EConvertError when no protocol, encryption or authentication is chosen (the
    // stored one could not be read), OAuth2 is chosen without encryption or with an address the
    // OAuth2 rule refuses, the trusted certificate is neither empty nor a SHA-256 fingerprint,
    // or IMAP would move condemned mail into the folder it guards; nothing is changed then.
    void CheckInput() const;
    // CheckInput for OK: false after a box that says what is wrong.
    bool InputAcceptable();
    // Puts the cursor on what CheckInput refused (the page must be shown).
    void FocusFault();
    void StoreTo(TMailbox& mailbox) const;
    // Adds a further option across the page, below the rows already there.
    void AddRow(QWidget* widget);

    // The page's controls in keyboard order.
    QList<QWidget*> TabOrder() const;

    // A new encryption brings its usual port, unless the port is one the user chose.
    void cbEncryptionChange();
    // The same for a new protocol; IMAP shows its folder fields and its OAuth2 scopes.
    void cbProtocolChange();
    // Whether IMAP is chosen (not when no protocol is).
    bool ImapChosen() const;
    // Starts probing the server with the settings on screen on a worker thread; the button
    // reads "Testing..." until the report shows what it found, offering to trust a certificate
    // where that is a fix. A trusted certificate that is not a fingerprint is reported
    // instead, as OK would. With a credential at hand (Credentials) the probe also signs in.
    void btnTestConnectionClick();
    // Ends a running test at once without a report (the dialog is closing).
    void StopTest();
    bool TestRunning() const;

    // Shows the OAuth2 group for OAuth2 only.
    void cbAuthenticationChange();
    // Signs in in the browser with what is shown, unless a check would refuse it (a box says
    // why); the tokens go to Tokens.
    void btnSignInClick();
    // Forgets the shown account's tokens at once, the keyring's too.
    void btnSignOutClick();
    // The account of the last sign-in this page made, if any (OK may have to forget it).
    const std::optional<TMailbox>& SignInMade() const;

    // Where the test finds the server's host name and the sign-in the user name (the login
    // page's boxes).
    std::function<std::string()> HostName;
    std::function<std::string()> UserName;
    // Where a sign-in's tokens go and who is signed in; none: the page cannot sign in.
    TTokenSource* Tokens = nullptr;
    // What Test connection signs in with; none: it does not sign in.
    TCredentialSource* Credentials = nullptr;

    QComboBox* cbProtocol;
    QComboBox* cbEncryption;
    QSpinBox* edPort;
    QLineEdit* edTrustedCertificate;
    QPushButton* btnTestConnection;
    QLineEdit* edFolder;  // IMAP only, as are the two below
    QLineEdit* edMoveTo;
    QComboBox* cbAuthentication;
    TOAuthGroup* gbOAuth;

  signals:
    // The protocol shown changed (the Login page's "Examine each message only once" is for
    // POP3 only).
    void protocolChanged();

  private:
    // The title of Test connection's boxes, and of OK's about a pin or an encryption.
    static constexpr const char* kTestTitle = "Test connection";
    // What CheckInput refuses: where the cursor goes, and the text.
    enum class TFault {
        None,
        Protocol,
        Encryption,
        Authentication,
        OAuthEncryption,
        OAuth,  // the OAuth2 group's Refusal
        Pin,
        MoveTo  // into the folder guarded
    };
    // What CheckInput refuses first (connection_page_check.cpp).
    TFault Fault(std::string& text) const;
    bool OAuthChosen() const;
    // The mailbox shown (its identity kept), with what the page and the login page's host and
    // user show, as a sign-in uses them.
    TMailbox ShownAccount() const;
    void ShowSignedIn();
    void SignInEnded(const QString& failure);
    // The encryption, port, trusted certificate and authentication shown, as a check would
    // use them.
    void StoreShownTo(TConnection& connection) const;
    // The Test connection button and the run behind it (connection_page_probe.cpp).
    void MakeTestButton();
    void TestEnded(const TConnectionTestResult& result);
    void SetTesting(bool testing);
    // Moves a port that was the usual one to the usual one of what is shown now.
    void FollowUsualPort();
    // The folder fields for IMAP only, the upgrade command's name, the OAuth2 scopes.
    void ShowProtocol();
    void ShowFailure(const QString& text, const char* title);
    // Shows the report; true when the user chose to trust the certificate it shows.
    bool ShowReport(const TProbeReport& report, const std::string& host);
    TMailbox shown_;      // the mailbox the page acts for, as loaded
    uint16_t usualPort_;  // of the encryption and protocol shown
    QWidget* lbFolder_;
    QWidget* lbMoveTo_;
    std::string signInFailure_;  // why the running test could not get its credential
    TConnectionTestRun* test_;
    QGridLayout* grid_;
    int freeRow_;  // the first row below the options, which takes the page's spare height
};
