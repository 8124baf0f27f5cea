#include "shell/token_source.h"

#include "platform/oauth_refresh.h"
#include "platform/oauth_sign_in.h"
#include "platform/token_command.h"
#include "shell/remembered_credential.h"
#include "shell/settings.h"

TTokenSource::TTokenSource(std::chrono::milliseconds keyringBound) : keyring_(keyringBound) {}

// Another account's tokens are no use for this one: its refresh token comes from the keyring.
void TTokenSource::Select(const TSettings& settings) {
    const std::string key = AccountKeyringKey(TKeyringItem::OAuth, settings);
    if (key == account_) return;
    account_ = key;
    tokens_ = {};
    std::string refresh;
    const TKeyringResult read = keyring_.Read(key, refresh);
    if (read.IsOk())
        tokens_.RefreshToken = refresh;
    else
        Keep(read);
}

void TTokenSource::Keep(const TKeyringResult& result) {
    if (result.Status == TKeyringStatus::Unavailable && OnKeyringUnavailable)
        OnKeyringUnavailable(result.Message);
}

void TTokenSource::Forget() {
    tokens_ = {};
    keyring_.Remove(account_);  // a refused token is no reason to start hidden next time
}

std::string TTokenSource::AccessToken(const TSettings& settings) {
    const TOAuthSource& source = settings.Connection.OAuth;
    if (!source.TokenCommand.empty()) return RunTokenCommand(source.TokenCommand);
    Select(settings);
    const auto now = std::chrono::system_clock::now();
    if (!tokens_.AccessToken.empty() && tokens_.ExpiresAt > now + std::chrono::minutes(1))
        return tokens_.AccessToken;
    if (tokens_.RefreshToken.empty()) throw ESignInAgain();
    TOAuthTokens renewed;
    try {
        renewed = RefreshAccessToken(OAuthConfigOf(source), tokens_.RefreshToken, RefreshBound);
    } catch (const EOAuthSignInAgain&) {
        Forget();
        throw ESignInAgain();
    }
    if (renewed.RefreshToken != tokens_.RefreshToken)
        Keep(keyring_.Write(account_, renewed.RefreshToken));
    tokens_ = renewed;
    return tokens_.AccessToken;
}

bool TTokenSource::Holds(const TSettings& settings) {
    Select(settings);
    return !tokens_.AccessToken.empty() || !tokens_.RefreshToken.empty();
}

void TTokenSource::Accept(const TSettings& settings, const TOAuthTokens& tokens) {
    account_ = AccountKeyringKey(TKeyringItem::OAuth, settings);
    tokens_ = tokens;
    if (!tokens.RefreshToken.empty()) Keep(keyring_.Write(account_, tokens.RefreshToken));
}

void TTokenSource::SignOut(const TSettings& account) {
    account_ = AccountKeyringKey(TKeyringItem::OAuth, account);
    tokens_ = {};
    Keep(keyring_.Remove(account_));
}

TOAuthSignIn* StartSignIn(TTokenSource& source, const TSettings& settings, QObject* parent,
                          const std::function<void(const QString& failure)>& done) {
    auto* signIn = new TOAuthSignIn(OAuthConfigOf(settings.Connection.OAuth), parent);
    QObject::connect(signIn, &TOAuthSignIn::Succeeded, signIn,
                     [signIn, &source, settings, done](const TOAuthTokens& tokens) {
                         signIn->deleteLater();
                         source.Accept(settings, tokens);
                         done({});
                     });
    QObject::connect(signIn, &TOAuthSignIn::Failed, signIn, [signIn, done](const QString& failure) {
        signIn->deleteLater();
        done(failure);
    });
    signIn->Start();
    return signIn;
}
