#pragma once

#include <string_view>

// Writes every byte to a file descriptor, going on after interruptions and short writes.
// False when the system refuses (a full disk, a closed pipe); errno then tells why.
bool WriteAll(int fd, std::string_view data);
