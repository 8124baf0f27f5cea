#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/transport.h"

namespace {

// Waits for fd to become ready for `events`; 0 when ready, else ETIMEDOUT or the error.
int WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int n = poll(&p, 1, timeoutMs);
        if (n > 0) return 0;
        if (n == 0) return ETIMEDOUT;
        if (errno != EINTR) return errno;
    }
}

// Connects a non-blocking socket within the time-out, then makes it blocking again.
int ConnectBounded(int fd, const sockaddr* addr, socklen_t length, int timeoutMs) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (connect(fd, addr, length) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            error = WaitFor(fd, POLLOUT, timeoutMs);
            socklen_t len = sizeof error;
            if (error == 0) getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        }
    }
    fcntl(fd, F_SETFL, flags);
    return error;
}

}  // namespace

int TTransport::ConnectTo(const sockaddr* address, socklen_t length, int timeoutMs, int& error) {
    if (address->sa_family != AF_INET || length < sizeof(sockaddr_in)) {
        error = EAFNOSUPPORT;
        return -1;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    return Connect(in->sin_addr.s_addr, ntohs(in->sin_port), timeoutMs, error);
}

int TSocketTransport::Connect(uint32_t address, uint16_t port, int timeoutMs, int& error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = address;
    return ConnectTo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, timeoutMs, error);
}

int TSocketTransport::ConnectTo(const sockaddr* address, socklen_t length, int timeoutMs,
                                int& error) {
    int fd = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (!Admit(fd)) {
        error = ECANCELED;
        return fd;
    }
    error = ConnectBounded(fd, address, length, timeoutMs);
    // A connect cut short by Cancel may still look complete.
    if (!Admit(fd)) error = ECANCELED;
    if (error == 0) AckPromptly(fd);
    return fd;
}

bool TSocketTransport::Admit(int handle) {
    const std::lock_guard lock(openMutex_);
    if (std::find(open_.begin(), open_.end(), handle) == open_.end()) open_.push_back(handle);
    return !cancelled_;
}

void TSocketTransport::Cancel() {
    const std::lock_guard lock(openMutex_);
    cancelled_ = true;
    for (int handle : open_) shutdown(handle, SHUT_RDWR);
}

void TSocketTransport::Close(int handle) {
    {
        // Out of the list before the number is free for reuse: Cancel must not reach a
        // socket that is not this transport's.
        const std::lock_guard lock(openMutex_);
        open_.erase(std::remove(open_.begin(), open_.end(), handle), open_.end());
    }
    close(handle);
    // The next socket usually gets the same number but starts without a receive bound.
    if (handle == boundHandle_) boundHandle_ = -1;
}

ssize_t TSocketTransport::Send(int handle, const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        // MSG_NOSIGNAL: a peer that has gone must not kill the process.
        ssize_t n = send(handle, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return sent > 0 ? static_cast<ssize_t>(sent) : -1;
        sent += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(sent);
}

ssize_t TSocketTransport::Receive(int handle, char* buffer, size_t size, int timeoutMs,
                                  int& error) {
    if (handle < 0) {
        error = EBADF;
        return -1;
    }
    BoundReceive(handle, timeoutMs);
    ssize_t n;
    do {
        n = recv(handle, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) AckPromptly(handle);
    if (n >= 0) return n;
    error = errno;
    if (error != EAGAIN && error != EWOULDBLOCK) return -1;
    Shutdown(handle);  // the peer stayed silent for the whole bound
    return 0;
}

// A kernel receive time-out costs no extra call per receive, unlike a poll before each one.
void TSocketTransport::BoundReceive(int handle, int timeoutMs) {
    if (handle == boundHandle_ && timeoutMs == boundMs_) return;
    timeval tv{};
    if (timeoutMs > 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
    }
    setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    boundHandle_ = handle;
    boundMs_ = timeoutMs;
}

// The kernel leaves quick-acknowledgement mode again on its own, so it is set anew after
// every receive; where the option does not exist this does nothing.
void TSocketTransport::AckPromptly(int handle) const {
#ifdef TCP_QUICKACK
    if (!quickAck_) return;
    const int on = 1;
    setsockopt(handle, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    (void)handle;
#endif
}

void TSocketTransport::Shutdown(int handle) {
    shutdown(handle, SHUT_RDWR);
}

int TSocketTransport::PeerError(int handle) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    return getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &len) == 0 ? 0 : errno;
}
