#pragma once

// How a failure reads where the user sees it (the tooltip and the error box).

#include <string>

class Exception;

inline constexpr const char* kConnectionLostText = "The connection to the server was lost.";
inline constexpr const char* kEmptyReplyText = "The server sent an empty reply.";

// The exception's message, with every NUL byte shown as U+FFFD (so nothing after it is lost),
// followed by what the user can do about it (FailureAdvice); a protocol error without a
// message says what happened instead.
std::string ShownMessage(const Exception& e);

// ShownMessage with, for a sign-in to be made again, why on a second line: the error box's text.
std::string ShownDetail(const Exception& e);
