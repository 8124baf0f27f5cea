// The IMAP commands on a folder and its messages by UID: open, search, flag, expunge, move
// and copy.
#include "net/imap.h"
#include "net/imap_text.h"

namespace {

const char* const kProtocol = "IMAP";

// The number of a status code such as [UIDVALIDITY 3857529045]; 0 when it has none.
uint32_t CodeNumber(const TImapResponse& r) {
    return r.Code.size() > 1 ? r.Code[1].Number().value_or(0) : 0;
}

}  // namespace

std::string TImap::FolderArgument(const std::string& folder) {
    const std::optional<std::string> quoted = ImapQuoted(folder);
    if (!quoted)
        throw EProtocolError("The folder name \"" + ImapMessageText(folder) +
                                 "\" cannot be sent; write it as ImapFolderName gives it.",
                             kRefusedReply, kProtocol);
    return *quoted;
}

void TImap::Require(std::string_view capability, const std::string& command) {
    if (Offers(capability)) return;
    throw EProtocolError(
        "The server does not offer " + std::string(capability) + "; " + command + " was not sent.",
        kRefusedReply, kProtocol);
}

TImapFolderState TImap::Select(const std::string& folder) {
    return OpenFolder("SELECT", folder);
}

TImapFolderState TImap::Examine(const std::string& folder) {
    return OpenFolder("EXAMINE", folder);
}

TImapFolderState TImap::OpenFolder(const char* command, const std::string& folder) {
    TImapFolderState state;
    const auto take = [&state, this](TImapResponse& r) {
        if (ImapWordIs(r.DataName(), "EXISTS") && r.DataNumber()) {
            state.Exists = News.Exists = *r.DataNumber();
            return true;
        }
        if (r.IsStatus("OK") && r.HasCode("UIDVALIDITY")) state.UidValidity = CodeNumber(r);
        if (r.IsStatus("OK") && r.HasCode("UIDNEXT")) state.UidNext = CodeNumber(r);
        return r.HasCode("UIDVALIDITY") || r.HasCode("UIDNEXT");
    };
    const TImapResponse done = Command({std::string(command) + " " + FolderArgument(folder)}, take);
    state.ReadWrite = done.HasCode("READ-WRITE");
    return state;
}

std::vector<uint32_t> TImap::UidSearch(const std::string& criteria) {
    std::vector<uint32_t> uids;
    Command({"UID SEARCH " + criteria}, [&uids](TImapResponse& r) {
        if (!ImapWordIs(r.DataName(), "SEARCH")) return false;
        for (size_t i = 1; i < r.Items.size(); ++i)
            if (const std::optional<uint32_t> uid = r.Items[i].Number()) uids.push_back(*uid);
        return true;
    });
    return uids;
}

void TImap::UidCommand(const std::string& command, const std::vector<uint32_t>& uids,
                       const std::string& tail, const Handler& onUntagged) {
    for (const std::string& set : ImapUidSets(uids))
        Command({command + " " + set + tail}, onUntagged);
}

void TImap::UidStoreDeleted(const std::vector<uint32_t>& uids) {
    UidCommand("UID STORE", uids, " +FLAGS.SILENT (\\Deleted)");
}

void TImap::UidExpunge(const std::vector<uint32_t>& uids) {
    Require("UIDPLUS", "UID EXPUNGE");
    UidCommand("UID EXPUNGE", uids, "");
}

void TImap::UidMove(const std::vector<uint32_t>& uids, const std::string& folder) {
    Require("MOVE", "UID MOVE");
    UidCommand("UID MOVE", uids, " " + FolderArgument(folder));
}

void TImap::UidCopy(const std::vector<uint32_t>& uids, const std::string& folder) {
    UidCommand("UID COPY", uids, " " + FolderArgument(folder));
}
