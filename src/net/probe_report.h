#pragma once

// What a look at a mail server found, for the user to judge its connection settings: the
// POP3 probe fills the first part, the IMAP probe all of it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/connection.h"
#include "net/tls_transport.h"

struct TProbeReport {
    TMailProtocol Protocol = TMailProtocol::Pop3;
    TEncryption Encryption = TEncryption::None;  // what the probe used
    std::string Greeting;  // empty when a refused certificate ended TLS on connect first
    bool Encrypted = false;
    TTlsPeer Peer;  // when Encrypted
    // The error a check would refuse the certificate with (its Reason Untrusted,
    // NameMismatch, Expired or PinMismatch); nothing when it would accept it.
    std::optional<ETlsError> Refusal;
    bool OffersStls = false;    // the plain connection offers STLS (POP3) or STARTTLS (IMAP)
    bool SignInTried = false;   // SignIn was set and the probe got as far as signing in
    std::string SignInRefusal;  // the server's refusal of the login; empty when it signed in

    // IMAP: the capabilities as they are before signing in (after TLS), and the folder looked
    // at once signed in (read-only) with its message count, or why it could not be opened.
    std::vector<std::string> Capabilities;
    std::string Folder;  // as the user wrote it; empty when none was looked at
    std::optional<uint32_t> FolderMessages;
    std::string FolderRefusal;
};
