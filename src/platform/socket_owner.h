#pragma once

// Who holds the other end of a loopback TCP connection. Such a connection carries no peer
// credentials, but Linux tells the owner's uid of any TCP socket of the network namespace: one
// socket at a time through the socket diagnostics of netlink, and all of them at once in
// /proc/net/tcp (IPv4) and /proc/net/tcp6 (IPv6, IPv4-mapped addresses included), which is
// read only where netlink cannot answer. Only an established socket counts: a closed one (in
// TIME_WAIT) is listed with uid 0 whoever held it.

#include <QHostAddress>
#include <cstdint>
#include <optional>
#include <string_view>

struct TTcpEnd {
    QHostAddress Address;
    quint16 Port = 0;
};

// The uid of the established socket whose local end is `peer` and whose remote end is `ours`:
// nothing when there is no such socket (not established, already closed, another network
// namespace, neither netlink nor /proc). IPv4 and IPv4-mapped IPv6 forms of an address are the
// same.
std::optional<uint32_t> TcpPeerOwner(const TTcpEnd& peer, const TTcpEnd& ours);

// The same lookup in the text of one such table (a heading line, then one socket a line:
// "sl local rem st ..." with addresses as hex 32-bit words in this machine's byte order, ports
// in hex, the state as the fourth field (01 established), the uid as the eighth).
std::optional<uint32_t> TcpOwnerInTable(std::string_view table, const TTcpEnd& peer,
                                        const TTcpEnd& ours);
