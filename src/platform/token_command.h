#pragma once

// An external token helper: runs the user's command line (split into words like a shell, no
// shell started) with no input and returns the first line of its standard output, blanks and
// a trailing CR removed, as the access token. The run is bounded: a command still running
// when the bound passes is killed with its whole process group and reaped. Output past 64 KiB
// a stream is read and dropped, so a chatty helper neither blocks nor fills the memory.
// A failure raises ETokenCommandError saying which (cannot start, exit code or signal, no
// output, time-out) with the first line the command wrote to its standard error, e.g.
// "The token command failed (exit 3): no such account". Qt-free; safe on any thread.

#include <chrono>
#include <string>

#include "base/exception.h"

class ETokenCommandError : public Exception {
  public:
    using Exception::Exception;
};

std::string RunTokenCommand(const std::string& commandLine,
                            std::chrono::milliseconds bound = std::chrono::seconds(30));
