// The receiving side of TTcpIp: raw receive and the line reader over one read-ahead buffer.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/tcpip.h"

namespace {
constexpr size_t kReadAhead = 64 * 1024;
}

// One transport receive into the empty read-ahead buffer. Repeats while the transport only
// asks to try again; false with Closed set when the connection has ended or failed.
bool TTcpIp::FillReadAhead() {
    readAhead_.resize(kReadAhead);
    for (;;) {
        int timeoutMs = 0;
        if (!ReceiveBound(timeoutMs)) return false;
        int error = 0;
        ++ReceiveCalls;
        const ssize_t n = Transport->Receive(SocketHandle, readAhead_.data(), readAhead_.size(),
                                             timeoutMs, error);
        if (n > 0) {
            readPos_ = 0;
            readEnd_ = static_cast<size_t>(n);
            ReceivedBytes += readEnd_;
            awaitingGreeting_ = false;
            Trace([&] {
                return "Received " + std::to_string(n) + " bytes on socket ID " +
                       std::to_string(SocketHandle);
            });
            return true;
        }
        Closed = !(n < 0 && (error == EAGAIN || error == EWOULDBLOCK || error == EINTR));
        // The transport ends a silent connection itself; a greeting's silence has its own words.
        if (Closed && awaitingGreeting_ && GreetingTimeoutMs > 0 && GreetingMsLeft() <= 0)
            NoGreeting();
        if (Closed) return false;
    }
}

// Bytes a TLS session has decrypted but not yet handed out are not seen here: they wait for
// the next bytes from the network, or for the caller's own next read.
bool TTcpIp::WaitReadable(int timeoutMs) {
    if (Buffered() > 0 || Closed || SocketHandle == -1) return true;
    pollfd p{SocketHandle, POLLIN, 0};
    int n = 0;
    do {
        n = poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n != 0;
}

bool TTcpIp::ReceiveBound(int& timeoutMs) {
    timeoutMs = ReceiveTimeoutMs;
    const auto within = [&timeoutMs](long long left) {
        if (timeoutMs <= 0 || left < timeoutMs) timeoutMs = static_cast<int>(left);
    };
    if (awaitingGreeting_ && GreetingTimeoutMs > 0) {
        const long long left = GreetingMsLeft();
        if (left <= 0) NoGreeting();
        within(left);
    }
    if (ReplyTimeoutMs > 0) {
        const long long left = ReplyMsLeft();
        if (left <= 0) {
            DropConnection();
            return false;
        }
        within(left);
    }
    return true;
}

long long TTcpIp::GreetingMsLeft() const {
    using namespace std::chrono;
    return GreetingTimeoutMs -
           duration_cast<milliseconds>(steady_clock::now() - replyStart_).count();
}

void TTcpIp::NoGreeting() {
    awaitingGreeting_ = false;
    ReleaseSocket(SocketHandle);
    Closed = true;
    EProtocolError silent(kNoGreetingText, kBrokenReply, "POP3");
    silent.ConnectionLost = true;
    throw silent;
}

void TTcpIp::BeginReply() {
    replyStart_ = std::chrono::steady_clock::now();
    replyBytes_ = 0;
}

long long TTcpIp::ReplyMsLeft() const {
    using namespace std::chrono;
    const long long allowed =
        ReplyTimeoutMs +
        static_cast<long long>(replyBytes_ / std::max<size_t>(ReplyBytesPerSecond, 1)) * 1000;
    return allowed - duration_cast<milliseconds>(steady_clock::now() - replyStart_).count();
}

void TTcpIp::Receive(char* buffer, int size, int& count) {
    count = 0;
    if (size <= 0) return;
    if (Buffered() == 0 && !FillReadAhead()) return;
    count = static_cast<int>(std::min(Buffered(), static_cast<size_t>(size)));
    if (buffer) std::memcpy(buffer, readAhead_.data() + readPos_, static_cast<size_t>(count));
    readPos_ += static_cast<size_t>(count);
    replyBytes_ += static_cast<size_t>(count);
}

// Only CR LF ends a line; a lone LF is dropped and a lone CR is dropped too (x CR y CR LF
// gives xy). Bytes after the LF stay buffered for the next read.
bool TTcpIp::ReadLine(std::string& line) {
    std::string text;
    bool afterCr = false;
    size_t taken = 0;  // bytes of this line, the dropped ones included
    for (;;) {
        if (Buffered() == 0 && !FillReadAhead()) return false;
        const char* begin = readAhead_.data() + readPos_;
        const char* end = readAhead_.data() + readEnd_;
        const char* stop = std::find_if(begin, end, [](char c) { return c == '\r' || c == '\n'; });
        if (stop != begin) {
            text.append(begin, stop);
            afterCr = false;
        }
        const size_t step = static_cast<size_t>(stop - begin) + (stop != end ? 1 : 0);
        readPos_ += step;
        taken += step;
        replyBytes_ += step;
        if (stop != end) {
            if (*stop == '\r') {
                afterCr = true;
            } else if (afterCr) {
                line = std::move(text);
                return true;
            }
        }
        if (taken > MaxLineLength || replyBytes_ > MaxReplyBytes) {
            DropConnection();
            return false;
        }
        if (Buffered() == 0 && IsClosed()) return false;
    }
}
