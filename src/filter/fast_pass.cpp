#include "filter/fast_pass.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "filter/examined_record.h"
#include "filter/fast_session.h"
#include "filter/kill_list_store.h"
#include "net/pop3.h"

TFastCheck::TFastCheck(TPop3& pop3, TRegistry& registry, std::string logFile,
                       std::string recordFolder, TDeletionClock clock, TMatchOptions options)
    : pop3_(pop3),
      registry_(registry),
      logFile_(std::move(logFile)),
      recordFolder_(std::move(recordFolder)),
      clock_(std::move(clock)),
      options_(options) {}

void TFastCheck::Login() {
    LoadKillList(registry_, killList_);
    uids_.clear();
    pipelining_ = false;
    if (killList_.empty()) {
        pop3_.Login();  // nothing can be condemned: the listing is all there is to learn
    } else {
        try {
            TFastSignIn signedIn = FastSignIn(pop3_, true);
            pipelining_ = signedIn.Pipelining;
            uids_ = std::move(signedIn.Uids);
        } catch (...) {
            // As a failed classic login: the server must not keep the mailbox locked.
            pop3_.Abort();
            throw;
        }
    }
    listed_ = static_cast<int32_t>(pop3_.Messages.size());
    recordFile_ =
        ExaminedRecord::FileFor(recordFolder_, pop3_.Hostname, pop3_.Port, pop3_.UserName);
}

void TFastCheck::Run(int32_t& mailCount) {
    // As in the kill pass, the log is opened first: one that cannot be opened leaves the
    // server untouched.
    std::optional<TDeletionLog> log;
    std::exception_ptr failure;
    const std::string key = ExaminedRecord::KillListKey(killList_, options_);
    std::set<std::string> examined;
    std::vector<TFastCandidate> candidates;  // the session reads them until it is drained
    std::optional<TFastSession> session;
    try {
        if (listed_ != 0 && !logFile_.empty()) log.emplace(logFile_, clock_);
        if (!uids_.empty()) examined = ExaminedRecord::Load(recordFile_, key);
        candidates = Candidates(examined);
        session.emplace(pop3_, killList_, options_, log ? &*log : nullptr, pipelining_, mailCount);
        session->Examine(candidates);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        End(session ? &*session : nullptr);
        std::rethrow_exception(failure);
    }
    if (!uids_.empty()) {
        examined.insert(session->Kept().begin(), session->Kept().end());
        // A record that cannot be written only means the next check examines everything.
        ExaminedRecord::Save(recordFile_, key, examined);
    }
    if (session->Refusal()) std::rethrow_exception(session->Refusal());
}

std::vector<TFastCandidate> TFastCheck::Candidates(std::set<std::string>& examined) const {
    std::vector<TFastCandidate> candidates;
    std::set<std::string> kept;
    for (const t_reply& entry : pop3_.Messages) {
        const std::string_view id = uids_.Find(entry.Number);
        const auto known = id.empty() ? examined.end() : examined.find(std::string(id));
        if (known != examined.end()) {
            kept.insert(*known);  // still listed, so still remembered
        } else if (!killList_.empty() && pop3_.FitsReplyBound(entry.Size)) {
            // Too large to retrieve: neither examined nor remembered, kept as it is.
            candidates.push_back({entry.Number, entry.Size, id});
        }
    }
    examined = std::move(kept);
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    return candidates;
}

// After a failure. A session in step ends with the logout, which makes the deletions sent so far
// final, as in the kill pass; one out of step is closed at once without logging out, so that no
// deletion whose reply was never understood becomes final. The record stays as it was.
void TFastCheck::End(TFastSession* session) {
    if (!pop3_.HasSocket()) return;
    if (session && !session->Drain()) {
        pop3_.Abort();
        return;
    }
    try {
        pop3_.Logout();
    } catch (...) {
        pop3_.Abort();  // the failure already raised says more than this one
    }
}
