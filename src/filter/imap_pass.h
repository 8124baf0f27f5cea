#pragma once

// One pass over an IMAP folder: the messages not examined yet (known by UIDVALIDITY and UID)
// are fetched without setting \Seen, judged by the kill list, each condemned one logged before
// it is touched, then removed (expunged by UID, or moved to Trash or to the chosen folder), and
// the unseen messages left are counted. A folder met for the first time has only its unseen
// messages and those of the last days examined; the rest count as examined unfetched.

#include <cstdint>
#include <string>

#include "filter/deletion_log.h"
#include "filter/match_options.h"

class TImap;
class TRegistry;

struct TImapPassSettings {
    std::string Folder;        // as the user wrote it; empty: INBOX
    std::string MoveTo;        // as the user wrote it; empty: condemned messages are deleted
    std::string LogFile;       // empty: no log
    std::string RecordFolder;  // where the records of examined messages are kept
    TMatchOptions Options;
    TDeletionClock Clock;  // stamps the log records; empty: the system clock
    int FirstPassDays = 7;
};

struct TImapPassCounts {
    uint32_t Examined = 0;    // messages fetched and judged by this pass
    uint32_t Condemned = 0;   // of those, condemned (and logged)
    uint32_t Removed = 0;     // condemned messages that left the folder
    uint32_t UnseenLeft = 0;  // unseen messages left in the folder, not flagged \Deleted
    // The server could neither expunge by UID nor move: the condemned are left flagged \Deleted.
    bool LeftFlagged = false;
};

class TImapPass {
  public:
    // imap is connected and signed in; the kill list is read from registry at each Run.
    TImapPass(TImap& imap, TRegistry& registry, TImapPassSettings settings);
    ~TImapPass();

    // Opens the folder read-write (SELECT); refused when the server opens it read-only.
    void Open();
    // Examines what is new since the last pass of any session on this folder under the same
    // kill list, logs, removes, records and counts. Needs Open; may be called again on the same
    // connection (after IDLE reported new mail). Passes of one folder never overlap, in this
    // program or another.
    TImapPassCounts Run();

  private:
    TImap& imap_;
    TRegistry& registry_;
    TImapPassSettings settings_;
};
