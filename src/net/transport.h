#pragma once

// The byte transport under TTcpIp: connect, send, receive, close and the peer query. It is
// the one place that touches the socket calls, so an encrypted transport can take its place.

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

class TTransport {
  public:
    virtual ~TTransport() = default;

    // Opens a TCP connection and returns its handle with `error` 0. When the connect fails,
    // `error` holds the system error and the handle (still open, for the caller to close) is
    // returned; -1 when no socket could be created at all. A connect that does not complete
    // within timeoutMs fails with ETIMEDOUT.
    virtual int Connect(uint32_t address, uint16_t port, int timeoutMs, int& error) = 0;
    // The same for any socket address (IPv4 or IPv6). This default takes IPv4 to Connect and
    // refuses other families with EAFNOSUPPORT (-1, no handle).
    virtual int ConnectTo(const sockaddr* address, socklen_t length, int timeoutMs, int& error);
    virtual void Close(int handle) = 0;
    // Sends every byte; returns the count that went out, or -1 when none could be sent.
    virtual ssize_t Send(int handle, const char* data, size_t size) = 0;
    // Receives up to size bytes: the count, 0 when the connection has ended, -1 with `error`
    // on failure. A peer silent for timeoutMs (0: no bound) ends the connection (Shutdown)
    // and gives 0.
    virtual ssize_t Receive(int handle, char* buffer, size_t size, int timeoutMs, int& error) = 0;
    // Ends both directions but keeps the handle; later receives see the end at once.
    virtual void Shutdown(int handle) = 0;
    // 0 when the peer name can be queried (connected), else the system error.
    virtual int PeerError(int handle) = 0;
};

// Plain TCP over POSIX sockets. With quickAck (the default) every receive re-arms the
// prompt acknowledgement, so a server that writes one reply in pieces never waits for our
// delayed ACK; only the timing on the wire changes.
class TSocketTransport final : public TTransport {
  public:
    explicit TSocketTransport(bool quickAck = true) : quickAck_(quickAck) {}
    int Connect(uint32_t address, uint16_t port, int timeoutMs, int& error) override;
    int ConnectTo(const sockaddr* address, socklen_t length, int timeoutMs, int& error) override;
    void Close(int handle) override;
    ssize_t Send(int handle, const char* data, size_t size) override;
    ssize_t Receive(int handle, char* buffer, size_t size, int timeoutMs, int& error) override;
    void Shutdown(int handle) override;
    int PeerError(int handle) override;

    // Callable from any thread: shuts down every socket this transport has open, so that a
    // connect or receive waiting on one returns at once, and fails every later connect with
    // ECANCELED.
    void Cancel();

  private:
    // Records a new socket; false (the socket is not to be used) once cancelled.
    bool Admit(int handle);
    void BoundReceive(int handle, int timeoutMs);
    void AckPromptly(int handle) const;
    bool quickAck_;
    int boundHandle_ = -1;  // the socket whose receive time-out is boundMs_
    int boundMs_ = 0;
    std::mutex openMutex_;  // guards open_ and cancelled_
    std::vector<int> open_;
    bool cancelled_ = false;
};
