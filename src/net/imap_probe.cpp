#include "net/imap_probe.h"

#include "net/imap_text.h"

namespace {

bool IsCertificateRefusal(const ETlsError& e) {
    using R = ETlsError::TReason;
    return !e.Fingerprint.empty() && (e.Reason == R::Untrusted || e.Reason == R::NameMismatch ||
                                      e.Reason == R::Expired || e.Reason == R::PinMismatch);
}

// Only the server's word on a command is a finding; anything else ends the test.
bool IsFinding(const EProtocolError& e) {
    return e.ErrorCode == kRefusedReply && !e.ConnectionLost;
}

}  // namespace

TProbeReport TImapProbe::Run() {
    TProbeReport report;
    report.Protocol = TMailProtocol::Imap;
    report.Encryption = Encryption;
    if (SignIn) RefuseUnusableSignIn();
    try {
        const std::optional<bool> preauth = Reach(report);
        if (!preauth) return report;  // the refusal closed the connection
        const bool signedIn = *preauth || (SignIn && TrySignIn(report));
        if (signedIn) LookAtFolder(report);
    } catch (...) {
        Abort();
        throw;
    }
    // The findings stand whatever the farewell brings.
    try {
        Logout();
    } catch (const Exception&) {
        Abort();
    }
    return report;
}

std::optional<bool> TImapProbe::Reach(TProbeReport& report) {
    bool preauth = false;
    try {
        preauth = Greet();
        report.Greeting = Greeting;
        if (Encryption == TEncryption::Stls) {
            if (preauth) {
                ETlsError early(
                    ETlsError::TFault::NoStls,
                    "The server signed in before STARTTLS (PREAUTH); nothing was sent.");
                early.Protocol = "IMAP";
                throw early;
            }
            StartTls();
        }
    } catch (const ETlsError& e) {
        // The certificate is what the user came to see: the refusal is reported, not raised.
        if (!IsCertificateRefusal(e) || !TlsPeer()) throw;
        report.Encrypted = true;
        report.Peer = *TlsPeer();
        report.Refusal = e;
        Abort();
        return std::nullopt;
    }
    if (const TTlsPeer* peer = TlsPeer(); Encryption != TEncryption::None && peer) {
        report.Encrypted = true;
        report.Peer = *peer;
    }
    // Only advice rides on them, so a server that fumbles CAPABILITY still passes the test.
    try {
        report.Capabilities = Capabilities();
    } catch (const EProtocolError& e) {
        if (!IsFinding(e)) throw;
    }
    if (Encryption == TEncryption::None) report.OffersStls = Offers("STARTTLS");
    return preauth;
}

bool TImapProbe::TrySignIn(TProbeReport& report) {
    report.SignInTried = true;
    try {
        TImap::SignIn();
        return true;
    } catch (const EProtocolError& e) {
        if (!IsFinding(e)) throw;
        report.SignInRefusal = ImapWithoutTag(e.Message());
        return false;
    }
}

void TImapProbe::LookAtFolder(TProbeReport& report) {
    report.Folder = Folder.empty() ? "INBOX" : Folder;
    try {
        report.FolderMessages = Examine(ImapFolderName(report.Folder)).Exists;
    } catch (const EProtocolError& e) {
        if (!IsFinding(e)) throw;
        report.FolderRefusal = ImapWithoutTag(e.Message());
    }
}
