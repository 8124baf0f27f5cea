#pragma once

// What the user can do about a failure the network layer reports. That layer says only what
// went wrong, with its facts; the remedy names this program's dialogs, so it is worded here.

#include <string>

class Exception;

// The remedy that follows the failure's message, beginning with its own separator ("; ..."
// or " ..."); empty for a failure that needs none.
std::string FailureAdvice(const Exception& e);
