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
    uint32_t address = INADDR_NONE;
    return ParseIpv4(host, address) ? address : INADDR_NONE;
}

// The resolver's own numeric reading: no lookup, and no trailing text after the address as
// inet_addr would allow.
bool ParseIpv4(const std::string& text, uint32_t& address) {
    if (text.empty()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

std::string IpToStr(uint32_t address) {
    const uint32_t host = ntohl(address);
    return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
           std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}
