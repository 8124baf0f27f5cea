// Peak memory of one check against a hostile POP3 server on loopback, the server in a child
// process so that the peak is the client's alone:
//   hostile_bench subjects N   the classic check of N messages whose headers carry a 1 MiB
//                              Subject line each (header read, logout, kill pass);
//   hostile_bench listing MIB  the classic login against a LIST reply of MIB MiB of "1 1";
//   hostile_bench uids N       the fast check's login against N listed messages with 69-byte
//                              unique ids.
// Prints the outcome, the seconds taken and the client's peak RSS.
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "filter/fast_pass.h"
#include "filter/kill_list_store.h"
#include "filter/kill_pass.h"
#include "net/ip_misc.h"
#include "net/pop3.h"
#include "platform/registry.h"

namespace {

const std::string kWork = std::filesystem::temp_directory_path() / "vornask-hostile-bench";

void Write(int fd, const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) _exit(0);
        sent += static_cast<size_t>(n);
    }
}

// Buffered line reads: the client may pipeline its commands.
struct TReader {
    int fd;
    std::string held;
    bool Line(std::string& line) {
        for (;;) {
            const size_t end = held.find('\n');
            if (end != std::string::npos) {
                line = held.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                held.erase(0, end + 1);
                return true;
            }
            char buffer[4096];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            held.append(buffer, static_cast<size_t>(n));
        }
    }
};

// Sends a listing of count lines made by line(n), in pieces of about 1 MiB.
template <class Line>
void SendListing(int fd, size_t count, const Line& line) {
    std::string piece = "+OK\r\n";
    for (size_t n = 1; n <= count; ++n) {
        piece += line(n);
        if (piece.size() >= (1u << 20)) {
            Write(fd, piece);
            piece.clear();
        }
    }
    Write(fd, piece + ".\r\n");
}

void Serve(int conn, const std::string& mode, size_t amount) {
    const std::string subject = "Subject: " + std::string(size_t{1} << 20, 's') + "\r\n";
    const std::string uidTail(60, 'u');
    TReader reader{conn, {}};
    Write(conn, "+OK hostile\r\n");
    for (std::string line; reader.Line(line);) {
        if (line == "CAPA") {
            Write(conn, "+OK\r\nPIPELINING\r\nUIDL\r\n.\r\n");
        } else if (line == "LIST" && mode == "listing") {
            SendListing(conn, amount * (size_t{1} << 20) / 5, [](size_t) { return "1 1\r\n"; });
        } else if (line == "LIST") {
            SendListing(conn, amount, [](size_t n) { return std::to_string(n) + " 100\r\n"; });
        } else if (line == "UIDL") {
            SendListing(conn, amount, [&](size_t n) {
                return std::to_string(n) + " " + std::to_string(n + 100000000) + uidTail + "\r\n";
            });
        } else if (line.starts_with("TOP ")) {
            Write(conn, "+OK\r\nFrom: a@example.org\r\n" + subject + "\r\n.\r\n");
        } else if (line.starts_with("RETR ")) {
            Write(conn, "+OK\r\nFrom: a@example.org\r\nSubject: short\r\n\r\nbody\r\n.\r\n");
        } else if (line == "QUIT") {
            Write(conn, "+OK\r\n");
            return;
        } else {
            Write(conn, "+OK\r\n");
        }
    }
}

// Forks a server that serves every connection in turn until the client ends it.
pid_t StartServer(const std::string& mode, size_t amount, uint16_t& port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return -1;
    port = ntohs(addr.sin_port);
    const pid_t child = fork();
    if (child == 0) {
        for (;;) {
            const int conn = accept(listener, nullptr, nullptr);
            if (conn < 0) _exit(0);
            Serve(conn, mode, amount);
            close(conn);
        }
    }
    close(listener);
    return child;
}

void RunCheck(const std::string& mode, uint16_t port) {
    TPop3 pop;
    pop.Hostname = "127.0.0.1";
    pop.Port = port;
    pop.UserName = "u";
    pop.Password = "p";
    TRegistry registry(kWork + "/registry.reg");
    if (mode == "uids") {
        TFastCheck check(pop, registry, "", kWork + "/cache");
        check.Login();
        std::printf("listed %d\n", check.Listed());
        int32_t count = check.Listed();
        if (count > 0) pop.Abort();  // the listing is what is measured
        return;
    }
    pop.Login();
    if (mode == "listing") {
        std::printf("listed %zu\n", pop.Messages.size());
        pop.Logout();
        return;
    }
    pop.ReadHeaders();
    pop.Logout();
    auto count = static_cast<int32_t>(pop.MailText.size());
    KillPass(pop, registry, "", count);
    std::printf("checked %zu messages\n", static_cast<size_t>(pop.MailText.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hostile_bench subjects|listing|uids AMOUNT\n");
        return 2;
    }
    const std::string mode = argv[1];
    const size_t amount = std::stoul(argv[2]);
    StartSockets();
    std::filesystem::remove_all(kWork);
    std::filesystem::create_directories(kWork);
    {
        TRegistry registry(kWork + "/registry.reg");
        SaveKillList(registry, {"Subject: = no such subject"});
    }
    uint16_t port = 0;
    const pid_t server = StartServer(mode, amount, port);
    const auto start = std::chrono::steady_clock::now();
    try {
        RunCheck(mode, port);
    } catch (const std::exception& e) {
        std::printf("check failed: %s\n", e.what());
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s %zu: %.2f s, client peak RSS %.1f MB\n", mode.c_str(), amount, seconds,
                static_cast<double>(usage.ru_maxrss) / 1024);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::filesystem::remove_all(kWork);
    return 0;
}
