#pragma once

// Commands of a logged-in POP3 session sent ahead of their replies (RFC 2449 pipelining):
// RETR, DELE and QUIT are queued, flushed in one write, and their replies read back in order.

#include <cstdint>
#include <deque>
#include <exception>
#include <string>

class TPop3;

class TPop3Pipeline {
  public:
    enum class TCommand { Retrieve, Delete, Quit };
    enum class TOutcome {
        Retrieved,  // +OK with the message, now the session's MailText
        Done,       // +OK to DELE or QUIT (the session is closed after QUIT)
        Refused,    // -ERR to RETR or DELE; the session stays in step
    };
    struct TReply {
        TCommand Command;
        int32_t Number;  // the message of a RETR or DELE
        TOutcome Outcome;
        std::exception_ptr Refusal;  // the EProtocolError of a refusal
    };

    explicit TPop3Pipeline(TPop3& pop3) : pop3_(pop3) {}

    void Retrieve(int32_t n);
    void Delete(int32_t n);
    void Quit();
    // Sends every queued command in one write.
    void Flush();
    // Sends only the first queued command, for a server without pipelining; returns it.
    TCommand FlushOne();

    // Commands queued and not yet sent.
    size_t Queued() const { return queued_.size(); }
    // Replies sent for and not yet read.
    size_t Owed() const { return owed_.size(); }
    // Reads the reply owed first. Raises on anything but a refused RETR or DELE (a refused
    // QUIT, a broken or lost reply), which leaves the session out of step for good.
    TReply ReadNext();
    // After a failure: reads every reply still owed and hands each to onReply, the retrieved
    // messages unexamined. True when the session is in step again, so QUIT may end it; false
    // when it cannot be (a reply failed to read, or QUIT was already sent).
    template <class OnReply>
    bool Drain(OnReply&& onReply);

  private:
    struct TPending {
        TCommand Command;
        int32_t Number;
    };
    static std::string Line(const TPending& command);
    TReply Read(const TPending& command);

    TPop3& pop3_;
    std::deque<TPending> queued_;
    std::deque<TPending> owed_;
    bool quitSent_ = false;
    bool outOfStep_ = false;
};

template <class OnReply>
bool TPop3Pipeline::Drain(OnReply&& onReply) {
    queued_.clear();  // never sent: nothing to read
    if (quitSent_ || outOfStep_) return false;
    try {
        while (!owed_.empty()) onReply(ReadNext());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
