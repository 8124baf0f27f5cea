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
      mailCount_(mailCount) {}

void TFastSession::Examine(const std::vector<TFastCandidate>& candidates) {
    candidates_ = &candidates;
    Proceed();
    while (pipeline_.Owed() != 0) {
        ReadNext();
        Proceed();
    }
}

// Sends what may go now: the next deletion once the one before it is answered, more retrievals, and
// the logout once nothing else is owed or left to send.
void TFastSession::Proceed() {
    while (!deleInFlight_ && !condemned_.empty()) SendDele();
    TopUp();
    if (pipeline_.Owed() == 0 && !quitQueued_) {
        quitQueued_ = true;
        pipeline_.Quit();
        Flush();
    }
}

// Refills the window once it is half empty, so commands go out in batches while replies
// keep coming. A refusal stops further retrievals, and so do too many records waiting.
void TFastSession::TopUp() {
    const size_t limit = pipelining_ ? kWindowCommands : 1;
    if (refusal_ || next_ - answered_ > limit / 2 || bytesInFlight_ > kWindowBytes / 2 ||
        heldBytes_ >= kHeldRecordBytes) {
        return;
    }
    bool queued = false;
    while (next_ < candidates_->size() && next_ - answered_ < limit) {
        const TFastCandidate& message = (*candidates_)[next_];
        const int64_t size = message.size > 0 ? message.size : 0;
        if (next_ > answered_ && bytesInFlight_ + size > kWindowBytes) break;
        pipeline_.Retrieve(message.number);
        queued = true;
        ++next_;
        bytesInFlight_ += size;
    }
    if (queued) Flush();
}

// Writes the record, then sends its deletion; with the logout when nothing can follow it.
void TFastSession::SendDele() {
    const TCondemned message = std::move(condemned_.front());
    condemned_.pop_front();
    heldBytes_ -= message.record.size();
    if (log_) log_->Append(message.record);
    pipeline_.Delete(message.number);
    if (condemned_.empty() && NothingMoreToJudge()) {
        pipeline_.Quit();
        quitQueued_ = true;
    }
    deleInFlight_ = true;
    Flush();
}

bool TFastSession::NothingMoreToJudge() const {
    return refusal_ || (next_ == answered_ && next_ == candidates_->size());
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
    bytesInFlight_ -= message.size > 0 ? message.size : 0;
    if (reply.Outcome == TOutcome::Refused) {
        Refuse(reply.Refusal);
    } else if (!refusal_) {
        Judge(message);
    }
}

// A refused deletion is the last one: the messages condemned after it stay, unlogged.
void TFastSession::TakeDeleted(const TPop3Pipeline::TReply& reply) {
    deleInFlight_ = false;
    if (reply.Outcome == TOutcome::Refused) {
        Refuse(reply.Refusal);
        condemned_.clear();
        heldBytes_ = 0;
        return;
    }
    --mailCount_;
}

void TFastSession::Refuse(const std::exception_ptr& refusal) {
    if (!refusal_) refusal_ = refusal;
}

// A kept message is remembered; a condemned one waits, with its record, for its deletion.
void TFastSession::Judge(const TFastCandidate& message) {
    if (!MatchFilters(pop3_.MailText, killList_, options_)) {
        if (!message.uid.empty()) kept_.insert(message.uid);
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
