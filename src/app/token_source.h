#pragma once

// Where an OAuth2 check's access token comes from: the user's token command when one is set,
// else the tokens of the last sign-in, held in memory with the refresh token also kept in the
// desktop keyring (or only in memory for this run when there is none), each with the token URL
// and client ID it was issued for and used only with those. Only a sign-in in the browser gets
// the first token; a check never starts one.

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <string>

#include "base/exception.h"
#include "platform/keyring.h"
#include "platform/oauth_config.h"

class QObject;
class TOAuthSignIn;
struct TMailbox;

// What a check says when it has no token it may use: the user must sign in (press Hide).
inline constexpr const char* kSignInAgainText = "Sign in again.";

// Why: the second line of the error box and of `--check`'s failure.
enum class TSignInAgainReason { ProviderRefused, NoneRemembered, OtherProvider, RefusedAgain };
const char* SignInAgainReasonText(TSignInAgainReason reason);

// No usable token, or the provider refused the refresh token: handled as a refused password.
class ESignInAgain : public Exception {
  public:
    explicit ESignInAgain(TSignInAgainReason reason, std::string keyringReason = {})
        : Exception(kSignInAgainText), Reason(reason), KeyringReason(std::move(keyringReason)) {}
    TSignInAgainReason Reason;
    // NoneRemembered because the keyring could not be read: its reason (TKeyringResult).
    std::string KeyringReason;
};

class TTokenSource : public QObject {
    Q_OBJECT
  public:
    explicit TTokenSource(std::chrono::milliseconds keyringBound = std::chrono::seconds(10));

    // The access token for a check of the settings' account: the token command's output
    // (ETokenCommandError when it fails), the held token while it is valid for more than a
    // minute, else a refreshed one (EOAuthError when the refresh fails for another reason than
    // a refusal). Without a refresh token for the settings' token URL and client ID, or with
    // it refused (then forgotten), ESignInAgain.
    std::string AccessToken(const TMailbox& settings);
    // After the server refused the held access token: drops it and refreshes once, as above.
    std::string RenewedAccessToken(const TMailbox& settings);
    // The server refused the renewed token too: forgets the sign-in, keyring item included.
    void Forget(const TMailbox& settings);
    // Whether a sign-in's tokens for the settings' token URL and client ID are held for the
    // account, the keyring asked once per account.
    bool Holds(const TMailbox& settings);
    // Keeps a sign-in's tokens for the account, the refresh token in the keyring too.
    void Accept(const TMailbox& settings, const TOAuthTokens& tokens);
    // Forgets the account's sign-in: the tokens held and its refresh token in the keyring.
    void SignOut(const TMailbox& account);

    std::chrono::milliseconds RefreshBound = std::chrono::seconds(30);

  signals:
    // The keyring's message whenever it cannot be used.
    void KeyringUnavailable(const std::string& message);

  private:
    void Select(const TMailbox& settings);
    // Whether the held tokens were issued for the settings' provider.
    bool ForProvider(const TMailbox& settings) const;
    std::string Refreshed(const TMailbox& settings);
    void Keep(const TKeyringResult& result);
    void KeepRecord();

    TKeyring keyring_;
    std::string account_;  // the keyring key of the tokens held
    TOAuthTokens tokens_;
    std::string tokenUrl_;  // what the held tokens were issued for
    std::string clientId_;
    std::string keyringReason_;  // why the keyring could not be read for the account
};

// Starts a sign-in in the browser for the settings' account, owned by parent. On success the
// tokens go to the source and done gets an empty text; on failure done gets its message.
TOAuthSignIn* StartSignIn(TTokenSource& source, const TMailbox& settings, QObject* parent,
                          const std::function<void(const QString& failure)>& done);
