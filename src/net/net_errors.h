#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

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
// not protect an OAuth2 token; raised before anything is sent. The message says what is
// wrong; what the user can do about it is for the layer that shows it to say, by Fault.
class EEncryptionError : public ETcpIpError {
  public:
    enum class TFault {
        UnknownNumber,             // a number that names no encryption
        UnreadableEncryption,      // the stored encryption could not be read
        UnreadableAuthentication,  // the stored way of signing in could not be read
        UnreadableProtocol,        // the stored protocol could not be read
        TokenInClear,              // an OAuth2 token would travel unencrypted
        PasswordInClear,           // a password kept for encrypted use would travel unencrypted
    };
    EEncryptionError(TFault fault, std::string message)
        : ETcpIpError(std::move(message)), Fault(fault) {}
    TFault Fault;
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

// The mailbox lists more messages than one check takes (the listing's bound): the connection
// is closed at once, without QUIT, so nothing is deleted.
class EMailboxTooLarge : public ETcpIpError {
  public:
    EMailboxTooLarge(std::string message, size_t limit)
        : ETcpIpError(std::move(message)), Limit(limit) {}
    size_t Limit;  // the most messages a check takes
};

// What a server that never greets is told as: most often it waits for a TLS handshake.
inline constexpr const char* kNoGreetingText =
    "No greeting from the server within 15 seconds; it may expect TLS on connect (port 995).";
// The same for an IMAP server, whose TLS port is 993.
inline constexpr const char* kNoImapGreetingText =
    "No greeting from the server within 15 seconds; it may expect TLS on connect (port 993).";

// The words of every failed TLS handshake, followed by why it failed.
inline std::string HandshakeFailedText(const std::string& host, const std::string& why) {
    return "TLS handshake with " + host + " failed: " + why;
}

// A secure connection could not be made or its certificate was refused. Nothing beyond the
// greeting (and CAPA and STLS) has been sent when it is raised: never the password. The
// message says what is wrong, with its facts (host, names, dates, fingerprint, the library's
// words); what the user can do about it is for the layer that shows it to say, by Fault.
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
    // What exactly failed; each reason has one or more.
    enum class TFault {
        NoLibrary,            // Handshake: TLS cannot be set up on this computer
        UncheckableName,      // Handshake: the host cannot be checked against a certificate
        DataBeforeHandshake,  // Handshake: plain bytes came behind the STLS answer
        NotTls,               // Handshake: the server speaks no TLS on this port
        NoCommonVersion,      // Handshake: no TLS version that both sides accept
        BrokenOff,            // Handshake: the server broke off, failed or fell silent
        NoCertificate,        // Untrusted: the server sent none
        Untrusted,            // Untrusted: no authority this computer trusts vouches for it
        NameMismatch,         // NameMismatch
        Expired,              // Expired: past its end
        NotYetValid,          // Expired: before its start
        PinMismatch,          // PinMismatch: another certificate than the pinned one
        UnreadablePin,        // PinMismatch: the pin is no SHA-256 fingerprint
        NoStls,               // NoStls
    };
    ETlsError(TFault fault, std::string message, std::string fingerprint = {})
        : ETcpIpError(std::move(message)),
          Fault(fault),
          Reason(ReasonOf(fault)),
          Fingerprint(std::move(fingerprint)) {}
    TFault Fault;
    TReason Reason;
    std::string Fingerprint;  // SHA-256 of the server's certificate when one was seen
    // "IMAP" when the IMAP client raised it, so the advice can name that protocol's ports;
    // empty for POP3.
    std::string Protocol;
    // The handshake's bound (milliseconds) when the server stayed silent for all of it; 0 when
    // the handshake failed otherwise.
    int TimedOutMs = 0;

  private:
    static TReason ReasonOf(TFault fault) {
        switch (fault) {
            case TFault::NoCertificate:
            case TFault::Untrusted:
                return TReason::Untrusted;
            case TFault::NameMismatch:
                return TReason::NameMismatch;
            case TFault::Expired:
            case TFault::NotYetValid:
                return TReason::Expired;
            case TFault::PinMismatch:
            case TFault::UnreadablePin:
                return TReason::PinMismatch;
            case TFault::NoStls:
                return TReason::NoStls;
            case TFault::NoLibrary:
            case TFault::UncheckableName:
            case TFault::DataBeforeHandshake:
            case TFault::NotTls:
            case TFault::NoCommonVersion:
            case TFault::BrokenOff:
                break;
        }
        return TReason::Handshake;
    }
};
