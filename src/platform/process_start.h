#pragma once

#include <cstdint>
#include <string>

#include "platform/child_process.h"
#include "platform/start_failed.h"

// Linux desktops give no portable way to ask a new program for a maximised or minimised first
// window, so a start says nothing about it.
struct TStartRequest {
    std::string file;        // program or document; one pair of enclosing quotes is removed
    std::string parameters;  // command line for a program, split into words like a shell
    std::string directory;   // working folder; empty: Vornask's own
};

// Starts a program, or opens a document with the desktop's default application for its type,
// and returns at once with the started process. Raises EStartFailed.
TChildProcess StartProgramOrDocument(const TStartRequest& request);

// Maps an errno value of a failed start to EStartFailed's error number.
uint32_t StartErrorCodeFromErrno(int error);
