#include "shell/connection_report.h"

#include <QFontDatabase>
#include <QStringList>
#include <ctime>

#include "app/shown_message.h"
#include "net/probe_report.h"

namespace {

QString Escaped(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

// A paragraph of its own in the desktop's fixed-width font, its lines never wrapped.
QString FixedWidth(const QString& html) {
    const QString family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return "<p style=\"margin:0; white-space:pre; font-family:'" + family.toHtmlEscaped() +
           "',monospace\">" + html + "</p>";
}

// One paragraph per run of lines; an empty line leaves a gap before the next paragraph, and a
// line that is a paragraph itself stands alone.
QString Joined(const QStringList& lines) {
    QString html;
    QStringList run;
    QString gap;
    const auto flush = [&] {
        if (run.isEmpty()) return;
        html += "<p style=\"margin:0;" + gap + "\">" + run.join("<br>") + "</p>";
        run.clear();
        gap.clear();
    };
    for (const QString& line : lines) {
        if (line.isEmpty()) {
            flush();
            gap = " margin-top:1em;";
        } else if (line.startsWith("<p ")) {
            flush();
            html += line;
        } else {
            run << line;
        }
    }
    flush();
    return html;
}

// As the Connection page names the choices: each protocol has its own STARTTLS command.
QString EncryptionName(TEncryption encryption, TMailProtocol protocol) {
    switch (encryption) {
        case TEncryption::Stls:
            return protocol == TMailProtocol::Imap ? "STARTTLS (STARTTLS command)"
                                                   : "STARTTLS (STLS command)";
        case TEncryption::TlsOnConnect:
            return "TLS on connect";
        case TEncryption::None:
            break;
    }
    return "None (plain text)";
}

void AddPlain(QStringList& lines, const TProbeReport& report) {
    lines << "Encryption: None (plain text); the password would travel in plain text.";
    if (report.OffersStls)
        lines << "The server offers STARTTLS: choose " +
                     EncryptionName(TEncryption::Stls, report.Protocol) +
                     " on this page to encrypt the connection.";
}

// A pin outlives the certificate's dates: it is the user's word, but the user should know.
void AddPinnedDates(QStringList& lines, const TTlsPeer& peer, const std::string& nowUtc) {
    if (peer.ValidTo < nowUtc)
        lines << "Expired on " + Escaped(peer.ValidTo) + "; trusted because you pinned it.";
    else if (nowUtc < peer.ValidFrom)
        lines << "Not valid before " + Escaped(peer.ValidFrom) + "; trusted because you pinned it.";
}

void AddAdvice(QStringList& lines, const TProbeReport& report) {
    if (!report.Refusal) return;
    lines << "" << Escaped(ShownMessage(*report.Refusal));  // in a check's words
    if (report.Refusal->Reason == ETlsError::TReason::Expired)
        lines << "Trusting it is no fix: wait until the server has a valid certificate.";
    else if (report.Refusal->Reason == ETlsError::TReason::NameMismatch)
        lines << "Trusting it pins this certificate whatever name it is for; do that only for "
                 "a server you reach by its address.";
}

void AddCertificate(QStringList& lines, const TProbeReport& report, const std::string& host,
                    const std::string& nowUtc) {
    const TTlsPeer& peer = report.Peer;
    lines << ""
          << "Certificate";
    lines << "Subject: " + Escaped(peer.Subject);
    lines << "Issuer: " + Escaped(peer.Issuer);
    lines << "Valid from " + Escaped(peer.ValidFrom) + " to " + Escaped(peer.ValidTo);
    lines << "SHA-256:" << FixedWidth(FingerprintLines(peer.Fingerprint)) << "";
    lines << "Trusted for " + Escaped(host) + ": " +
                 (peer.Trusted ? QString("yes") : "no, " + Escaped(peer.Verdict));
    if (peer.Trusted) AddPinnedDates(lines, peer, nowUtc);
    AddAdvice(lines, report);
}

// The folder a check would guard, opened read-only once signed in.
void AddFolder(QStringList& lines, const TProbeReport& report) {
    if (report.Folder.empty()) return;
    const QString folder = Escaped(report.Folder) + ": ";
    if (!report.FolderMessages) {
        lines << folder + "cannot be opened (" + Escaped(report.FolderRefusal) + ")";
        return;
    }
    const uint32_t count = *report.FolderMessages;
    lines << folder + QString::number(count) + (count == 1 ? " message" : " messages");
}

}  // namespace

QString ConnectionReportHtml(const TProbeReport& report, const std::string& host,
                             const std::string& nowUtc) {
    QStringList lines;
    if (!report.Greeting.empty()) lines << "Greeting: " + Escaped(report.Greeting);
    if (!report.Encrypted) {
        AddPlain(lines, report);
    } else {
        lines << "Encryption: " + EncryptionName(report.Encryption, report.Protocol) + ", " +
                     Escaped(report.Peer.Protocol) + ", " + Escaped(report.Peer.Cipher);
        AddCertificate(lines, report, host, nowUtc);
    }
    if (!report.Capabilities.empty()) {
        std::string names;
        for (const std::string& name : report.Capabilities)
            names += (names.empty() ? "" : " ") + name;
        lines << ""
              << "Capabilities: " + Escaped(names);
    }
    if (report.SignInTried)
        lines << ""
              << (report.SignInRefusal.empty()
                      ? QString("Signed in: yes")
                      : "Signed in: no (" + Escaped(report.SignInRefusal) + ")");
    AddFolder(lines, report);
    return Joined(lines);
}

bool OffersTrust(const TProbeReport& report) {
    const bool expired = report.Refusal && report.Refusal->Reason == ETlsError::TReason::Expired;
    return report.Encrypted && !report.Peer.Trusted && !report.Peer.Fingerprint.empty() && !expired;
}

QString FingerprintLines(const std::string& fingerprint) {
    const QString text = Escaped(fingerprint);
    constexpr int kHalf = 16 * 3;  // sixteen pairs with their colons
    return text.size() > kHalf ? text.left(kHalf) + "<br>" + text.mid(kHalf) : text;
}

std::string UtcNowText() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}
