#pragma once

// How condemned messages leave an IMAP folder, chosen by what the server offers, so that a
// message nobody condemned is never expunged:
//   into another folder ("Move To"): UID MOVE; else UID COPY, flagged \Deleted and expunged
//     by UID (UIDPLUS); else copied and left flagged;
//   deleted: Gmail, where an expunge only archives: moved to the \Trash folder; else flagged
//     and expunged by UID (UIDPLUS); else moved to the \Trash folder (MOVE); else left
//     flagged \Deleted.
// Never a plain EXPUNGE, which would take every message flagged \Deleted by anyone.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TImap;

class TImapRemoval {
  public:
    // folder: the selected folder as on the wire; moveTo: where the condemned go, as on the
    // wire (empty: deleted).
    TImapRemoval(TImap& imap, std::string folder, std::string moveTo);

    // Removes the messages (one command of each kind for all of them); raises what the
    // commands raise. Returns how many left the folder: all of them, or none when they are
    // only flagged.
    uint32_t Remove(const std::vector<uint32_t>& uids);
    // Whether some condemned messages were only flagged \Deleted since the last call.
    bool TakeLeftFlagged() { return std::exchange(leftFlagged_, false); }

  private:
    // Into the folder by the best means on offer; false when they were only flagged.
    bool MoveTo(const std::vector<uint32_t>& uids, const std::string& folder);
    bool Flag(const std::vector<uint32_t>& uids);
    // The \Trash folder (asked once), unless it is the folder guarded.
    const std::optional<std::string>& Trash();

    TImap& imap_;
    std::string folder_;
    std::string moveTo_;
    std::optional<std::optional<std::string>> trash_;
    bool leftFlagged_ = false;
};
