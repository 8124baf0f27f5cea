#pragma once

#include <cstdint>
#include <string>

#include "base/exception.h"

// A start that failed; Code is the shell-start error number (2 file not found,
// 3 path not found, 5 access denied, 8 out of memory, 11 bad executable, 31 no association,
// 0 anything else), the message says what the system reported.
class EStartFailed : public Exception {
  public:
    EStartFailed(uint32_t code, std::string message) : Exception(std::move(message)), Code(code) {}
    uint32_t Code;
};
