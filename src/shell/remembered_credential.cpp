#include "shell/remembered_credential.h"

#include "platform/keyring.h"
#include "platform/oauth_refresh.h"
#include "platform/token_command.h"
#include "shell/settings.h"

namespace {

std::optional<std::string> Remembered(const TKeyring& keyring, const std::string& key) {
    std::string secret;
    if (!keyring.Read(key, secret).IsOk()) return std::nullopt;
    return secret;
}

std::optional<std::string> AccessToken(const TKeyring& keyring, const TSettings& settings) {
    const TOAuthSource& source = settings.Connection.OAuth;
    if (!source.TokenCommand.empty()) return RunTokenCommand(source.TokenCommand);
    const std::string key = AccountKeyringKey(TKeyringItem::OAuth, settings);
    const std::optional<std::string> refreshToken = Remembered(keyring, key);
    if (!refreshToken) return std::nullopt;
    const TOAuthTokens tokens = RefreshAccessToken(OAuthConfigOf(source), *refreshToken);
    // Losing a replaced refresh token would end every later check; a failed write leaves the
    // old one, which the provider may still take.
    if (!tokens.RefreshToken.empty() && tokens.RefreshToken != *refreshToken)
        keyring.Write(key, tokens.RefreshToken);
    return tokens.AccessToken;
}

}  // namespace

std::string AccountKeyringKey(TKeyringItem item, const TSettings& settings) {
    return KeyringKey(item, settings.User, settings.Connection.Host, settings.Connection.Port);
}

TOAuthConfig OAuthConfigOf(const TOAuthSource& source) {
    return {source.AuthorizationUrl, source.TokenUrl, source.Scope, source.ClientId,
            source.ClientSecret};
}

std::optional<std::string> RememberedCredential(const TSettings& settings) {
    const TKeyring keyring;
    if (settings.Connection.Authentication == TAuthentication::OAuth2)
        return AccessToken(keyring, settings);
    return Remembered(keyring, AccountKeyringKey(TKeyringItem::Password, settings));
}
