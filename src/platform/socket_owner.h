#pragma once

// Who holds the other end of a loopback TCP connection. Such a connection carries no peer
// credentials, but Linux lists every TCP socket of the network namespace with its owner's uid
// in /proc/net/tcp (IPv4) and /proc/net/tcp6 (IPv6, IPv4-mapped addresses included).

#include <QHostAddress>
#include <cstdint>
#include <optional>
#include <string_view>

struct TTcpEnd {
    QHostAddress Address;
    quint16 Port = 0;
};

// The uid of the socket whose local end is `peer` and whose remote end is `ours`, as the
// system's TCP tables list it: nothing when no such socket is listed (already closed, another
// network namespace, no /proc). IPv4 and IPv4-mapped IPv6 forms of an address are the same.
std::optional<uint32_t> TcpPeerOwner(const TTcpEnd& peer, const TTcpEnd& ours);

// The same lookup in the text of one such table (a heading line, then one socket a line:
// "sl local rem st ..." with addresses as hex 32-bit words in this machine's byte order, ports
// in hex, the uid as the eighth field).
std::optional<uint32_t> TcpOwnerInTable(std::string_view table, const TTcpEnd& peer,
                                        const TTcpEnd& ours);
