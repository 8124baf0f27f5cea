#pragma once

// The record of what IMAP passes examined in one folder: under one kill list and one
// UIDVALIDITY, every message whose UID is below a mark (UIDs only grow, so a mark is all it
// takes). A record that is missing, damaged, unreadable, made under another kill list or kept
// where it cannot be trusted holds nothing, and the folder is then met as for the first time.
// It lives beside the POP3 records, under the same rules (see ExaminedRecord and OwnFolder).

#include <cstdint>
#include <optional>
#include <string>

struct TImapMark {
    uint32_t UidValidity = 0;
    uint64_t Below = 1;  // every UID below this one was examined (UIDs start at 1)
    bool operator==(const TImapMark&) const = default;
};

class ImapRecord {
  public:
    // The one file in folder for this server, user and folder (named as on the wire).
    static std::string FileFor(const std::string& folder, const std::string& host, uint16_t port,
                               const std::string& user, const std::string& mailbox);
    // The mark stored under key (ExaminedRecord::KillListKey); none when the file cannot be
    // trusted or holds another key.
    static std::optional<TImapMark> Load(const std::string& file, const std::string& key);
    // Replaces the file at once (written aside, synced, renamed), creating the folder. False
    // when that fails or the folder is not to be trusted; the old file is then as it was.
    static bool Save(const std::string& file, const std::string& key, const TImapMark& mark);
};
