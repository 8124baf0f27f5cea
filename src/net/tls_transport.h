#pragma once

// TLS over another byte transport (OpenSSL). Until Handshake succeeds on a handle, the bytes of
// that handle pass through unchanged, so one object serves plain, STLS and TLS connections.
// Every read of the handshake and of the encrypted stream goes through the inner transport's
// Receive, so its bounds on a silent peer hold inside TLS too. A peer that trickles bytes is
// bounded as well: the whole handshake must be done within ReceiveTimeoutMs, and one Receive
// (however many records and reads it takes) within its timeoutMs.

#include <chrono>
#include <memory>
#include <string>

#include "net/connection.h"
#include "net/transport.h"

// What the handshake learnt about the connection and the server's certificate.
struct TTlsPeer {
    std::string Protocol;  // "TLSv1.3"
    std::string Cipher;
    std::string Subject;
    std::string Issuer;
    std::string Names;      // subjectAltName: "DNS:pop.example.com, IP:192.0.2.1"
    std::string ValidFrom;  // "2026-01-31 12:00:00 UTC"
    std::string ValidTo;
    std::string Fingerprint;  // SHA-256 as colon-separated upper-case hex pairs
    bool Trusted = false;     // by the trust store and for the host, or by the pin
    std::string Verdict;      // why not trusted; empty when trusted
};

struct TTlsSettings {
    std::string Host;               // as the user typed it: a name, a dotted or an IPv6 address
    std::string PinnedFingerprint;  // normalized; when set it replaces the trust store
    bool RefuseUntrusted = true;    // false: only find out (Peer().Trusted) and go on
    int ReceiveTimeoutMs =
        kReceiveTimeoutMs;  // bound on each wait for the server during the handshake
};

class TTlsTransport final : public TTransport {
  public:
    explicit TTlsTransport(std::unique_ptr<TTransport> inner);
    ~TTlsTransport() override;

    // Runs the client handshake on a connected handle and checks the certificate. Raises
    // ETlsError (the handle is then unusable and left for the caller to close).
    void Handshake(int handle, const TTlsSettings& settings);
    // The last handshake's findings (also after a refused certificate).
    const TTlsPeer& Peer() const { return peer_; }

    int Connect(uint32_t address, uint16_t port, int timeoutMs, int& error) override;
    int ConnectTo(const sockaddr* address, socklen_t length, int timeoutMs, int& error) override;
    void Close(int handle) override;
    ssize_t Send(int handle, const char* data, size_t size) override;
    ssize_t Receive(int handle, char* buffer, size_t size, int timeoutMs, int& error) override;
    void Shutdown(int handle) override;
    int PeerError(int handle) override;

    // Wire access for the BIO glue: the inner transport with this object's current bound.
    struct Wire;

  private:
    void EndSession();
    ssize_t TakePending(char* buffer, size_t size);
    bool OnSession(int handle) const { return session_ && handle == handle_; }

    std::unique_ptr<TTransport> inner_;
    struct Session;
    std::unique_ptr<Session> session_;
    int handle_ = -1;
    int timeoutMs_ = 0;                               // 0: no bound
    std::chrono::steady_clock::time_point deadline_;  // of the current wait, with timeoutMs_
    bool silent_ = false;  // the inner transport reported the end or a silent peer
    bool noWait_ = false;  // reads take only bytes already received; none from the network
    TTlsPeer peer_;
};
