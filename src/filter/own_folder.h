#pragma once

// Files kept in a folder of this user's that nobody else may write. Nothing here follows a
// link: a file or folder planted by someone else can neither be read as ours nor be made to
// receive our writes.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace OwnFolder {

// The folder part and the name part of a path ("." for a bare name).
std::pair<std::string, std::string> Split(const std::string& path);
// Creates the folder and any missing folders above it (0700); false when that fails.
bool Make(const std::string& folder);
// The bytes of a regular file of at most maxBytes; none when the folder is not trusted, the
// file is a link or anything but a regular file, or larger, or cannot be read.
std::optional<std::string> Read(const std::string& folder, const std::string& name,
                                size_t maxBytes);
// Replaces the file at once: written to a new file of its own in the folder, synced, renamed
// over the old one, and the folder synced. False when the folder is not trusted or a step
// fails; the old file is then left as it was.
bool Replace(const std::string& folder, const std::string& name, const std::string& bytes);
// Opens the regular file for reading and writing, creating it (0600) when it is missing; -1
// when the folder is not trusted or the file is a link or anything but a regular file.
int OpenOrCreate(const std::string& folder, const std::string& name);

}  // namespace OwnFolder
