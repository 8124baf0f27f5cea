#include "platform/socket_owner.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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

constexpr const char* EstablishedState = "01";

// What netlink says of one socket: its owner when it is established, or that it is not there,
// or (Unknown) that the diagnostics cannot answer here.
struct TDiagAnswer {
    enum { Found, Missing, Unknown } Kind = Unknown;
    std::optional<uint32_t> Uid;
};

// Fills an end of a socket id: IPv4 (or mapped) addresses as one word, else all sixteen bytes.
void PutEnd(const QHostAddress& address, quint16 port, bool v4, __be32* words, __be16& portOut) {
    const Bytes bytes = BytesOf(address);
    std::memcpy(words, v4 ? bytes.c + 12 : bytes.c, v4 ? 4 : 16);
    portOut = htons(port);
}

bool IsV4(const QHostAddress& address) {
    bool v4 = false;
    address.toIPv4Address(&v4);
    return v4;
}

// Asks the kernel for the one TCP socket with this local and remote end.
TDiagAnswer AskNetlink(const TTcpEnd& local, const TTcpEnd& remote) {
    const bool v4 = IsV4(local.Address);
    if (v4 != IsV4(remote.Address)) return {TDiagAnswer::Missing, {}};
    struct {
        nlmsghdr Header;
        inet_diag_req_v2 Request;
    } message{};
    message.Header.nlmsg_len = sizeof message;
    message.Header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.Header.nlmsg_flags = NLM_F_REQUEST;
    message.Request.sdiag_family = v4 ? AF_INET : AF_INET6;
    message.Request.sdiag_protocol = IPPROTO_TCP;
    message.Request.idiag_states = ~0u;
    inet_diag_sockid& id = message.Request.id;
    PutEnd(local.Address, local.Port, v4, id.idiag_src, id.idiag_sport);
    PutEnd(remote.Address, remote.Port, v4, id.idiag_dst, id.idiag_dport);
    id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0) return {};
    alignas(nlmsghdr) char reply[1024];
    ssize_t got = -1;
    if (send(fd, &message, sizeof message, 0) == ssize_t(sizeof message))
        got = recv(fd, reply, sizeof reply, 0);
    close(fd);
    const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
    if (got < ssize_t(sizeof *header) || !NLMSG_OK(header, size_t(got))) return {};
    if (header->nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
        if (header->nlmsg_len >= NLMSG_LENGTH(sizeof *error) && error->error == -ENOENT)
            return {TDiagAnswer::Missing, {}};
        return {};
    }
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
        header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
        return {};
    const auto* socketInfo = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    if (socketInfo->idiag_state != TCP_ESTABLISHED) return {TDiagAnswer::Found, {}};
    return {TDiagAnswer::Found, socketInfo->idiag_uid};
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
        if (field[3] != EstablishedState) return std::nullopt;
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
    // The peer's socket is not found when it is gone, and also when the kernel has no socket
    // diagnostics for TCP; our own end, open here, tells the two apart.
    const TDiagAnswer answer = AskNetlink(peer, ours);
    if (answer.Kind == TDiagAnswer::Found) return answer.Uid;
    if (answer.Kind == TDiagAnswer::Missing && AskNetlink(ours, peer).Kind == TDiagAnswer::Found)
        return std::nullopt;
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        if (auto uid = TcpOwnerInTable(ReadAll(path), peer, ours)) return uid;
    }
    return std::nullopt;
}
