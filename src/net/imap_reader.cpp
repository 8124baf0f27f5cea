// Reading one IMAP response off the connection: its lines and literals, each bounded.
#include <algorithm>

#include "net/imap.h"

// Each response has the connection's reply bounds of its own (its time, its bytes), so a
// long fetch of many messages is bounded message by message.
TImapResponse TImap::ReadResponse() {
    BeginReply();
    parser_.Reset();
    std::string line;
    for (;;) {
        if (!ReadLine(line))
            throw Broken("The connection ended during the response to " + command_ +
                         " (closed by the server, or a line longer than " +
                         std::to_string(MaxLineLength) + " bytes, or too slow)");
        const std::optional<size_t> literal = ParseLine(line);
        if (!literal) return parser_.Take();
        parser_.Literal(ReadLiteral(*literal));
    }
}

std::optional<size_t> TImap::ParseLine(const std::string& line) {
    try {
        return parser_.Line(line);
    } catch (const EProtocolError& unreadable) {
        throw Broken(unreadable.Message());
    }
}

// The room grows with the bytes that came, so an announced size costs nothing until sent.
std::string TImap::ReadLiteral(size_t size) {
    if (size > MaxLiteralBytes)
        throw Broken("The server announced a literal of " + std::to_string(size) +
                     " bytes in the response to " + command_ + ", more than the " +
                     std::to_string(MaxLiteralBytes) + " one message may have");
    constexpr size_t kStep = size_t{1} << 16;
    std::string bytes;
    while (bytes.size() < size) {
        const size_t had = bytes.size();
        const size_t want = std::min(size - had, kStep);
        bytes.resize(had + want);
        int count = 0;
        Receive(bytes.data() + had, static_cast<int>(want), count);
        if (count <= 0)
            throw Broken("The connection ended " + std::to_string(had) +
                         " bytes into a literal of " + std::to_string(size) +
                         " in the response to " + command_ +
                         " (closed by the server, or too slow)");
        bytes.resize(had + static_cast<size_t>(count));
    }
    return bytes;
}
