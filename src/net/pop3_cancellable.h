#pragma once

// A POP3 client whose session another thread may cut short, for work run off the GUI thread.

#include <string_view>

#include "net/pop3.h"
#include "net/session_cancel.h"

class TCancellablePop3 : public TPop3 {
  public:
    TCancellablePop3();

    // Callable from any thread: a connect or receive under way fails at once, and so does
    // every later connect.
    void Cancel() { cancel_.Cancel(); }
    // Callable from any thread: from now on every command but QUIT fails before it is sent
    // (ESocketError ECANCELED), so a session that has deleted can still make that final.
    void RequestStop() { cancel_.RequestStop(); }
    // Whether this client has sent a DELE since it was made: a session cut off after that
    // loses deletions the server has not made final yet.
    bool SentDeletions() const { return cancel_.SentDeletions(); }

  protected:
    void BeforeSend(std::string_view bytes) override;

  private:
    TSessionCancel cancel_;
};
