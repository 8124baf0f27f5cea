#pragma once

#include <cstdint>
#include <string>

#include "base/exception.h"

// Root of the network failures; raised itself when a host name cannot be resolved.
class ETcpIpError : public Exception {
  public:
    using Exception::Exception;
};

// The connection could not be made; ErrorCode is the system's error number (errno).
class ESocketError : public ETcpIpError {
  public:
    explicit ESocketError(int16_t errorCode)
        : ETcpIpError("Error creating socket"), ErrorCode(errorCode) {}
    int16_t ErrorCode;
};

// The connection's encryption (or way of signing in) is not one this program knows, or does
// not protect an OAuth2 token; raised before anything is sent.
class EEncryptionError : public ETcpIpError {
  public:
    using ETcpIpError::ETcpIpError;
};

// EProtocolError's codes: the server said "-ERR", or anything else (a dropped connection and an
// overrun bound included).
inline constexpr int16_t kRefusedReply = 500;
inline constexpr int16_t kBrokenReply = 999;

// The server answered a command with anything but "+OK"; the message is its reply line.
class EProtocolError : public ETcpIpError {
  public:
    EProtocolError(std::string replyLine, int16_t errorCode, std::string protocol)
        : ETcpIpError(std::move(replyLine)), ErrorCode(errorCode), Protocol(std::move(protocol)) {}
    int16_t ErrorCode;  // kRefusedReply or kBrokenReply
    std::string Protocol;
    // The connection ended (or was ended for overrunning a bound) before a whole reply came;
    // the message is then empty.
    bool ConnectionLost = false;
    // The server refused the login for now ("[IN-USE]", "[LOGIN-DELAY]", "[SYS/TEMP]"): a later
    // try may succeed, so it is no reason to ask the user for the password.
    bool TemporaryRefusal = false;
    // The server refused the login itself (USER, PASS or AUTH), not a command after it.
    bool LoginRefused = false;
};

// What a server that never greets is told as: most often it waits for a TLS handshake.
inline constexpr const char* kNoGreetingText =
    "No greeting from the server within 15 seconds; it may expect TLS on connect (port 995).";

// The words of every failed TLS handshake, followed by why it failed.
inline std::string HandshakeFailedText(const std::string& host, const std::string& why) {
    return "TLS handshake with " + host + " failed: " + why;
}

// A secure connection could not be made or its certificate was refused. Nothing beyond the
// greeting (and CAPA and STLS) has been sent when it is raised: never the password.
class ETlsError : public ETcpIpError {
  public:
    enum class TReason {
        Handshake,     // TLS failed: plain server, broken or silent peer, no common protocol
        Untrusted,     // the certificate does not lead to a trusted authority
        NameMismatch,  // the certificate is not for the host name or address in use
        Expired,       // the certificate is out of its validity period
        PinMismatch,   // the certificate is not the one the user chose to trust
        NoStls,        // the server did not offer STLS or refused it
    };
    ETlsError(TReason reason, std::string message, std::string fingerprint = {})
        : ETcpIpError(std::move(message)), Reason(reason), Fingerprint(std::move(fingerprint)) {}
    TReason Reason;
    std::string Fingerprint;  // SHA-256 of the server's certificate when one was seen
};
