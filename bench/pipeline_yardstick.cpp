#include "pipeline_yardstick.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {

class Reader {
  public:
    explicit Reader(int fd) : fd_(fd) {}
    std::string Line() {
        for (;;) {
            const size_t end = buffer_.find("\r\n", pos_);
            if (end != std::string::npos) {
                std::string line = buffer_.substr(pos_, end - pos_);
                pos_ = end + 2;
                return line;
            }
            buffer_.erase(0, pos_);
            pos_ = 0;
            char block[65536];
            const ssize_t n = recv(fd_, block, sizeof block, 0);
            if (n <= 0) throw std::runtime_error("yardstick: connection ended");
            buffer_.append(block, static_cast<size_t>(n));
        }
    }
    std::string Status() {
        std::string line = Line();
        if (!line.starts_with("+OK")) throw std::runtime_error("yardstick: " + line);
        return line;
    }
    // A multi-line reply; returns its line count.
    size_t Multi() {
        Status();
        size_t count = 0;
        while (Line() != ".") ++count;
        return count;
    }

  private:
    int fd_;
    std::string buffer_;
    size_t pos_ = 0;
};

void SendAll(int fd, const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("yardstick: send failed");
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

double RunPipelineYardstick(uint16_t port, const std::string& user, const std::string& password,
                            const std::vector<int>& condemned) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("yardstick: cannot connect");
    Reader reader(fd);
    reader.Status();
    SendAll(fd, "USER " + user + "\r\nPASS " + password + "\r\nLIST\r\n");
    reader.Status();
    reader.Status();
    const size_t listed = reader.Multi();
    std::string retrs;
    for (size_t n = 1; n <= listed; ++n) retrs += "RETR " + std::to_string(n) + "\r\n";
    SendAll(fd, retrs);
    for (size_t n = 1; n <= listed; ++n) reader.Multi();
    std::string tail;
    for (int n : condemned) tail += "DELE " + std::to_string(n) + "\r\n";
    SendAll(fd, tail + "QUIT\r\n");
    for (size_t i = 0; i <= condemned.size(); ++i) reader.Status();
    close(fd);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
