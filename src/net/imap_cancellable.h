#pragma once

// An IMAP client whose session another thread may cut short, for work run off the GUI thread.

#include <string_view>

#include "net/imap.h"
#include "net/session_cancel.h"

class TCancellableImap : public TImap {
  public:
    TCancellableImap();

    // Callable from any thread: a connect or receive under way fails at once, and so does
    // every later connect.
    void Cancel() { cancel_.Cancel(); }
    // Callable from any thread: from now on every command but LOGOUT fails before it is sent
    // (ESocketError ECANCELED), so a session that has removed messages can still end cleanly.
    void RequestStop() { cancel_.RequestStop(); }
    // Whether this client has sent a command that removes or flags messages since it was made.
    bool SentDeletions() const { return cancel_.SentDeletions(); }

  protected:
    void BeforeSend(std::string_view bytes) override;

  private:
    TSessionCancel cancel_;
};
