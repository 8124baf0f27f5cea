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

// Dotted-quad text of an address in network byte order.
std::string IpToStr(uint32_t address);
