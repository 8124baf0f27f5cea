#pragma once

// The credential a check takes when nobody types one: the password remembered in the desktop
// keyring, or for OAuth2 an access token from the user's token command or from the refresh
// token the keyring holds. Never opens a browser. Needs a Qt application object on the calling
// thread (the keyring and the refresh wait in a local event loop).

#include <optional>
#include <string>

#include "platform/keyring.h"
#include "platform/oauth_config.h"

struct TSettings;
struct TOAuthSource;

inline constexpr const char* kNoPasswordText =
    "No password: use --password-stdin, or remember the password in Mail Options.";

// The password, or with OAuth2 the access token, for the settings' account; nothing when none
// is remembered (or the keyring cannot be reached). Raises ETokenCommandError when the token
// command fails and EOAuthError when the refresh does. A refresh token the provider replaces is
// kept in the keyring for the next check.
std::optional<std::string> RememberedCredential(const TSettings& settings);

// The settings' account's item in the desktop keyring.
std::string AccountKeyringKey(TKeyringItem item, const TSettings& settings);
// The provider's side of an OAuth2 source, as the sign-in and the refresh take it.
TOAuthConfig OAuthConfigOf(const TOAuthSource& source);
