// STARTTLS of an IMAP session (RFC 3501, 2595): only ever before signing in, never a
// fall-back to plain text.
#include "net/imap.h"

// Capabilities learnt in plain text could have been changed on the way: after the handshake
// they are asked for again.
void TImap::StartTls() {
    const auto refuse = [this](const std::string& what) {
        ReleaseSocket(SocketHandle);
        ETlsError refusal(ETlsError::TFault::NoStls, what + "; the password was not sent.");
        refusal.Protocol = "IMAP";
        throw refusal;
    };
    if (capabilities_.empty()) {
        try {
            Capabilities();
        } catch (const EProtocolError& e) {
            if (e.ConnectionLost) throw;
        }
    }
    if (!Offers("STARTTLS")) refuse("The server does not offer STARTTLS");
    const TImapResponse done = Exchange({"STARTTLS"}, {});
    if (!done.IsStatus("OK")) refuse("The server refused STARTTLS (" + done.Line + ")");
    capabilities_.clear();
    try {
        TTcpIp::StartTls();
    } catch (ETlsError& e) {
        e.Protocol = "IMAP";  // its advice names IMAP's ports
        throw;
    }
    Capabilities();
}
