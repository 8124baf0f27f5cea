#pragma once

// A POP3 client whose session another thread may cut short, for work run off the GUI thread.

#include "net/pop3.h"

class TSocketTransport;

class TCancellablePop3 : public TPop3 {
  public:
    TCancellablePop3();

    // Callable from any thread: a connect or receive under way fails at once, and so does
    // every later connect.
    void Cancel();

  private:
    TSocketTransport* socket_;  // under Transport, also once TLS wraps it
};
