#pragma once

// A look at a POP3 server without logging in, for the user to judge its connection settings.

#include "net/pop3_cancellable.h"
#include "net/probe_report.h"

// Cancel, from another thread while Run waits, ends Run at once with an error, and makes it
// raise one at once if it has not started yet.
class TPop3Probe : public TCancellablePop3 {
  public:
    // Connects as a check would, with Hostname, Port, Encryption and TrustedCertificate, and
    // stops after the greeting (and after STLS with its handshake, or CAPA on a plain
    // connection); QUIT ends it. With SignIn set it then signs in as a check would, with
    // UserName and Password or AccessToken, and reports whether the server took the login; it
    // never lists, retrieves or deletes. Else no user name or password is sent. A refused
    // certificate or login does not raise: the report says why. Raises what Login raises for
    // everything else, within the same bounds.
    TProbeReport Run();

    bool SignIn = false;

  private:
    void TrySignIn(TProbeReport& report);
    void ReadGreeting(TProbeReport& report);
    bool OffersStls();
};
