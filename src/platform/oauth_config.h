#pragma once

// What an OAuth2 sign-in needs to know about the provider, the providers Vornask knows, the
// rule every authorization and token address must pass, and what a sign-in or a refresh hands
// back. Qt-free.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/exception.h"

// Where an OAuth2 access token comes from: the provider's endpoints and this program's
// registration with it, or a command that prints one.
struct TOAuthConfig {
    std::string AuthorizationUrl;
    std::string TokenUrl;
    std::string Scope;         // blank-separated, sent as it is
    std::string ClientId;      // from the user's own application registration
    std::string ClientSecret;  // optional; sent only when set
    std::string TokenCommand;  // when set, it replaces the provider's flow

    bool operator==(const TOAuthConfig&) const = default;
};

// A provider's fixed addresses and scopes; "Other" has none and leaves them to the user.
struct TOAuthProvider {
    std::string Name;
    std::string AuthorizationUrl;
    std::string TokenUrl;
    std::string Scope;      // for a POP3 mailbox
    std::string ImapScope;  // for an IMAP mailbox
};

// "Google", "Microsoft", "Other", in that order.
const std::vector<TOAuthProvider>& OAuthProviders();

// The result of a sign-in or a refresh.
struct TOAuthTokens {
    std::string AccessToken;
    // When the access token stops working; time_point::max() when the server did not say.
    std::chrono::system_clock::time_point ExpiresAt = std::chrono::system_clock::time_point::max();
    std::string RefreshToken;  // empty when the server issued none
};

// A failed sign-in or refresh, with the text the user is shown.
class EOAuthError : public Exception {
  public:
    using Exception::Exception;
};

// The server refused the refresh token ("invalid_grant"): the user must sign in again.
class EOAuthSignInAgain : public EOAuthError {
  public:
    using EOAuthError::EOAuthError;
};

// Authorization and token addresses must be https, or http to a loopback address (127.0.0.0/8
// or ::1; a name such as "localhost" is not enough). Nothing when the address is allowed, else
// why not, naming what (e.g. "The token URL").
std::optional<std::string> OAuthUrlRefusal(const std::string& what, const std::string& url);

// The same rule, raising EOAuthError; used before every request.
void CheckOAuthUrl(const std::string& what, const std::string& url);
