#include "shell/connection_report.h"

#include "net/pop3_probe.h"

std::string ConnectionReportText(const TProbeReport& report, const std::string& host) {
    std::string text = "Greeting: " + report.Greeting + "\n";
    if (!report.Encrypted) {
        return text + "Encryption: none; the password would travel in plain text.";
    }
    const TTlsPeer& peer = report.Peer;
    text += "Encryption: " + peer.Protocol + ", " + peer.Cipher + "\n\n";
    text += "Certificate\n";
    text += "Subject: " + peer.Subject + "\n";
    text += "Issuer: " + peer.Issuer + "\n";
    text += "Valid from " + peer.ValidFrom + " to " + peer.ValidTo + "\n";
    text += "SHA-256: " + peer.Fingerprint + "\n\n";
    text += "Trusted for " + host + ": " + (peer.Trusted ? "yes" : "no, " + peer.Verdict);
    return text;
}
