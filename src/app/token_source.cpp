#include "app/token_source.h"

#include "app/credential_source.h"
#include "app/keyring_record.h"
#include "app/settings.h"
#include "platform/oauth_refresh.h"
#include "platform/oauth_sign_in.h"
#include "platform/token_command.h"

const char* SignInAgainReasonText(TSignInAgainReason reason) {
    switch (reason) {
        case TSignInAgainReason::ProviderRefused:
            return "The provider refused the saved sign-in.";
        case TSignInAgainReason::NoneRemembered:
            break;
        case TSignInAgainReason::OtherProvider:
            return "The saved sign-in was made for another token URL or client ID.";
        case TSignInAgainReason::RefusedAgain:
            return "The server refused the access token again after a refresh.";
    }
    return "No sign-in is remembered for this account.";
}

TTokenSource::TTokenSource(std::chrono::milliseconds keyringBound) : keyring_(keyringBound) {}

// Another account's tokens are no use for this one: its refresh token comes from the keyring.
void TTokenSource::Select(const TMailbox& settings) {
    const std::string key = AccountKeyringKey(TKeyringItem::OAuth, settings);
    if (key == account_) return;
    account_ = key;
    tokens_ = {};
    tokenUrl_.clear();
    clientId_.clear();
    keyringReason_.clear();
    std::string secret;
    const TKeyringResult read = keyring_.Read(key, secret);
    Keep(read);
    if (read.Status == TKeyringStatus::Unavailable) keyringReason_ = read.Reason;
    if (!read.IsOk()) return;
    if (const auto record = SignInRecordOf(secret)) {
        tokens_.RefreshToken = record->RefreshToken;
        tokenUrl_ = record->TokenUrl;
        clientId_ = record->ClientId;
    }
}

bool TTokenSource::ForProvider(const TMailbox& settings) const {
    const TOAuthConfig& source = settings.OAuth;
    return tokenUrl_ == source.TokenUrl && clientId_ == source.ClientId;
}

void TTokenSource::Keep(const TKeyringResult& result) {
    if (result.Status == TKeyringStatus::Unavailable) emit KeyringUnavailable(result.Message);
}

void TTokenSource::KeepRecord() {
    Keep(keyring_.Write(account_,
                        RecordText(TSignInRecord{tokens_.RefreshToken, tokenUrl_, clientId_})));
}

void TTokenSource::Forget(const TMailbox& settings) {
    Select(settings);
    tokens_ = {};
    keyring_.Remove(account_);  // a refused token is no reason to start hidden next time
}

std::string TTokenSource::AccessToken(const TMailbox& settings) {
    const TOAuthConfig& source = settings.OAuth;
    if (!source.TokenCommand.empty()) return RunTokenCommand(source.TokenCommand);
    Select(settings);
    const bool held = !tokens_.AccessToken.empty() || !tokens_.RefreshToken.empty();
    // Nothing goes to another provider's token URL, nor to another client's.
    if (held && !ForProvider(settings)) throw ESignInAgain(TSignInAgainReason::OtherProvider);
    const auto now = std::chrono::system_clock::now();
    if (!tokens_.AccessToken.empty() && tokens_.ExpiresAt > now + std::chrono::minutes(1))
        return tokens_.AccessToken;
    return Refreshed(settings);
}

std::string TTokenSource::RenewedAccessToken(const TMailbox& settings) {
    Select(settings);
    tokens_.AccessToken.clear();
    if (tokens_.RefreshToken.empty()) throw ESignInAgain(TSignInAgainReason::RefusedAgain);
    return Refreshed(settings);
}

std::string TTokenSource::Refreshed(const TMailbox& settings) {
    if (tokens_.RefreshToken.empty())
        throw ESignInAgain(TSignInAgainReason::NoneRemembered, keyringReason_);
    TOAuthTokens renewed;
    try {
        renewed = RefreshAccessToken(settings.OAuth, tokens_.RefreshToken, RefreshBound);
    } catch (const EOAuthSignInAgain&) {
        Forget(settings);
        throw ESignInAgain(TSignInAgainReason::ProviderRefused);
    }
    const bool replaced = renewed.RefreshToken != tokens_.RefreshToken;
    tokens_ = renewed;
    if (replaced) KeepRecord();
    return tokens_.AccessToken;
}

bool TTokenSource::Holds(const TMailbox& settings) {
    Select(settings);
    return ForProvider(settings) && (!tokens_.AccessToken.empty() || !tokens_.RefreshToken.empty());
}

void TTokenSource::Accept(const TMailbox& settings, const TOAuthTokens& tokens) {
    account_ = AccountKeyringKey(TKeyringItem::OAuth, settings);
    tokens_ = tokens;
    tokenUrl_ = settings.OAuth.TokenUrl;
    clientId_ = settings.OAuth.ClientId;
    keyringReason_.clear();
    if (!tokens.RefreshToken.empty()) KeepRecord();
}

void TTokenSource::SignOut(const TMailbox& account) {
    account_ = AccountKeyringKey(TKeyringItem::OAuth, account);
    tokens_ = {};
    tokenUrl_.clear();
    clientId_.clear();
    Keep(keyring_.Remove(account_));
}

TOAuthSignIn* StartSignIn(TTokenSource& source, const TMailbox& settings, QObject* parent,
                          const std::function<void(const QString& failure)>& done) {
    auto* signIn = new TOAuthSignIn(settings.OAuth, parent);
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
