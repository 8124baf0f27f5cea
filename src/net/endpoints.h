#pragma once

// Every address a host has, for connecting to each in turn.

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

struct TEndpoint {
    sockaddr_storage Address{};
    socklen_t Length = 0;
    std::string Text;  // "192.0.2.1", "2001:db8::1"
};

// The host without the brackets of an IPv6 literal.
std::string BareHost(const std::string& host);

// The IPv6 and IPv4 addresses of a name, or the one of an address literal (an IPv6 literal
// may stand in brackets), with the port, in the resolver's order. Empty when there is none.
std::vector<TEndpoint> ResolveEndpoints(const std::string& host, uint16_t port);

// What a connection resolves its host with: ResolveEndpoints, unless a test puts a resolver of
// fixed answers in its place.
using TResolver = std::vector<TEndpoint> (*)(const std::string& host, uint16_t port);
inline TResolver HostResolver = ResolveEndpoints;
