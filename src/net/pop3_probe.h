#pragma once

// A look at a POP3 server without logging in, for the user to judge its connection settings.

#include <string>

#include "net/pop3.h"
#include "net/tls_transport.h"

struct TProbeReport {
    std::string Greeting;
    bool Encrypted = false;
    TTlsPeer Peer;  // when Encrypted
};

class TPop3Probe : public TPop3 {
  public:
    // Connects as a check would, with Hostname, Port, Encryption and TrustedCertificate, and
    // stops after the greeting (and after STLS with its handshake); QUIT ends it. No user name
    // or password is sent. An untrusted certificate does not stop it: the report says so.
    // Raises what Login raises for everything else, within the same bounds.
    TProbeReport Run();
};
