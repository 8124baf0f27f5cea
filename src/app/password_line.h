#pragma once

// The one line --password-stdin takes: a password or an access token, read with a bound so
// that no input can take the memory, and refused when it holds what must never reach the
// server's command line.

#include <cstddef>
#include <istream>
#include <optional>
#include <string>

#include "base/exception.h"

// A line that is too long or holds a NUL or a carriage return inside it.
class EPasswordLine : public Exception {
  public:
    using Exception::Exception;
};

// An OAuth2 access token is at most 16 KiB here; a password far less.
inline constexpr std::size_t kMaxPasswordLineBytes = 64 * 1024;

// The first line of input without its end ("\n", "\r\n" or the end of input); nothing when
// the input is empty. Reads no further than the bound; raises EPasswordLine.
std::optional<std::string> ReadPasswordLine(std::istream& input);
