#pragma once

// Where the mail server is and how the client reaches it: one value that the settings hold,
// the client takes (TTcpIp::Use) and the TLS handshake is set up from.

#include <cstdint>
#include <optional>
#include <string>

#include "net/encryption.h"

struct TTlsSettings;

// Bounds on waiting for a silent server (milliseconds).
inline constexpr int kConnectTimeoutMs = 30000;   // for the connection to open
inline constexpr int kReceiveTimeoutMs = 60000;   // for each receive
inline constexpr int kReplyTimeoutMs = 60000;     // for a whole reply, besides its bytes' time
inline constexpr int kGreetingTimeoutMs = 15000;  // for the greeting; see TTcpIp

// Why a connection whose encryption, or way of signing in, is not known is refused before
// anything is sent (EEncryptionError's messages).
inline constexpr const char* kUnreadableEncryptionFault =
    "The stored encryption setting cannot be read";
inline constexpr const char* kUnreadableAuthenticationFault =
    "The stored authentication setting cannot be read";

// The stored protocol setting was neither POP3 nor IMAP: no connection is made until the user
// chooses one.
inline constexpr const char* kUnreadableProtocolFault =
    "The stored protocol setting cannot be read";

// What the mailbox speaks ("Protocol": 0 POP3, 1 IMAP).
enum class TMailProtocol : int32_t { Pop3 = 0, Imap = 1 };

// The port a server of the protocol usually listens on for the encryption: POP3 110 or 995,
// IMAP 143 or 993 (TLS on connect).
inline uint16_t UsualPort(TEncryption encryption, TMailProtocol protocol) {
    const uint16_t pop3 = UsualPort(encryption);
    if (protocol != TMailProtocol::Imap) return pop3;
    return pop3 == 995 ? 993 : 143;
}

// How the client proves who it is.
enum class TAuthentication : int32_t {
    UserPass = 0,   // USER and PASS, as classic POP3
    SaslPlain = 1,  // AUTH PLAIN with the password
    OAuth2 = 2,     // AUTH OAUTHBEARER when offered, else XOAUTH2, with an access token
};

struct TConnection {
    std::string Host;  // as the user typed it: a name, a dotted or an IPv6 address
    uint16_t Port = UsualPort(TEncryption::None);
    // Nothing when a stored encryption could not be read: no connection is made until the
    // user chooses one, never falling back to plain text.
    std::optional<TEncryption> Encryption = TEncryption::None;
    // SHA-256 fingerprint of the one certificate trusted instead of the system's trust store
    // (any form NormalizeFingerprint reads); blank: the store decides.
    std::string TrustedCertificate;
    int ConnectTimeoutMs = kConnectTimeoutMs;
    int ReceiveTimeoutMs = kReceiveTimeoutMs;
    int ReplyTimeoutMs = kReplyTimeoutMs;
    int GreetingTimeoutMs = kGreetingTimeoutMs;
    // Nothing when a stored choice could not be read: no connection is made until the user
    // chooses again, never falling back to another way.
    std::optional<TAuthentication> Authentication = TAuthentication::UserPass;
    // Nothing when a stored protocol could not be read: the mailbox is not checked until the
    // user chooses one.
    std::optional<TMailProtocol> Protocol = TMailProtocol::Pop3;

    bool operator==(const TConnection&) const = default;
};

// What the TLS handshake of such a connection checks; a pin that is no fingerprint gives none
// (TTcpIp refuses such a connection before it starts).
TTlsSettings TlsSettingsOf(const TConnection& connection, bool refuseUntrusted);
