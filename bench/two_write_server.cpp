#include "two_write_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace {

void Write(int fd, const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

bool ReadLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (recv(fd, &c, 1, 0) == 1) {
        if (c == '\n') return true;
        if (c != '\r') line += c;
    }
    return false;
}

const std::string kBody =
    "From: a@example.org\r\nSubject: two writes\r\n\r\n" + std::string(400, 'x') + "\r\n.\r\n";

}  // namespace

TwoWriteServer::TwoWriteServer(int messages) : messages_(messages) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error("two-write server: cannot listen");
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

TwoWriteServer::~TwoWriteServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

void TwoWriteServer::Run() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const int conn = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn < 0) continue;
        Serve(conn);
        close(conn);
    }
}

void TwoWriteServer::Serve(int conn) {
    Write(conn, "+OK ready\r\n");
    std::string line;
    while (ReadLine(conn, line)) {
        if (line.starts_with("LIST")) {
            std::string listing = "+OK\r\n";
            for (int n = 1; n <= messages_; ++n)
                listing += std::to_string(n) + " " + std::to_string(kBody.size()) + "\r\n";
            Write(conn, listing + ".\r\n");
        } else if (line.starts_with("RETR") || line.starts_with("TOP")) {
            Write(conn, "+OK\r\n");
            Write(conn, kBody);
        } else {
            Write(conn, "+OK\r\n");
            if (line.starts_with("QUIT")) return;
        }
    }
}
