#pragma once

#include <cstdint>
#include <string>

#include "base/exception.h"
#include "platform/child_process.h"

// A start that failed; Code is the classic shell-start error number (2 file not found,
// 3 path not found, 5 access denied, 8 out of memory, 11 bad executable, 31 no association,
// 0 anything else), the message says what the system reported.
class EStartFailed : public Exception {
  public:
    EStartFailed(uint32_t code, std::string message) : Exception(std::move(message)), Code(code) {}
    uint32_t Code;
};

// Show commands: 1 normal, 2 minimised, 3 maximised.
struct TStartRequest {
    std::string file;        // program or document; one pair of enclosing quotes is removed
    std::string parameters;  // command line for a program, split into words like a shell
    std::string directory;   // working folder; empty: Vornask's own
    int showCommand = 1;     // carried for completeness: Linux desktops give no portable way to
                             // ask a new program for a maximised or minimised first window
};

// Starts a program, or opens a document with the desktop's default application for its type,
// and returns at once with the started process. Raises EStartFailed.
TChildProcess StartProgramOrDocument(const TStartRequest& request);

// Opens a document (or folder) with its default application. Defined in its own unit because
// the GIO headers do not mix with Qt's keywords. Raises EStartFailed.
TChildProcess OpenWithDefaultApplication(const std::string& path, const std::string& directory);

// Maps an errno value of a failed start to the classic error number.
uint32_t StartErrorCodeFromErrno(int error);
