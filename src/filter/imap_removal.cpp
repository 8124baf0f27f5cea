#include "filter/imap_removal.h"

#include "net/imap.h"

TImapRemoval::TImapRemoval(TImap& imap, std::string folder, std::string moveTo)
    : imap_(imap), folder_(std::move(folder)), moveTo_(std::move(moveTo)) {}

uint32_t TImapRemoval::Remove(const std::vector<uint32_t>& uids) {
    if (uids.empty()) return 0;
    bool gone = false;
    if (!moveTo_.empty()) {
        gone = MoveTo(uids, moveTo_);
    } else if (imap_.IsGmail()) {
        gone = Trash() ? MoveTo(uids, *Trash()) : Flag(uids);
    } else if (imap_.Offers("UIDPLUS")) {
        imap_.UidStoreDeleted(uids);
        imap_.UidExpunge(uids);
        gone = true;
    } else if (imap_.Offers("MOVE") && Trash()) {
        imap_.UidMove(uids, *Trash());
        gone = true;
    } else {
        gone = Flag(uids);
    }
    return gone ? static_cast<uint32_t>(uids.size()) : 0;
}

bool TImapRemoval::MoveTo(const std::vector<uint32_t>& uids, const std::string& folder) {
    if (imap_.Offers("MOVE")) {
        imap_.UidMove(uids, folder);
        return true;
    }
    imap_.UidCopy(uids, folder);
    if (!imap_.Offers("UIDPLUS")) return Flag(uids);
    imap_.UidStoreDeleted(uids);
    imap_.UidExpunge(uids);
    return true;
}

bool TImapRemoval::Flag(const std::vector<uint32_t>& uids) {
    imap_.UidStoreDeleted(uids);
    leftFlagged_ = true;
    return false;
}

// Moving the Trash's own messages into it would remove nothing.
const std::optional<std::string>& TImapRemoval::Trash() {
    if (!trash_) {
        std::optional<std::string> found = imap_.TrashFolder();
        if (found && *found == folder_) found.reset();
        trash_ = std::move(found);
    }
    return *trash_;
}
