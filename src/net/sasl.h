#pragma once

// The SASL pieces of a POP3 sign-in (RFC 5034): which mechanism to use, the client's response
// for each, and what an error challenge says. No connection here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/connection.h"

namespace Sasl {

// The mechanism the way of signing in uses among those offered (upper case, as CAPA's SASL
// line lists them): PLAIN for SaslPlain; OAUTHBEARER, else XOAUTH2, for OAuth2. Nothing when
// none of them is offered.
std::optional<std::string> Choose(TAuthentication authentication,
                                  const std::vector<std::string>& offered);

// Why the sign-in cannot start: "The server does not offer sign-in with PLAIN (it offers:
// LOGIN)." or "... (it offers no SASL sign-in)."
std::string NotOfferedText(TAuthentication authentication, const std::vector<std::string>& offered);

struct TCredentials {
    std::string User;
    std::string Secret;  // the password for PLAIN, the access token otherwise
    std::string Host;    // OAUTHBEARER names the server it signs in to
    uint16_t Port = 0;
};

// The client's response to the server's first "+", before base64.
std::string Response(const std::string& mechanism, const TCredentials& credentials);

// What the client answers an error challenge with, before base64: nothing for XOAUTH2, a
// lone 0x01 for OAUTHBEARER (RFC 7628), so the server ends the exchange with its -ERR.
std::string ErrorChallengeAnswer(const std::string& mechanism);

// The "status" of an error challenge's JSON (base64 text as sent after "+ "), printable and
// at most 64 characters; empty when there is none.
std::string ChallengeStatus(const std::string& base64Challenge);

}  // namespace Sasl
