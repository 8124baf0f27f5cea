#pragma once

// What the user can do about a failure the network layer reports. That layer says only what
// went wrong, with its facts; the remedy names this program's dialogs, so it is worded here.

#include <string>

class Exception;

// The remedy that follows the failure's message, beginning with its own separator ("; ..."
// or " ..."); empty for a failure that needs none.
std::string FailureAdvice(const Exception& e);

// The rule an OAuth2 sign-in keeps, in the words a refused check and Mail Options both use.
inline constexpr const char* kOAuthNeedsEncryptionText =
    "OAuth2 sign-in needs an encrypted connection; choose STARTTLS or TLS on connect in Mail "
    "Options.";
