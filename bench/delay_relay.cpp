#include "delay_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Chunks read from one socket, each due at its arrival time plus the delay; an empty chunk
// marks the end of the stream.
class DelayedPipe {
  public:
    DelayedPipe(int from, int to, int delayMs) : from_(from), to_(to), delay_(delayMs) {}
    void Run() {
        std::thread writer([this] { Write(); });
        Read();
        writer.join();
    }

  private:
    void Read() {
        std::string buffer(64 * 1024, '\0');
        for (;;) {
            const ssize_t n = recv(from_, buffer.data(), buffer.size(), 0);
            Push(n > 0 ? buffer.substr(0, static_cast<size_t>(n)) : std::string());
            if (n <= 0) return;
        }
    }
    void Push(std::string chunk) {
        std::lock_guard lock(mutex_);
        queue_.push_back({Clock::now() + delay_, std::move(chunk)});
        ready_.notify_one();
    }
    void Write() {
        for (;;) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return !queue_.empty(); });
            auto [due, chunk] = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(due);
            if (chunk.empty()) {
                shutdown(to_, SHUT_WR);
                return;
            }
            for (size_t sent = 0; sent < chunk.size();) {
                const ssize_t n = send(to_, chunk.data() + sent, chunk.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return;
                sent += static_cast<size_t>(n);
            }
        }
    }

    int from_, to_;
    std::chrono::milliseconds delay_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<Clock::time_point, std::string>> queue_;
};

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

void NoDelay(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

DelayRelay::DelayRelay(uint16_t targetPort, int delayMsEachWay)
    : targetPort_(targetPort), delayMs_(delayMsEachWay) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error("relay: cannot listen");
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

DelayRelay::~DelayRelay() {
    stop_ = true;
    acceptor_.join();
    close(listener_);
    for (std::thread& session : sessions_) session.join();
}

void DelayRelay::Accept() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        std::lock_guard lock(mutex_);
        sessions_.emplace_back([this, client] { Serve(client); });
    }
}

// The relay itself adds no delay of its own: Nagle is off on both legs.
void DelayRelay::Serve(int client) {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in addr = Loopback(targetPort_);
    if (connect(server, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        NoDelay(client);
        NoDelay(server);
        DelayedPipe up(client, server, delayMs_), down(server, client, delayMs_);
        std::thread upThread([&up] { up.Run(); });
        down.Run();
        upThread.join();
    }
    close(server);
    close(client);
}
