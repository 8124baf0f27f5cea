// The STLS upgrade of a POP3 session (RFC 2595): only ever before USER, never a fall-back.
#include "net/pop3.h"

void TPop3::StartStls() {
    const auto refuse = [this](const std::string& what) {
        ReleaseSocket(SocketHandle);
        throw ETlsError(ETlsError::TFault::NoStls, what + "; the password was not sent.");
    };
    bool offered = false;
    try {
        offered = Offers(ReadCapabilities(), "STLS");
    } catch (const EProtocolError& e) {
        // A server without CAPA (-ERR) may still know STLS: asking is safe, its answer decides.
        // A list cut off or too long is no capability list.
        offered = e.ErrorCode == kRefusedReply;
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
