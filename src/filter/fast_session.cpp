#include "filter/fast_session.h"

#include "filter/deletion_log.h"
#include "filter/kill_pass.h"
#include "filter/match.h"
#include "net/pop3.h"

using TCommand = TPop3Pipeline::TCommand;
using TOutcome = TPop3Pipeline::TOutcome;

TFastSession::TFastSession(TPop3& pop3, const TStringList& killList, const TMatchOptions& options,
                           TDeletionLog* log, bool pipelining, int32_t& mailCount)
    : pop3_(pop3),
      pipeline_(pop3),
      killList_(killList),
      options_(options),
      log_(log),
      pipelining_(pipelining),
      mailCount_(mailCount),
      window_(pipelining) {}

TFastSignIn FastSignIn(TPop3& pop3, bool withUids) {
    pop3.Greet();
    const std::vector<std::string> capabilities = pop3.Capabilities();
    TFastSignIn signedIn;
    signedIn.Pipelining = Offers(capabilities, kPipeliningCapability);
    signedIn.Uids =
        pop3.Authenticate(signedIn.Pipelining, withUids && Offers(capabilities, kUidlCapability));
    return signedIn;
}

void TFastSession::Examine(const std::vector<TFastCandidate>& candidates) {
    candidates_ = &candidates;
    Proceed();
    while (pipeline_.Owed() != 0) {
        ReadNext();
        Proceed();
    }
}

// Sends what may go now. Pipelined, the batch of deletions goes when the window is due for a
// refill (in the same write as the retrievals), when its records grow large, or when every
// message is judged; one at a time, as soon as a message is condemned. The logout goes with the
// last batch, or once nothing else is owed. After a refusal only the logout may still go.
void TFastSession::Proceed() {
    if (!refusal_) {
        const bool refill = RefillDue();
        if (!condemned_.empty() &&
            (refill || !pipelining_ || heldBytes_ >= kHeldRecordBytes || AllJudged())) {
            QueueDeletions();
            if (!pipelining_) Flush();  // a refused deletion must stop the next retrieval
        }
        if (!refusal_ && RefillDue()) QueueRetrievals();
        if (!refusal_ && condemned_.empty() && AllJudged() && !quitQueued_) {
            quitQueued_ = true;
            pipeline_.Quit();
        }
    }
    if (pipeline_.Owed() == 0 && pipeline_.Queued() == 0 && !quitQueued_) {
        quitQueued_ = true;
        pipeline_.Quit();
    }
    Flush();
}

bool TFastSession::RefillDue() const {
    return window_.RefillDue(answered_, candidates_->size());
}

void TFastSession::QueueRetrievals() {
    const std::vector<TFastCandidate>& candidates = *candidates_;
    window_.Fill(
        answered_, candidates.size(), [&](size_t i) { return candidates[i].size; },
        [&](size_t i) { pipeline_.Retrieve(candidates[i].number); });
}

// The batch's records are written and made durable in one piece before any of its deletions
// is queued: no message is deleted unlogged.
void TFastSession::QueueDeletions() {
    if (log_) {
        std::string records;
        records.reserve(heldBytes_);
        for (const TCondemned& message : condemned_) records += message.record;
        log_->Append(records);
    }
    for (const TCondemned& message : condemned_) pipeline_.Delete(message.number);
    condemned_.clear();
    heldBytes_ = 0;
}

bool TFastSession::AllJudged() const {
    return window_.Next() == answered_ && answered_ == candidates_->size();
}

// Pipelined: every queued command in one write, the replies read later. Otherwise one command
// at a time, a deletion's or logout's reply read before the next goes (the window holds one
// retrieval, so nothing else is owed then).
void TFastSession::Flush() {
    if (pipelining_) {
        pipeline_.Flush();
        return;
    }
    while (pipeline_.Queued() != 0) {
        if (pipeline_.FlushOne() != TCommand::Retrieve) ReadNext();
    }
}

void TFastSession::ReadNext() {
    const TPop3Pipeline::TReply reply = pipeline_.ReadNext();
    if (reply.Command == TCommand::Retrieve) TakeRetrieved(reply);
    if (reply.Command == TCommand::Delete) TakeDeleted(reply);
}

// After a refusal the reply is read only to keep the session in step.
void TFastSession::TakeRetrieved(const TPop3Pipeline::TReply& reply) {
    const TFastCandidate& message = (*candidates_)[answered_++];
    window_.Answered(message.size);
    if (reply.Outcome == TOutcome::Refused) {
        Refuse(reply.Refusal);
    } else if (!refusal_) {
        Judge(message);
    }
}

void TFastSession::TakeDeleted(const TPop3Pipeline::TReply& reply) {
    if (reply.Outcome == TOutcome::Refused)
        Refuse(reply.Refusal);
    else
        --mailCount_;
}

// The messages condemned and not yet sent for deletion stay, unlogged.
void TFastSession::Refuse(const std::exception_ptr& refusal) {
    if (!refusal_) refusal_ = refusal;
    condemned_.clear();
    heldBytes_ = 0;
}

// A kept message is remembered; a condemned one waits, with its record, for its batch.
void TFastSession::Judge(const TFastCandidate& message) {
    if (!MatchFilters(pop3_.MailText, killList_, options_)) {
        if (!message.uid.empty()) kept_.emplace(message.uid);
        return;
    }
    TCondemned condemned{message.number, {}};
    if (log_) condemned.record = DeletionRecord(log_->Now(), pop3_.MailText);
    heldBytes_ += condemned.record.size();
    condemned_.push_back(std::move(condemned));
}

// The retrieved messages are examined no more: the pass has failed.
bool TFastSession::Drain() {
    return pipeline_.Drain([this](const TPop3Pipeline::TReply& reply) {
        if (reply.Command == TCommand::Delete) TakeDeleted(reply);
    });
}
