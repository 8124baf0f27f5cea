#pragma once

// Replacing a file so that a crash at any moment leaves either the old or the new bytes.

#include <string>
#include <string_view>

// Replaces the file name in the open folder at once: the bytes go to a new file of its own
// beside it (under a name nobody can have foreseen, never through a link, with the old file's
// permission bits or else 0600), which is synced and renamed over name; then the folder is
// synced. False when a step up to the rename fails, errno then telling why; the old file is
// then as it was and the new one is gone. A folder that cannot be synced only makes the
// replacement less durable.
bool ReplaceFileDurably(int folder, const std::string& name, std::string_view bytes);
