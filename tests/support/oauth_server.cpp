#include "support/oauth_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace {

// The first line the server prints, within ten seconds; empty if none.
std::string ReadFirstLine(int fd) {
    std::string line;
    for (int waited = 0; waited < 10000 && line.find('\n') == std::string::npos; waited += 100) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char buffer[64];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        line.append(buffer, got);
    }
    return line.substr(0, line.find('\n'));
}

}  // namespace

OAuthServer::OAuthServer(const std::vector<std::string>& options) {
    tls_ = std::find(options.begin(), options.end(), "--tls") != options.end();
    std::vector<std::string> args{"python3", VORNASK_OAUTH_SERVER_SCRIPT};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    const std::string line = ReadFirstLine(out[0]);
    close(out[0]);
    port_ = static_cast<uint16_t>(std::atoi(line.c_str()));
    if (pid_ < 0 || port_ == 0) {
        if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        throw std::runtime_error("oauth_server.py did not start");
    }
}

OAuthServer::~OAuthServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string OAuthServer::Url(const std::string& path) const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

std::string StandInBrowserPath() {
    return VORNASK_STAND_IN_BROWSER;
}
