#pragma once

// A look at a POP3 server without logging in, for the user to judge its connection settings.

#include <optional>
#include <string>

#include "net/pop3.h"
#include "net/tls_transport.h"

class TSocketTransport;

struct TProbeReport {
    TEncryption Encryption = TEncryption::None;  // what the probe used
    std::string Greeting;  // empty when a refused certificate ended TLS on connect first
    bool Encrypted = false;
    TTlsPeer Peer;  // when Encrypted
    // Why a check would refuse the certificate (Untrusted, NameMismatch, Expired or
    // PinMismatch), in the check's words; nothing when it would accept it.
    std::optional<ETlsError::TReason> Refusal;
    std::string RefusalMessage;
    bool OffersStls = false;  // the plain connection's CAPA offers STLS
};

class TPop3Probe : public TPop3 {
  public:
    TPop3Probe();

    // Connects as a check would, with Hostname, Port, Encryption and TrustedCertificate, and
    // stops after the greeting (and after STLS with its handshake, or CAPA on a plain
    // connection); QUIT ends it. No user name or password is sent. A refused certificate does
    // not raise: the report says why. Raises what Login raises for everything else, within the
    // same bounds.
    TProbeReport Run();
    // Callable from another thread while Run waits: Run ends at once with an error, and
    // raises one at once if it has not started yet.
    void Cancel();

  private:
    void ReadGreeting(TProbeReport& report);
    bool OffersStls();
    TSocketTransport* socket_;  // under Transport, also once TLS wraps it
};
