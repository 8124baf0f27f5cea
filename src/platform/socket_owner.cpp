#include "platform/socket_owner.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// An address as 16 bytes in network order; IPv4 in its mapped form ::ffff:a.b.c.d.
using Bytes = Q_IPV6ADDR;

bool SameBytes(const Bytes& a, const Bytes& b) {
    return std::memcmp(a.c, b.c, sizeof a.c) == 0;
}

// Qt gives an IPv4 address in its mapped form here.
Bytes BytesOf(const QHostAddress& address) {
    return address.toIPv6Address();
}

// "0100007F:1F90" (or 32 hex digits before the colon): each group of 8 digits is a 32-bit
// word as this machine holds it, so its bytes in memory are the address in network order.
bool ParseEnd(std::string_view text, Bytes& address, quint16& port) {
    const auto colon = text.find(':');
    if (colon != 8 && colon != 32) return false;
    address = Bytes{};
    unsigned char* out = address.c;
    if (colon == 8) {
        out[10] = out[11] = 0xFF;
        out += 12;
    }
    for (size_t word = 0; word * 8 < colon; ++word) {
        uint32_t value = 0;
        const char* begin = text.data() + word * 8;
        if (std::from_chars(begin, begin + 8, value, 16).ptr != begin + 8) return false;
        std::memcpy(out + word * 4, &value, 4);
    }
    unsigned number = 0;
    const char* begin = text.data() + colon + 1;
    const char* end = text.data() + text.size();
    if (std::from_chars(begin, end, number, 16).ptr != end || number > 0xFFFF) return false;
    port = static_cast<quint16>(number);
    return true;
}

bool Matches(std::string_view field, const Bytes& address, quint16 port) {
    Bytes parsed{};
    quint16 parsedPort = 0;
    return ParseEnd(field, parsed, parsedPort) && parsedPort == port && SameBytes(parsed, address);
}

std::string ReadAll(const char* path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::optional<uint32_t> TcpOwnerInTable(std::string_view table, const TTcpEnd& peer,
                                        const TTcpEnd& ours) {
    const Bytes peerBytes = BytesOf(peer.Address);
    const Bytes ourBytes = BytesOf(ours.Address);
    std::istringstream lines{std::string(table)};
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> field;
        for (std::string item; field.size() < 8 && fields >> item;) field.push_back(item);
        if (field.size() < 8) continue;
        if (!Matches(field[1], peerBytes, peer.Port) || !Matches(field[2], ourBytes, ours.Port))
            continue;
        uint32_t uid = 0;
        const std::string& text = field[7];
        if (std::from_chars(text.data(), text.data() + text.size(), uid).ptr !=
            text.data() + text.size())
            return std::nullopt;
        return uid;
    }
    return std::nullopt;
}

std::optional<uint32_t> TcpPeerOwner(const TTcpEnd& peer, const TTcpEnd& ours) {
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        if (auto uid = TcpOwnerInTable(ReadAll(path), peer, ours)) return uid;
    }
    return std::nullopt;
}
