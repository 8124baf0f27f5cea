#pragma once

#include <cstddef>
#include <string>

// Writes `count` messages of about `size` bytes with realistic headers straight into the
// maildir's new folder (names sorting in message order); returns the bytes written.
size_t FillMaildir(const std::string& maildir, int count, size_t size);
