#pragma once

// An IMAP client whose session another thread may cut short, for work run off the GUI thread.

#include <atomic>
#include <string_view>

#include "net/imap.h"

class TSocketTransport;

class TCancellableImap : public TImap {
  public:
    TCancellableImap();

    // Callable from any thread: a connect or receive under way fails at once, and so does
    // every later connect.
    void Cancel();
    // Callable from any thread: from now on every command but LOGOUT fails before it is sent
    // (ESocketError ECANCELED), so a session that has removed messages can still end cleanly.
    void RequestStop() { stopRequested_ = true; }
    // Whether this client has sent a command that removes or flags messages since it was made.
    bool SentDeletions() const { return sentDeletions_; }

  protected:
    void BeforeSend(std::string_view bytes) override;

  private:
    TSocketTransport* socket_;  // under Transport, also once TLS wraps it
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> sentDeletions_{false};
};
