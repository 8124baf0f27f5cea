#include "support/scripted_pop3_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// Waits until fd is readable; false on time-out or when asked to stop.
bool WaitReadable(int fd, const std::atomic<bool>& stop) {
    for (int waited = 0; waited < ScriptedPop3Server::kStepTimeoutMs; waited += 50) {
        if (stop) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) return true;
    }
    return false;
}

void SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;  // the client went away; the test sees it from its side
        done += static_cast<size_t>(n);
    }
}

}  // namespace

ScriptedPop3Server::ScriptedPop3Server(std::vector<Step> script) : script_(std::move(script)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listener_ >= 0) close(listener_);
        throw std::runtime_error("scripted server cannot listen");
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

ScriptedPop3Server::~ScriptedPop3Server() {
    stop_ = true;
    Join();
    close(listener_);
}

void ScriptedPop3Server::Join() {
    if (thread_.joinable()) thread_.join();
}

std::string ScriptedPop3Server::Received() {
    Join();
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> ScriptedPop3Server::Lines() {
    Join();
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> ScriptedPop3Server::LinesSoFar() {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<bool> ScriptedPop3Server::Ahead() {
    Join();
    std::lock_guard lock(mutex_);
    return ahead_;
}

bool ScriptedPop3Server::AcceptNext(int& conn) {
    if (!WaitReadable(listener_, stop_)) return false;
    conn = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) return false;
    ++connections_;
    return true;
}

void ScriptedPop3Server::Run() {
    int conn = -1;
    for (size_t i = 0; i < script_.size() && !stop_; ++i) {
        if (conn < 0 && !AcceptNext(conn)) return;
        if (Play(script_[i], conn)) continue;
        close(conn);
        conn = -1;
        // A connection that ended early skips the rest of its steps.
        while (i < script_.size() && script_[i].kind != Step::Kind::Close) ++i;
    }
    if (conn >= 0) close(conn);
}

// Plays one step on the open connection; false when the connection is finished.
bool ScriptedPop3Server::Play(const Step& step, int conn) {
    switch (step.kind) {
        case Step::Kind::Send:
            SendAll(conn, step.bytes);
            return true;
        case Step::Kind::Trickle:
            return Trickle(conn, step);
        case Step::Kind::ReadLine:
            return ReadInto(conn, true);
        case Step::Kind::ReadToEnd:
            ReadInto(conn, false);
            return false;
        case Step::Kind::Close:
            return false;
        case Step::Kind::Call:
            step.call();
            return true;
    }
    return false;
}

// False once the client has gone (or the server is asked to stop).
bool ScriptedPop3Server::Trickle(int conn, const Step& step) {
    for (char c : step.bytes) {
        if (stop_ || send(conn, &c, 1, MSG_NOSIGNAL) != 1) return false;
        pollfd p{conn, POLLRDHUP, 0};
        if (poll(&p, 1, step.intervalMs) > 0) return false;  // the client closed meanwhile
    }
    return true;
}

// Reads byte by byte (so nothing of a later line is taken early) until LF or the end.
bool ScriptedPop3Server::ReadInto(int conn, bool untilNewline) {
    for (;;) {
        if (!WaitReadable(conn, stop_)) return false;
        char c;
        if (recv(conn, &c, 1, 0) != 1) return false;
        std::lock_guard lock(mutex_);
        received_.push_back(c);
        if (!untilNewline) continue;
        if (c != '\n') {
            pending_.push_back(c);
            continue;
        }
        if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
        lines_.push_back(std::move(pending_));
        pending_.clear();
        ahead_.push_back(recv(conn, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 1);
        return true;
    }
}
