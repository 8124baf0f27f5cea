#include "filter/fast_session.h"

#include "filter/deletion_log.h"
#include "filter/kill_pass.h"
#include "filter/match.h"
#include "net/pop3.h"

FastSession::FastSession(TPop3& pop3, const TStringList& killList, const TMatchOptions& options,
                         DeletionLog* log, bool pipelining, int32_t& mailCount)
    : pop3_(pop3),
      killList_(killList),
      options_(options),
      log_(log),
      pipelining_(pipelining),
      mailCount_(mailCount) {}

void FastSession::Examine(const std::vector<FastCandidate>& candidates) {
    candidates_ = &candidates;
    Proceed();
    while (!owed_.empty()) {
        ReadNext();
        Proceed();
    }
}

// Sends what may go now: the next DELE once the one before it is answered, more RETRs, and
// QUIT once nothing else is owed or left to send.
void FastSession::Proceed() {
    while (!deleInFlight_ && !condemned_.empty()) SendDele();
    TopUp();
    if (owed_.empty() && !quitSent_) {
        quitSent_ = true;
        Send({"QUIT"}, {{Kind::Quit, 0}});
    }
}

// Refills the window once it is half empty, so commands go out in batches while replies
// keep coming. A refusal stops further RETRs, and so do too many records waiting.
void FastSession::TopUp() {
    const size_t limit = pipelining_ ? kWindowCommands : 1;
    if (refusal_ || retrInFlight_ > limit / 2 || bytesInFlight_ > kWindowBytes / 2 ||
        heldBytes_ >= kHeldRecordBytes) {
        return;
    }
    std::vector<std::string> lines;
    std::vector<Expected> expected;
    while (next_ < candidates_->size() && retrInFlight_ < limit) {
        const FastCandidate& message = (*candidates_)[next_];
        const int64_t size = message.size > 0 ? message.size : 0;
        if (retrInFlight_ > 0 && bytesInFlight_ + size > kWindowBytes) break;
        lines.push_back("RETR " + std::to_string(message.number));
        expected.push_back({Kind::Retr, next_++});
        ++retrInFlight_;
        bytesInFlight_ += size;
    }
    if (!lines.empty()) Send(std::move(lines), std::move(expected));
}

// Writes the record, then sends its DELE; with QUIT when nothing can follow it.
void FastSession::SendDele() {
    const Condemned message = std::move(condemned_.front());
    condemned_.pop_front();
    heldBytes_ -= message.record.size();
    if (log_) log_->Append(message.record);
    std::vector<std::string> lines{"DELE " + std::to_string(message.number)};
    std::vector<Expected> expected{{Kind::Dele, 0}};
    if (condemned_.empty() && NothingMoreToJudge()) {
        lines.push_back("QUIT");
        expected.push_back({Kind::Quit, 0});
        quitSent_ = true;
    }
    deleInFlight_ = true;
    Send(std::move(lines), std::move(expected));
}

bool FastSession::NothingMoreToJudge() const {
    return refusal_ || (retrInFlight_ == 0 && next_ == candidates_->size());
}

// A reply that fails to read (but for a refusal) leaves the session out of step for good.
void FastSession::ReadNext() {
    const Expected expected = owed_.front();
    owed_.pop_front();
    outOfStep_ = true;
    ReadReply(expected);
    outOfStep_ = false;
}

void FastSession::ReadReply(const Expected& expected) {
    switch (expected.kind) {
        case Kind::Retr:
            ReadRetr(expected.candidate);
            break;
        case Kind::Dele:
            ReadDele();
            break;
        case Kind::Quit:
            pop3_.ReadQuitReply();
            break;
    }
}

// A "-ERR" leaves the session in step; anything else (a lost connection) does not.
static bool Refused(const EProtocolError& e) {
    return e.ErrorCode == 500;
}

// After a refusal the reply is read only to keep the session in step.
void FastSession::ReadRetr(size_t candidate) {
    const FastCandidate& message = (*candidates_)[candidate];
    --retrInFlight_;
    bytesInFlight_ -= message.size > 0 ? message.size : 0;
    try {
        pop3_.ReadRetrieveReply();
    } catch (const EProtocolError& e) {
        if (!Refused(e)) throw;
        Refuse();
        return;
    }
    if (!refusal_) Judge(message);
}

// A refused DELE is the last one: the messages condemned after it stay, unlogged.
void FastSession::ReadDele() {
    deleInFlight_ = false;
    try {
        pop3_.CheckReply();
    } catch (const EProtocolError& e) {
        if (!Refused(e)) throw;
        Refuse();
        condemned_.clear();
        heldBytes_ = 0;
        return;
    }
    --mailCount_;
}

void FastSession::Refuse() {
    if (!refusal_) refusal_ = std::current_exception();
}

// A kept message is remembered; a condemned one waits, with its record, for its DELE.
void FastSession::Judge(const FastCandidate& message) {
    if (!MatchFilters(pop3_.MailText, killList_, options_)) {
        if (!message.uid.empty()) kept_.insert(message.uid);
        return;
    }
    Condemned condemned{message.number, {}};
    if (log_) condemned.record = DeletionRecord(log_->Now(), pop3_.MailText);
    heldBytes_ += condemned.record.size();
    condemned_.push_back(std::move(condemned));
}

// Pipelined: every line in one write, the replies read later. Otherwise one line at a time,
// each reply read before the next line goes (the window holds one RETR, so nothing else is
// owed when a DELE or QUIT is sent).
void FastSession::Send(std::vector<std::string> lines, std::vector<Expected> expected) {
    if (pipelining_) {
        pop3_.SendCommands(lines);
        owed_.insert(owed_.end(), expected.begin(), expected.end());
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        pop3_.SendCommands({lines[i]});
        owed_.push_back(expected[i]);
        if (expected[i].kind != Kind::Retr) ReadNext();
    }
}

bool FastSession::Drain() {
    if (quitSent_ || outOfStep_) return false;
    try {
        while (!owed_.empty()) {
            const Kind kind = owed_.front().kind;
            owed_.pop_front();
            if (kind == Kind::Dele) {
                ReadDele();
                continue;
            }
            try {
                pop3_.ReadRetrieveReply();  // examined no more: the pass has failed
            } catch (const EProtocolError& e) {
                if (!Refused(e)) throw;
            }
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
