#pragma once

// The one place a sign-in's credential comes from, for the tray's check, `vornask --check`, the
// dry run and Test connection alike: the typed password (or, with --password-stdin, the typed
// access token), the password remembered in the desktop keyring, or with OAuth2 a token from
// the user's token command or from the held sign-in (TTokenSource). Never opens a browser.
// Needs a Qt application object on the calling thread: the keyring and the refresh wait in a
// local event loop.

#include <QObject>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/keyring_record.h"
#include "app/token_source.h"
#include "app/typed_passwords.h"
#include "net/net_errors.h"
#include "platform/keyring.h"
#include "platform/oauth_config.h"

class TImap;
class TPop3;
struct TMailbox;

inline constexpr const char* kEncryptedOnlyText =
    "The remembered password was saved for an encrypted connection; type it to send it in plain "
    "text.";
// Why a check without a typed credential cannot start (the command line's words).
inline constexpr const char* kNoRememberedPasswordText =
    "No password is remembered: use --password-stdin, or remember the password in Mail Options.";
inline constexpr const char* kCheckNotSignedInText =
    "Not signed in: sign in once in Mail Options, or use --password-stdin with an access token.";
std::string KeyringUnavailableText(const std::string& reason);

// A password remembered for an encrypted connection, and the connection is not encrypted:
// nothing is sent.
class EPasswordNeedsEncryption : public EEncryptionError {
  public:
    EPasswordNeedsEncryption() : EEncryptionError(TFault::PasswordInClear, kEncryptedOnlyText) {}
};

// Nothing typed and nothing remembered for the account, or the keyring could not be read.
class ENoCredential : public Exception {
  public:
    using Exception::Exception;
};

struct TCredential {
    std::string Secret;  // the password, or with OAuth2 the access token
    // A token of the held sign-in: when the server refuses it, one renewal is worth a try.
    bool Renewable = false;
};

class TCredentialSource : public QObject {
    Q_OBJECT
  public:
    explicit TCredentialSource(TTokenSource& tokens,
                               std::chrono::milliseconds keyringBound = std::chrono::seconds(10));

    // What the user typed for each mailbox, by its identity: nothing when the remembered
    // credential is to be used (and must be there), empty when nothing was typed (then a
    // remembered password is taken when the mailbox remembers one, else the empty one is sent).
    // With OAuth2 a typed text is the access token.
    TTypedPasswords Typed;

    // The credential for a sign-in of the settings' account. Raises EPasswordNeedsEncryption,
    // ENoCredential, and what TTokenSource::AccessToken raises.
    TCredential For(const TMailbox& settings);
    // For a test of the settings: the credential when one is at hand without the user (typed,
    // remembered, from the token command or the held sign-in), else nothing. Raises as For.
    std::optional<TCredential> AtHand(const TMailbox& settings);
    // After the server refused a Renewable credential: the held token dropped and refreshed.
    TCredential Renewed(const TMailbox& settings);
    // The renewed token was refused too: the sign-in is forgotten; raises ESignInAgain.
    [[noreturn]] void RefusedAgain(const TMailbox& settings);

    // The password the keyring remembers for the account (read once, then kept), if any.
    std::optional<TPasswordRecord> RememberedPassword(const TMailbox& settings);
    // Keeps the password for the account, marked encrypted when the settings' connection is.
    TKeyringResult KeepPassword(const TMailbox& settings, const std::string& password);
    TKeyringResult ForgetPassword(const TMailbox& settings);

    TTokenSource& Tokens() { return tokens_; }

  signals:
    // The keyring's message whenever it cannot be used (the token source's included).
    void KeyringUnavailable(const std::string& message);

  private:
    TCredential Password(const TMailbox& settings, const std::optional<std::string>& typed);
    TKeyringResult Note(const TKeyringResult& result);

    TTokenSource& tokens_;
    TKeyring keyring_;
    std::map<std::string, TPasswordRecord> remembered_;  // by keyring key, once read or kept
    std::string keyringReason_;  // why the keyring could not be read at the last try
};

// Hands the credential to a client that already uses the connection: as the access token with
// OAuth2, as the password otherwise.
void UseCredential(TPop3& pop3, const TCredential& credential);
void UseCredential(TImap& imap, const TCredential& credential);
// Whether the failure is the server's refusal of the login (not a refusal for now).
bool IsLoginRefusal(const Exception& e);
// Gives the client the credential and runs login; a Renewable token the server refuses is
// renewed once and login runs once more, and a second refusal is ESignInAgain.
void SignIn(TCredentialSource& credentials, TPop3& pop3, const TMailbox& settings,
            const std::function<void()>& login);

// The settings' account's item in the desktop keyring.
std::string AccountKeyringKey(TKeyringItem item, const TMailbox& settings);
