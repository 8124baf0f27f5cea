#pragma once

#include <string>

#include "platform/child_process.h"

// Opens a document (or folder) with the desktop's default application for its type, in
// directory when that is not empty, and returns at once with the started process (one without
// a process when the desktop handed the file to a running instance). Raises EStartFailed.
// A unit of its own because the GIO headers do not mix with Qt's keywords.
TChildProcess OpenWithDefaultApplication(const std::string& path, const std::string& directory);
