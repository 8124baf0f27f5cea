#include "filter/fast_session.h"

#include "filter/deletion_log.h"
#include "filter/kill_pass.h"
#include "filter/match.h"
#include "net/pop3.h"

FastSession::FastSession(TPop3& pop3, const TStringList& killList, DeletionLog* log,
                         bool pipelining, int32_t& mailCount)
    : pop3_(pop3), killList_(killList), log_(log), pipelining_(pipelining), mailCount_(mailCount) {}

void FastSession::Examine(const std::vector<FastCandidate>& candidates) {
    candidates_ = &candidates;
    TopUp();
    while (!owed_.empty()) {
        ReadNext();
        TopUp();
    }
    Flush(true);
    while (!owed_.empty()) ReadNext();
}

// Refills the window once it is half empty, so commands go out in batches while replies
// keep coming. A refusal stops further RETRs.
void FastSession::TopUp() {
    const size_t limit = pipelining_ ? kWindowCommands : 1;
    if (refusal_ || retrInFlight_ > limit / 2 || bytesInFlight_ > kWindowBytes / 2) return;
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

void FastSession::ReadRetr(size_t candidate) {
    const FastCandidate& message = (*candidates_)[candidate];
    --retrInFlight_;
    bytesInFlight_ -= message.size > 0 ? message.size : 0;
    try {
        pop3_.ReadRetrieveReply();
    } catch (const EProtocolError& e) {
        if (!Refused(e)) throw;
        if (!refusal_) refusal_ = std::current_exception();
        return;
    }
    Judge(message);
}

void FastSession::ReadDele() {
    try {
        pop3_.CheckReply();
    } catch (const EProtocolError& e) {
        if (!Refused(e)) throw;
        if (!refusal_) refusal_ = std::current_exception();
        return;
    }
    --mailCount_;
}

// A kept message is remembered; a condemned one has its record held until its DELE goes.
void FastSession::Judge(const FastCandidate& message) {
    if (!MatchFilters(pop3_.MailText, killList_)) {
        if (!message.uid.empty()) kept_.insert(message.uid);
        return;
    }
    if (log_) heldRecords_ += DeletionRecord(log_->Now(), pop3_.MailText);
    condemned_.push_back(message.number);
    // Bounded batches: one DELE for every condemned message at once could fill the server's
    // input while its replies fill ours, and the write would wait for ever. One at a time,
    // a record waits for nothing: a later DELE might never go out.
    if (!pipelining_ || heldRecords_.size() >= kHeldRecordBytes ||
        condemned_.size() >= kWindowCommands) {
        Flush(false);
    }
}

// Writes the held records to the log, then sends their DELEs (and QUIT when asked) at once.
void FastSession::Flush(bool quit) {
    if (!heldRecords_.empty()) log_->Append(heldRecords_);
    heldRecords_.clear();
    std::vector<std::string> lines;
    std::vector<Expected> expected;
    for (int32_t number : condemned_) {
        lines.push_back("DELE " + std::to_string(number));
        expected.push_back({Kind::Dele, 0});
    }
    condemned_.clear();
    if (quit) {
        lines.push_back("QUIT");
        expected.push_back({Kind::Quit, 0});
        quitSent_ = true;
    }
    if (!lines.empty()) Send(std::move(lines), std::move(expected));
}

// Pipelined: every line in one write, the replies read later. Otherwise one line at a time,
// each reply read before the next line goes (the window holds one RETR, so nothing else is
// owed when DELEs are sent).
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
