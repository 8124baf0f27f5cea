#include "filter/imap_pass.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <optional>

#include "filter/examined_record.h"
#include "filter/fetched_message.h"
#include "filter/imap_record.h"
#include "filter/imap_removal.h"
#include "filter/imap_search.h"
#include "filter/kill_list_store.h"
#include "filter/match.h"
#include "filter/pass_lock.h"
#include "net/imap_text.h"

namespace {

// Log records of one chunk are written together (one sync), up to this much at a time.
constexpr size_t kMaxPendingRecords = size_t{4} << 20;

std::string WireFolder(const std::string& written) {
    const std::string wire = ImapFolderName(written.empty() ? "INBOX" : written);
    return ImapWordIs(wire, "INBOX") ? "INBOX" : wire;  // INBOX is named in any case
}

}  // namespace

// The UIDs to examine, ascending, and the mark to record once all of them are examined.
struct TImapPass::TCandidates {
    std::vector<uint32_t> Uids;
    uint64_t Below = 1;
    bool Cut = false;
};

TImapPass::TImapPass(TImap& imap, TRegistry& registry, TImapPassSettings settings)
    : imap_(imap), registry_(registry), settings_(std::move(settings)) {
    if (settings_.RecordFolder.empty()) settings_.RecordFolder = ExaminedRecord::DefaultFolder();
    settings_.ChunkSize = std::max<size_t>(settings_.ChunkSize, 1);
    settings_.MaxPerPass = std::max<size_t>(settings_.MaxPerPass, 1);
    settings_.SearchWindow = std::max<uint32_t>(settings_.SearchWindow, 1);
}

TImapPass::~TImapPass() = default;

void TImapPass::Open() {
    folder_ = WireFolder(settings_.Folder);
    recordFile_.clear();
    sessionBelow_ = 0;
    const std::string moveTo = settings_.MoveTo.empty() ? "" : WireFolder(settings_.MoveTo);
    // Moved into the folder they are in, they would come back under new UIDs at every pass.
    if (moveTo == folder_)
        throw EProtocolError("Condemned messages cannot be moved to \"" + ImapMessageText(folder_) +
                                 "\", the folder that is guarded.",
                             kRefusedReply, "IMAP");
    state_ = imap_.Select(folder_);
    if (!state_.ReadWrite)
        throw EProtocolError("The server opened the folder \"" + ImapMessageText(folder_) +
                                 "\" read-only; nothing there can be removed.",
                             kRefusedReply, "IMAP");
    recordFile_ = ImapRecord::FileFor(settings_.RecordFolder, imap_.Hostname, imap_.Port,
                                      imap_.UserName, folder_);
    removal_ = std::make_unique<TImapRemoval>(imap_, folder_, moveTo);
}

TImapPassCounts TImapPass::Run() {
    if (recordFile_.empty())
        throw EProtocolError("No folder is open for the pass.", kRefusedReply, "IMAP");
    const TPassLock lock(recordFile_ + ".lock", settings_.LockWait,
                         ImapMessageText(folder_) + " of " + imap_.UserName);
    TStringList killList;
    LoadKillList(registry_, killList);
    TImapPassCounts counts;
    // With no rules nothing can be condemned: there is nothing to fetch, and nothing recorded.
    if (!killList.empty()) Examine(killList, counts);
    counts.UnseenLeft = ImapSearchCount(imap_, "UNSEEN UNDELETED", settings_.SearchWindow);
    counts.LeftFlagged = removal_->TakeLeftFlagged();
    return counts;
}

// A folder without UIDVALIDITY promises nothing about its UIDs beyond this connection: a
// stored mark could make a later session skip new messages that took old numbers. So such a
// folder is met as for the first time by every session, and only this connection's later
// passes go on from where the last one stopped.
void TImapPass::Examine(const TStringList& killList, TImapPassCounts& counts) {
    const std::string key = ExaminedRecord::KillListKey(killList, settings_.Options);
    std::optional<uint64_t> below;
    if (state_.UidValidity != 0) {
        const std::optional<TImapMark> mark = ImapRecord::Load(recordFile_, key);
        if (mark && mark->UidValidity == state_.UidValidity) below = mark->Below;
    } else if (sessionBelow_ != 0 && sessionKey_ == key) {
        below = sessionBelow_;
    }
    TCandidates candidates = below ? LaterCandidates(*below) : FirstCandidates();
    Cap(candidates);
    counts.MoreWaiting = candidates.Cut;
    // Opened first: a log that cannot be opened leaves the folder untouched.
    std::optional<TDeletionLog> log;
    if (!candidates.Uids.empty() && !settings_.LogFile.empty())
        log.emplace(settings_.LogFile, settings_.Clock);
    const std::vector<uint32_t>& uids = candidates.Uids;
    for (size_t at = 0; at < uids.size(); at += settings_.ChunkSize) {
        const size_t end = std::min(uids.size(), at + settings_.ChunkSize);
        try {
            Examine({uids.begin() + at, uids.begin() + end}, killList, log ? &*log : nullptr,
                    counts);
        } catch (...) {
            // The chunks before this one are done: the next pass starts at this one.
            if (at != 0 || below) Record(key, uids[at]);
            throw;
        }
    }
    if (below != candidates.Below) Record(key, candidates.Below);  // unchanged: no synced write
}

void TImapPass::Examine(const std::vector<uint32_t>& chunk, const TStringList& killList,
                        TDeletionLog* log, TImapPassCounts& counts) {
    std::vector<uint32_t> condemned;
    std::string records;
    std::exception_ptr failure;
    // A failure while the answer streams in must not leave the rest of it unread.
    imap_.UidFetchMessages(chunk, [&](uint32_t uid, std::string_view message) {
        if (failure) return;
        try {
            ++counts.Examined;
            FetchedLines(message, lines_);
            if (!MatchFilters(lines_, killList, settings_.Options)) return;
            if (log) {
                records += FetchedRecord(log->Now(), message);
                if (records.size() >= kMaxPendingRecords) {
                    log->Append(records);
                    records.clear();
                }
            }
            condemned.push_back(uid);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    lines_ = TLineBuffer();  // one large message keeps no memory past its chunk
    if (failure) std::rethrow_exception(failure);
    if (log && !records.empty()) log->Append(records);
    counts.Condemned += static_cast<uint32_t>(condemned.size());
    counts.Removed += removal_->Remove(condemned);
}

// Everything up to the highest UID now counts as examined, bar the unseen and the recent.
TImapPass::TCandidates TImapPass::FirstCandidates() {
    TCandidates candidates;
    // Every UID below UIDNEXT was given before the folder was opened; only without it is the
    // highest one asked for.
    uint32_t highest = state_.UidNext == 0 ? 0 : state_.UidNext - 1;
    if (state_.UidNext == 0) {
        const std::vector<uint32_t> last = imap_.UidSearch("UID *");
        highest = last.empty() ? 0 : *std::max_element(last.begin(), last.end());
    }
    candidates.Uids = ImapSearchAll(imap_, "OR UNSEEN SINCE " + SinceDate(), settings_.MaxPerPass,
                                    settings_.SearchWindow);
    const uint32_t top = candidates.Uids.empty() ? 0 : candidates.Uids.back();
    candidates.Below = uint64_t{std::max(highest, top)} + 1;
    return candidates;
}

// "n:*" always takes in the last message, even one below n: that one is left out.
TImapPass::TCandidates TImapPass::LaterCandidates(uint64_t below) {
    TCandidates candidates;
    candidates.Below = below;
    if (below > UINT32_MAX) return candidates;
    std::vector<uint32_t> found = ImapSearchAll(imap_, "UID " + std::to_string(below) + ":*",
                                                settings_.MaxPerPass, settings_.SearchWindow);
    std::erase_if(found, [below](uint32_t uid) { return uid < below; });
    if (!found.empty()) candidates.Below = uint64_t{found.back()} + 1;
    candidates.Uids = std::move(found);
    return candidates;
}

// The messages beyond the cap are neither examined nor recorded: the next pass starts at the
// first of them (and, after a first pass, then also examines the older read messages above it).
void TImapPass::Cap(TCandidates& candidates) const {
    if (candidates.Uids.size() <= settings_.MaxPerPass) return;
    candidates.Below = candidates.Uids[settings_.MaxPerPass];
    candidates.Uids.resize(settings_.MaxPerPass);
    candidates.Cut = true;
}

// A record that cannot be written only means the next pass examines more.
void TImapPass::Record(const std::string& key, uint64_t below) {
    if (state_.UidValidity != 0) {
        ImapRecord::Save(recordFile_, key, {state_.UidValidity, below});
    } else {
        sessionKey_ = key;
        sessionBelow_ = below;
    }
}

std::string TImapPass::SinceDate() const {
    const std::time_t now = settings_.Clock ? settings_.Clock() : std::time(nullptr);
    const std::time_t since = now - std::time_t{86400} * std::max(settings_.FirstPassDays, 0);
    std::tm day{};
    ::localtime_r(&since, &day);
    return ImapDate(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
}
