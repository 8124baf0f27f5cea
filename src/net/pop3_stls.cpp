// The STLS upgrade of a POP3 session (RFC 2595): only ever before USER, never a fall-back.
#include <cctype>

#include "net/pop3.h"

namespace {

// More capability lines than any server sends: a longer list is not believed.
constexpr int kMaxCapabilities = 256;

bool NamesStls(const std::string& capability) {
    const std::string word = capability.substr(0, capability.find(' '));
    if (word.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        if (std::toupper(static_cast<unsigned char>(word[i])) != "STLS"[i]) return false;
    }
    return true;
}

}  // namespace

void TPop3::StartStls() {
    const auto refuse = [this](const std::string& what) {
        ReleaseSocket(SocketHandle);
        throw ETlsError(ETlsError::TReason::NoStls,
                        what +
                            "; the password was not sent. Choose TLS on connect (usually port "
                            "995) in Mail Options.");
    };
    SendText("CAPA\r\n");
    BeginReply();
    std::string status;
    ReadLine(status);
    // A server without CAPA (-ERR) may still know STLS: asking is safe, its answer decides.
    bool offered = status.starts_with("-ERR");
    if (status.starts_with("+OK")) {
        int count = 0;
        std::string line;
        while (ReadLine(line) && line != "." && ++count <= kMaxCapabilities) {
            offered = offered || NamesStls(line);
            line.clear();
        }
        if (line != ".") offered = false;  // cut off or too long: not a capability list
    }
    if (!offered) refuse("The server does not offer STLS");
    SendText("STLS\r\n");
    BeginReply();
    std::string reply;
    ReadLine(reply);
    if (!reply.starts_with("+OK")) {
        refuse("The server refused STLS" +
               (reply.empty() ? std::string() : " (" + ReplyMessage(reply) + ")"));
    }
    StartTls();
}
