#pragma once

// A blocking TCP client socket: reads whole lines or raw bytes, sends raw bytes.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/connection.h"
#include "net/encryption.h"
#include "net/net_errors.h"
#include "net/transport.h"

// The largest reply a connection accepts (see MaxReplyBytes).
inline constexpr size_t kMaxReplyBytes = size_t{256} << 20;

struct TEndpoint;
struct TTlsPeer;

class TTcpIp {
  public:
    using LogSink = std::function<void(const std::string& text, bool flag)>;

    TTcpIp();
    virtual ~TTcpIp();
    TTcpIp(const TTcpIp&) = delete;
    TTcpIp& operator=(const TTcpIp&) = delete;

    virtual void Fetch();
    virtual void Login();
    virtual void Logout();
    // Whether the peer has closed the connection; see HasSocket for our side.
    virtual bool IsClosed();
    // Whether this side still holds a socket (a session opened and not yet released). Unlike
    // IsClosed it says nothing of the peer: a session the server ended still needs its release.
    bool HasSocket() const { return SocketHandle != -1; }
    // Takes host, port, encryption, trusted certificate and time bounds from the connection.
    // Raises EEncryptionError (UnreadableEncryption or UnreadableAuthentication) when its
    // encryption or way of signing in is not known.
    void Use(const TConnection& connection);
    // The values Use sets, as they are now.
    TConnection CurrentConnection() const;

    int SocketHandle = -1;
    std::string Hostname;
    LogSink OnLog;
    uint16_t Port = 0;
    uint32_t Address = 0xFFFFFFFFu;  // network byte order; all bits set means unresolved
    bool Closed = false;
    std::string Stream;  // filled by Fetch

    // Bounds on waiting for a silent peer (milliseconds).
    int ConnectTimeoutMs = kConnectTimeoutMs;
    int ReceiveTimeoutMs = kReceiveTimeoutMs;
    // A server that sends nothing this long after the connection (and its TLS handshake) is
    // given up with EProtocolError kNoGreetingText: it likely waits for TLS instead. 0: none.
    int GreetingTimeoutMs = kGreetingTimeoutMs;

    // Protection of the connection: Login makes TLS on connect itself; STLS is the protocol's.
    TEncryption Encryption = TEncryption::None;
    // How the login proves who the user is; TPop3 holds the password or the access token.
    TAuthentication Authentication = TAuthentication::UserPass;
    // SHA-256 fingerprint of the one certificate trusted instead of the system's trust store
    // (any form NormalizeFingerprint reads); blank: the store decides. Any other text makes
    // Login raise ETlsError (UnreadablePin) before connecting.
    std::string TrustedCertificate;
    // Text of the address the last Login connected to (IPv4 or IPv6).
    std::string PeerAddress;

  protected:
    enum class TSocketState { NoSocket, Connected, NotConnected, Failed };

    // What Login and Logout do here, for subclasses whose own Login and Logout say more.
    void Connect();
    void Disconnect();

    // Before connecting: raises EEncryptionError when a token would travel in clear or the way
    // of signing in is none this program knows.
    void RefuseUnusableSignIn() const;
    // Creates and connects SocketHandle (-1 on failure); returns the system error, 0 if none.
    int OpenSocket(uint16_t port, uint32_t address);
    void ReleaseSocket(int& handle);
    TSocketState SocketState(int handle);
    // At least one byte into buffer (nullptr: read and discard), or count <= 0 with Closed set.
    void Receive(char* buffer, int size, int& count);
    // One line ended by CR LF, without it; false (line untouched) when the connection ended.
    // Every byte taken counts toward the bounds, the dropped CR and LF bytes included.
    bool ReadLine(std::string& line);
    // Whether bytes may be read without waiting, or come within timeoutMs; unlike a receive,
    // a silent peer does not end the connection. True too when the connection has ended (the
    // read that follows finds the end). For a peer that may stay silent a long time (IDLE).
    bool WaitReadable(int timeoutMs);
    // Starts the bounds of one reply: its time and its MaxReplyBytes.
    void BeginReply();
    void SendBuffer(const char* data, int count);
    void SendText(const std::string& text);
    // Sees every write before it goes out; may raise to keep it from going. Nothing here.
    virtual void BeforeSend(std::string_view /*bytes*/) {}
    // Ends the connection as if the peer had closed it (used when a reply grows too large).
    void DropConnection();
    // Makes the open connection TLS: handshake and certificate check. Bytes already received
    // in plain text refuse it. Raises ETlsError with the connection closed.
    void StartTls();
    // The last handshake's findings; nullptr when no handshake has run.
    const TTlsPeer* TlsPeer() const;
    // false: an untrusted certificate is only reported by TlsPeer, not refused.
    bool RefuseUntrusted = true;
    // Passes a trace to OnLog; the text is only built when a sink is set.
    template <class BuildText>
    void Trace(BuildText&& build) {
        if (OnLog) OnLog(build(), true);
    }

    // A line of more bytes than this (counting every byte taken for it) ends the connection.
    size_t MaxLineLength = size_t{16} << 20;
    // A reply (or a Fetch) of more bytes than this ends the connection. Its kept lines take
    // at most twice as much (each line's CR LF becomes a four-byte end offset), however
    // short they are.
    size_t MaxReplyBytes = kMaxReplyBytes;
    // Bound on one whole reply (status line and body): it must be complete within
    // ReplyTimeoutMs plus one second for every ReplyBytesPerSecond bytes taken for it, so a
    // trickle of bytes cannot hold the connection much longer than a slow but honest server
    // would (a whole MaxReplyBytes reply at the slowest: about 4.5 hours). Past it the
    // connection ends. 0: no bound.
    int ReplyTimeoutMs = kReplyTimeoutMs;
    size_t ReplyBytesPerSecond = 16384;
    // Calls of the transport's receive and the bytes they brought, for measurements.
    uint64_t ReceiveCalls = 0;
    uint64_t ReceivedBytes = 0;
    std::unique_ptr<TTransport> Transport;

  private:
    void RefuseUnreadablePin() const;
    bool FillReadAhead();
    // The bound on this receive: ReceiveTimeoutMs within what the reply and the greeting may
    // still take. False, with the connection ended, when one of them is over.
    bool ReceiveBound(int& timeoutMs);
    // Raises the no-greeting error, with the connection released.
    [[noreturn]] void NoGreeting();
    long long GreetingMsLeft() const;
    // Milliseconds the current reply may still take; negative when it is overdue.
    long long ReplyMsLeft() const;
    // Tries every address of a name in turn within the one connect bound.
    void OpenByName();
    int OpenEndpoint(const TEndpoint& endpoint, int timeoutMs);
    // Runs one connect (returning the handle, setting error) and traces how it went.
    int ConnectTraced(uint16_t port, const std::string& host,
                      const std::function<int(int& error)>& connect);
    size_t Buffered() const { return readEnd_ - readPos_; }

    // Bytes received but not yet handed out; Receive and ReadLine drain it first.
    std::vector<char> readAhead_;
    size_t readPos_ = 0;
    size_t readEnd_ = 0;
    std::chrono::steady_clock::time_point replyStart_ = std::chrono::steady_clock::now();
    size_t replyBytes_ = 0;
    bool awaitingGreeting_ = false;  // nothing received since Login connected
};
