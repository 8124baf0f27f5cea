#pragma once

// How a connection is protected, as the user chooses it, and the fingerprint text of a pinned
// certificate.

#include <cstdint>
#include <optional>
#include <string>

#include "net/net_errors.h"

enum class TEncryption : int32_t {
    None = 0,          // plain text, as classic POP3
    Stls = 1,          // plain connect, then the STLS command upgrades to TLS before USER
    TlsOnConnect = 2,  // TLS from the first byte (POP3S)
};

// Whether the number names one of the encryptions above (a stored or chosen value may not).
inline bool IsEncryption(int32_t number) {
    return number >= 0 && number <= static_cast<int32_t>(TEncryption::TlsOnConnect);
}

// The encryption a number names; raises EEncryptionError for any other, never taking it for
// plain text.
inline TEncryption EncryptionFromNumber(int32_t number) {
    if (!IsEncryption(number))
        throw EEncryptionError(
            EEncryptionError::TFault::UnknownNumber,
            "Unknown encryption " + std::to_string(number) + "; nothing was sent to the server");
    return static_cast<TEncryption>(number);
}

// The port a server usually listens on for the encryption: 110, or 995 for TLS on connect.
inline uint16_t UsualPort(TEncryption encryption) {
    return EncryptionFromNumber(static_cast<int32_t>(encryption)) == TEncryption::TlsOnConnect
               ? 995
               : 110;
}

// A SHA-256 fingerprint read from text with or without colons, in either case, blanks around
// it ignored, also as the openssl command prints it ("sha256 Fingerprint=AB:CD:..."):
// upper-case hex pairs joined by colons. Nothing when the text is not 32 bytes.
std::optional<std::string> NormalizeFingerprint(const std::string& text);

// Whether the text holds nothing but blanks (a trusted certificate that is not set).
bool IsBlank(const std::string& text);
