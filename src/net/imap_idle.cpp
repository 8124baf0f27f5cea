// IDLE (RFC 2177): waiting on an open folder for the server to announce new mail.
#include <chrono>

#include "net/imap.h"

void TImap::Idle() {
    const std::string tag = Begin("IDLE");
    SendText(tag + " IDLE\r\n");
    const TImapResponse turn = AwaitTurn(tag, {});
    if (turn.Kind == TImapResponse::TKind::Tagged) throw Refusal(turn);
    idleTag_ = tag;
}

// Only a response that has started is bounded as replies are; the silence before it is the
// caller's to choose.
std::optional<uint32_t> TImap::IdleWait(int timeoutMs) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    const uint64_t seen = News.ExistsSeen;
    Kept.clear();
    keptBytes_ = responses_ = 0;
    for (;;) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (idleTag_.empty() || left <= 0 || !WaitReadable(static_cast<int>(left)))
            return std::nullopt;
        TImapResponse r = ReadResponse();
        if (r.Kind == TImapResponse::TKind::Tagged) {
            if (r.Tag != idleTag_) throw Broken("A response with another tag: " + r.Line);
            idleTag_.clear();  // the server ended IDLE itself
            if (!r.IsStatus("OK")) throw Refusal(r);
            return std::nullopt;
        }
        if (!Untagged(r, {})) throw Broken("A continuation that was not asked for: " + r.Line);
        Kept.clear();
        keptBytes_ = 0;
        if (News.ExistsSeen != seen) return News.Exists;
    }
}

void TImap::Done() {
    if (idleTag_.empty()) return;
    const std::string tag = idleTag_;
    idleTag_.clear();
    SendText("DONE\r\n");
    const TImapResponse done = Finish(tag, {});
    if (!done.IsStatus("OK")) throw Refusal(done);
}
