#include "net/ip_misc.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <csignal>
#include <cstdlib>

void StartSockets() {
    // Writing into a connection the peer has closed must fail, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    static const bool registered = std::atexit(StopSockets) == 0;
    (void)registered;
}

// POSIX sockets need no library shut-down and no blocking call can be pending at exit.
void StopSockets() {}

uint32_t ResolveHost(const std::string& host) {
    constexpr uint32_t kUnresolved = 0xFFFFFFFFu;
    // A dotted address never reaches the name service.
    const uint32_t dotted = ResolveDotted(host);
    if (dotted != kUnresolved || host.empty()) return dotted;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return kUnresolved;
    const uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

uint32_t ResolveDotted(const std::string& host) {
    return host.empty() ? INADDR_NONE : inet_addr(host.c_str());
}

std::string IpToStr(uint32_t address) {
    const uint32_t host = ntohl(address);
    return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
           std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}
