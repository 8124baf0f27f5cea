#include "net/pop3_probe.h"

namespace {

bool IsCertificateRefusal(const ETlsError& e) {
    using R = ETlsError::TReason;
    return !e.Fingerprint.empty() && (e.Reason == R::Untrusted || e.Reason == R::NameMismatch ||
                                      e.Reason == R::Expired || e.Reason == R::PinMismatch);
}

}  // namespace

TProbeReport TPop3Probe::Run() {
    TProbeReport report;
    report.Encryption = Encryption;
    if (SignIn) RefuseUnusableSignIn();
    try {
        Connect();
        ReadGreeting(report);
        if (Encryption == TEncryption::Stls) StartStls();
        if (Encryption == TEncryption::None) report.OffersStls = OffersStls();
    } catch (const ETlsError& e) {
        // The certificate is what the user came to see: the refusal is reported, not raised.
        if (!IsCertificateRefusal(e) || !TlsPeer()) throw;
        report.Encrypted = true;
        report.Peer = *TlsPeer();
        report.Refusal = e;
        return report;  // the refusal closed the connection
    }
    if (const TTlsPeer* peer = TlsPeer(); Encryption != TEncryption::None && peer) {
        report.Encrypted = true;
        report.Peer = *peer;
    }
    if (SignIn) TrySignIn(report);
    std::string farewell;
    SendText("QUIT\r\n");
    ReadLine(farewell);  // its answer changes nothing
    CloseSession();
    return report;
}

void TPop3Probe::TrySignIn(TProbeReport& report) {
    report.SignInTried = true;
    try {
        SendCredentials();
    } catch (const EProtocolError& e) {
        // Only the server's word on the login is a finding; the session may still say QUIT.
        if (e.ErrorCode != kRefusedReply || e.ConnectionLost) throw;
        report.SignInRefusal = e.Message();
    }
}

void TPop3Probe::ReadGreeting(TProbeReport& report) {
    try {
        report.Greeting = ReplyMessage(ReadStatusLine());
    } catch (const EProtocolError&) {
        Abort();  // nothing more to say to it, and nothing to wait for
        throw;
    }
}

// Only advice rides on the answer, so a server that fumbles CAPA still passes the test.
bool TPop3Probe::OffersStls() {
    try {
        return Offers(Capabilities(), "STLS");
    } catch (const EProtocolError&) {
        return false;
    }
}
