#pragma once

// What lets another thread cut a mail client's session short, for the POP3 and the IMAP client
// alike: a socket transport that a cancel shuts down, a requested stop that holds back every
// command but the one ending the session, and whether a command that removes messages went out.

#include <atomic>
#include <memory>

class TSocketTransport;
class TTransport;

class TSessionCancel {
  public:
    // Puts a socket transport of its own in the client's transport place.
    explicit TSessionCancel(std::unique_ptr<TTransport>& transport);

    // Callable from any thread: a connect or receive under way fails at once, and so does
    // every later connect.
    void Cancel();
    // Callable from any thread: from now on BeforeSend refuses all but the session's end.
    void RequestStop() { stopRequested_ = true; }
    // Whether a write BeforeSend let through removed messages.
    bool SentDeletions() const { return sentDeletions_; }
    // Sees a write before it goes out: after RequestStop it raises ESocketError ECANCELED
    // unless the write ends the session; otherwise it notes one that removes messages.
    void BeforeSend(bool endsSession, bool removesMessages);

  private:
    TSocketTransport* socket_;  // under the client's transport, also once TLS wraps it
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> sentDeletions_{false};
};
