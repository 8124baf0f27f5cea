#pragma once

// A look at a POP3 server without logging in, for the user to judge its connection settings.

#include <optional>
#include <string>

#include "net/pop3_cancellable.h"
#include "net/tls_transport.h"

struct TProbeReport {
    TEncryption Encryption = TEncryption::None;  // what the probe used
    std::string Greeting;  // empty when a refused certificate ended TLS on connect first
    bool Encrypted = false;
    TTlsPeer Peer;  // when Encrypted
    // The error a check would refuse the certificate with (its Reason Untrusted,
    // NameMismatch, Expired or PinMismatch); nothing when it would accept it.
    std::optional<ETlsError> Refusal;
    bool OffersStls = false;    // the plain connection's CAPA offers STLS
    bool SignInTried = false;   // SignIn was set and the probe got as far as signing in
    std::string SignInRefusal;  // the server's refusal of the login; empty when it signed in
};

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
