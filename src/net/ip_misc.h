#pragma once

#include <cstdint>
#include <string>

// Program-wide socket set-up (ignores SIGPIPE) and its counterpart at exit.
void StartSockets();
void StopSockets();

// IPv4 address in network byte order, or 0xFFFFFFFF when the text cannot be resolved.
uint32_t ResolveHost(const std::string& host);

// The address of a dotted IPv4 text, without any lookup; 0xFFFFFFFF for anything else.
uint32_t ResolveDotted(const std::string& host);

// Reads an IPv4 address (network byte order) the way the resolver does, so "127.1" is one
// too; false for anything else, which is a name. The connection and the certificate check
// both read addresses with it, so that a text is an address for both or for neither.
bool ParseIpv4(const std::string& text, uint32_t& address);

// Dotted-quad text of an address in network byte order.
std::string IpToStr(uint32_t address);
