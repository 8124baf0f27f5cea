#pragma once

#include <cstdint>
#include <string>

#include "platform/child_process.h"
#include "platform/start_failed.h"

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

// Maps an errno value of a failed start to the classic error number.
uint32_t StartErrorCodeFromErrno(int error);
