#pragma once

// A new access token from a refresh token, for use right before a check: synchronous, with a
// local event loop (so timers and other events keep being delivered), bounded. Needs a Qt
// application object on the calling thread. Raises EOAuthSignInAgain when the provider
// refuses the refresh token ("invalid_grant": the user must sign in again), EOAuthError for
// anything else (an address the URL rule refuses, no answer within the bound, a network or TLS
// failure, another refusal with the server's error and description). The returned tokens keep
// refreshToken when the server issues no new one.

#include <chrono>
#include <string>

#include "platform/oauth_config.h"

TOAuthTokens RefreshAccessToken(const TOAuthConfig& config, const std::string& refreshToken,
                                std::chrono::milliseconds bound = std::chrono::seconds(30));
