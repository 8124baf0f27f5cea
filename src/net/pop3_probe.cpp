#include "net/pop3_probe.h"

TProbeReport TPop3Probe::Run() {
    RefuseUntrusted = false;
    TTcpIp::Login();
    TProbeReport report;
    ReadLine(report.Greeting);
    if (!report.Greeting.starts_with("+OK")) {
        TTcpIp::Logout();  // nothing more to say to it, and nothing to wait for
        throw EProtocolError(ReplyMessage(report.Greeting),
                             report.Greeting.starts_with("-ERR") ? 500 : 999, "POP3");
    }
    report.Greeting = ReplyMessage(report.Greeting);
    if (Encryption == TEncryption::Stls) StartStls();
    const TTlsPeer* peer = TlsPeer();
    if (Encryption != TEncryption::None && peer) {
        report.Encrypted = true;
        report.Peer = *peer;
    }
    std::string farewell;
    SendText("QUIT\r\n");
    ReadLine(farewell);  // its answer changes nothing
    TTcpIp::Logout();
    return report;
}
