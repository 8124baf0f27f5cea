#include "net/endpoints.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace {

std::string TextOf(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    } else {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    }
    return text;
}

}  // namespace

std::string BareHost(const std::string& host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

std::vector<TEndpoint> ResolveEndpoints(const std::string& host, uint16_t port) {
    const std::string name = BareHost(host);
    std::vector<TEndpoint> endpoints;
    if (name.empty()) return endpoints;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(name.c_str(), service.c_str(), &hints, &found) != 0) return endpoints;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        TEndpoint endpoint;
        std::memcpy(&endpoint.Address, a->ai_addr, a->ai_addrlen);
        endpoint.Length = a->ai_addrlen;
        endpoint.Text = TextOf(a->ai_addr);
        endpoints.push_back(std::move(endpoint));
    }
    freeaddrinfo(found);
    return endpoints;
}
