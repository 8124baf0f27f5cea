#pragma once

// The record of messages already examined: the unique ids of the messages that a finished
// check retrieved and kept, for one server and user, under one kill list. A record that is
// missing, damaged, unreadable or made under another kill list holds nothing, so every
// message is examined again; it can never make a check skip a message it should examine.
// A record is only read and written in a folder of the user's own that nobody else may
// write, and never through a link; elsewhere every message is simply examined.

#include <cstdint>
#include <set>
#include <string>

#include "base/string_list.h"
#include "filter/match_options.h"

class ExaminedRecord {
  public:
    // $XDG_CACHE_HOME/vornask (~/.cache/vornask when that is unset or empty).
    static std::string DefaultFolder();
    // The one file in folder for this server and user.
    static std::string FileFor(const std::string& folder, const std::string& host, uint16_t port,
                               const std::string& user);
    // A fingerprint of the kill list as stored and the matching options: any change of a rule
    // or an option changes it. With the classic options it is the kill list's alone.
    static std::string KillListKey(const TStringList& killList, const TMatchOptions& options = {});

    // The ids stored under key; none when the file cannot be trusted.
    static std::set<std::string> Load(const std::string& file, const std::string& key);
    // Replaces the file at once (written aside, synced, then renamed over it), creating the
    // folder. False when that fails or the folder is not to be trusted; the old file is then
    // left as it was.
    static bool Save(const std::string& file, const std::string& key,
                     const std::set<std::string>& uids);
};
