#include "filter/kill_pass.h"

#include <exception>
#include <optional>

#include "filter/deletion_log.h"
#include "filter/deletion_stamp.h"
#include "filter/kill_list_store.h"
#include "filter/match.h"
#include "net/pop3.h"

namespace {

// A message listed larger than any reply the connection takes is left alone at every pass,
// neither logged nor deleted. Message n is normally the n-th listed, so it is looked for there
// first: a long listing is not searched once per message.
bool TooLargeToExamine(const TPop3& pop3, int32_t n) {
    const auto index = static_cast<size_t>(n) - 1;
    if (n > 0 && index < pop3.Messages.size() && pop3.Messages[index].Number == n)
        return !pop3.FitsReplyBound(pop3.Messages[index].Size);
    for (const t_reply& entry : pop3.Messages) {
        if (entry.Number == n) return !pop3.FitsReplyBound(entry.Size);
    }
    return false;
}

void RunPass(TPop3& pop3, TRegistry& registry, const std::string& logFile, int32_t& mailCount,
             const TDeletionClock& clock, const TMatchOptions& options) {
    // The log is opened first, so a log that cannot be opened leaves the server untouched.
    std::optional<TDeletionLog> log;
    if (!logFile.empty()) log.emplace(logFile, clock);
    TStringList killList;
    LoadKillList(registry, killList);
    pop3.Login();
    // The header read's count; messages that arrived since wait for the next pass.
    const auto count = static_cast<int32_t>(pop3.MailText.size());
    for (int32_t n = 1; n <= count; ++n) {
        if (TooLargeToExamine(pop3, n)) continue;
        pop3.RetrieveMessage(n);
        if (!MatchFilters(pop3.MailText, killList, options)) continue;
        if (log) LogDeletion(*log, pop3.MailText);
        pop3.DeleteMessage(n);
        --mailCount;
    }
}

}  // namespace

void KillPass(TPop3& pop3, TRegistry& registry, const std::string& logFile, int32_t& mailCount,
              const TMatchOptions& options) {
    KillPass(pop3, registry, logFile, mailCount, TDeletionClock(), options);
}

void KillPass(TPop3& pop3, TRegistry& registry, const std::string& logFile, int32_t& mailCount,
              const TDeletionClock& clock, const TMatchOptions& options) {
    std::exception_ptr failure;
    try {
        RunPass(pop3, registry, logFile, mailCount, clock, options);
    } catch (...) {
        failure = std::current_exception();
    }
    // Logging out makes the deletions final, however the pass ended. Its error counts only when
    // there was a session to end; without one it would hide why the pass never got that far.
    const bool sessionOpen = pop3.HasSocket();
    try {
        pop3.Logout();
    } catch (...) {
        if (!failure || sessionOpen) throw;
    }
    if (failure) std::rethrow_exception(failure);
}

void LogDeletion(TDeletionLog& log, TLineBuffer& lines) {
    log.Append(DeletionRecord(log.Now(), lines));
}

std::string DeletionRecord(std::time_t when, TLineBuffer& lines) {
    lines.push_front(DeletionStamp(when));
    std::string block;
    for (const std::string_view line : lines) {
        block += line;
        block += "\r\n";
    }
    return block;
}
