#pragma once

// The certificate side of a TLS session: which identity to expect, what the server presented,
// and the error that refuses it.

#include <openssl/ssl.h>

#include <string>

#include "net/net_errors.h"
#include "net/tls_transport.h"

// Asks for `host` (a name gets SNI and a name check; a dotted or IPv6 address, with or without
// brackets, an address check). False when the library could not take it: then no handshake
// may follow, since it would not check the certificate's identity.
bool SetExpectedIdentity(SSL* ssl, const std::string& host);

// The finished handshake's protocol, cipher and certificate, judged against the pin when one
// is given, else by the verification of the chain and the identity.
TTlsPeer DescribePeer(SSL* ssl, const std::string& pinnedFingerprint);

// The error that refuses an untrusted peer: its fault, and a message naming the host and the
// certificate's facts; `verdict` is the chain's verification result.
ETlsError RefusalOf(const TTlsPeer& peer, long verdict, const TTlsSettings& settings);
