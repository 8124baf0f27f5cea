#pragma once

// A look at an IMAP server, for the user to judge a mailbox's connection settings.

#include <optional>
#include <string>

#include "net/imap_cancellable.h"
#include "net/probe_report.h"

// Cancel, from another thread while Run waits, ends Run at once with an error, and makes it
// raise one at once if it has not started yet.
class TImapProbe : public TCancellableImap {
  public:
    // Connects as a check would, with Hostname, Port, Encryption and TrustedCertificate: the
    // greeting, STARTTLS with its handshake when chosen, and the capabilities. With SignIn set
    // it then signs in as a check would (UserName with Password or AccessToken) and, once in,
    // opens Folder read-only (EXAMINE) for its message count; it never selects, fetches, flags
    // or expunges. LOGOUT ends it. A refused certificate, login or folder does not raise: the
    // report says why. Raises what TImap::Open raises for everything else.
    TProbeReport Run();

    bool SignIn = false;
    std::string Folder;  // as the user wrote it; empty: INBOX

  private:
    // Up to the capabilities: whether the server signed in at once (PREAUTH); nothing when a
    // refused certificate ended the session.
    std::optional<bool> Reach(TProbeReport& report);
    bool TrySignIn(TProbeReport& report);
    void LookAtFolder(TProbeReport& report);
};
