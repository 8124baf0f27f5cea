#pragma once

// One pass over an IMAP folder: the messages not examined yet (known by UIDVALIDITY and UID)
// are fetched without setting \Seen, judged by the kill list, each condemned one logged before
// it is touched, then removed (expunged by UID, or moved to Trash or to the chosen folder), and
// the unseen messages left are counted. A folder met for the first time has only its unseen
// messages and those of the last days examined; the rest count as examined unfetched.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/line_buffer.h"
#include "base/string_list.h"
#include "filter/deletion_log.h"
#include "filter/match_options.h"
#include "net/imap.h"

class TRegistry;
class TImapRemoval;

struct TImapPassSettings {
    std::string Folder;        // as the user wrote it; empty: INBOX
    std::string MoveTo;        // as the user wrote it; empty: condemned messages are deleted
    std::string LogFile;       // empty: no log
    std::string RecordFolder;  // where the records of examined messages are kept; empty: the
                               // default folder of ExaminedRecord
    TMatchOptions Options;
    TDeletionClock Clock;  // stamps the log records and dates the first pass; empty: the system's
    int FirstPassDays = 7;
    // How long a pass waits for another pass over the same folder to end (EPassBusy after).
    std::chrono::milliseconds LockWait{60000};
    // The UIDs fetched (and their condemned removed) per command. Only one message is held at a
    // time whatever the size; fewer, larger chunks spare the server expunges.
    size_t ChunkSize = 25000;
    // The most messages one pass examines; the rest wait for the next pass, unrecorded.
    size_t MaxPerPass = 50000;
    // The most messages one SEARCH covers: a larger folder is searched in windows of message
    // numbers, so that no answer outgrows the longest line the client takes.
    uint32_t SearchWindow = 50000;
};

struct TImapPassCounts {
    uint32_t Examined = 0;    // messages fetched and judged by this pass
    uint32_t Condemned = 0;   // of those, condemned (and logged)
    uint32_t Removed = 0;     // condemned messages that left the folder
    uint32_t UnseenLeft = 0;  // unseen messages left in the folder, not flagged \Deleted
    // The server could neither expunge by UID nor move: the condemned are left flagged \Deleted.
    bool LeftFlagged = false;
    // More messages were waiting than one pass examines; the next pass goes on.
    bool MoreWaiting = false;
};

class TImapPass {
  public:
    // imap is connected and signed in; the kill list is read from registry at each Run.
    TImapPass(TImap& imap, TRegistry& registry, TImapPassSettings settings);
    ~TImapPass();

    // Opens the folder read-write (SELECT); refused (EProtocolError, kRefusedReply) when the
    // server does not open it read-write, and before anything is sent when MoveTo names the
    // folder itself. Again after a new connection.
    void Open();
    // Examines what is new since the last pass of any session on this folder under the same
    // kill list, logs, removes, records and counts. Needs Open; may be called again on the same
    // connection (after IDLE reported new mail). Passes of one folder never overlap, in this
    // program or another (EPassBusy when the other goes on past LockWait). Raises what the
    // client and the deletion log raise; whatever was examined and removed before a failure
    // stays recorded.
    TImapPassCounts Run();

  private:
    struct TCandidates;
    TCandidates FirstCandidates();
    TCandidates LaterCandidates(uint64_t below);
    void Cap(TCandidates& candidates) const;
    // Fetches, judges, logs and removes one chunk of UIDs.
    void Examine(const std::vector<uint32_t>& chunk, const TStringList& killList, TDeletionLog* log,
                 TImapPassCounts& counts);
    void Examine(const TStringList& killList, TImapPassCounts& counts);
    void Record(const std::string& key, uint64_t below);
    std::string SinceDate() const;

    TImap& imap_;
    TRegistry& registry_;
    TImapPassSettings settings_;
    std::string folder_;      // as on the wire
    std::string recordFile_;  // empty until Open
    TImapFolderState state_;
    std::unique_ptr<TImapRemoval> removal_;
    TLineBuffer lines_;  // the message being judged
    // Without UIDVALIDITY nothing is stored; this connection's passes still go on from here.
    std::string sessionKey_;
    uint64_t sessionBelow_ = 0;
};
