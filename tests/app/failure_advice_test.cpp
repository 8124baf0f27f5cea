// The words a user reads for a failure the network layer reports: what went wrong, in that
// layer's words, then what to do about it, which names this program's dialogs.
#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "app/shown_message.h"
#include "filter/deletion_log.h"
#include "net/imap_access.h"
#include "net/tls_certificate.h"
#include "support/files.h"
#include "support/net_access.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;

// The failure that `fail` raises, as the user reads it.
std::string Shown(const std::function<void()>& fail) {
    try {
        fail();
    } catch (const Exception& e) {
        return ShownMessage(e);
    }
    return "(nothing raised)";
}

// Logs in to a server playing `script`, with `encryption` and whatever `set` changes.
std::function<void()> Login(std::vector<S::Step> script, TEncryption encryption,
                            std::function<void(TestPop3&)> set = {}) {
    return [script = std::move(script), encryption, set = std::move(set)] {
        S server(script);
        TestPop3 pop(server.Port());
        pop.Encryption = encryption;
        pop.ReceiveTimeoutMs = 300;
        if (set) set(pop);
        pop.Login();
    };
}

// Opens an IMAP session (as a check does) with a server playing `script`.
std::function<void()> Open(std::vector<S::Step> script, TEncryption encryption) {
    return [script = std::move(script), encryption] {
        S server(script);
        TestImap imap(server.Port());
        imap.Encryption = encryption;
        imap.ReceiveTimeoutMs = 300;
        imap.Open();
    };
}

// Each way a connection fails before the password is sent, in full, as the tooltip, the
// boxes and --check show it.
TEST(FailureAdviceTest, ConnectionFailuresReadInFull) {
    using E = TEncryption;
    const std::string failed = "TLS handshake with 127.0.0.1 failed: ";
    const S::Step greet = S::Send("+OK ready\r\n");
    TConnection unreadable;
    unreadable.Encryption = std::nullopt;
    TConnection unreadableWay;
    unreadableWay.Authentication = std::nullopt;
    TConnection unreadableProtocol;
    unreadableProtocol.Protocol = std::nullopt;
    const struct {
        const char* name;
        std::function<void()> fail;
        std::string shown;
    } cases[] = {
        {"silent", Login({S::ReadToEnd()}, E::TlsOnConnect),
         failed + "the server ended the connection or did not answer in time; check Encryption "
                  "and Port with Test connection in Mail Options."},
        {"plain on the TLS port", Login({greet, S::ReadToEnd()}, E::TlsOnConnect),
         failed + "the server does not speak TLS on this port (wrong version number); choose "
                  "STARTTLS, or the TLS port (usually 995), in Mail Options."},
        {"no STLS", Login({greet, S::ReadLine(), S::Send("+OK\r\nTOP\r\n.\r\n")}, E::Stls),
         "The server does not offer STLS; the password was not sent. Choose TLS on connect "
         "(usually port 995) in Mail Options."},
        {"data behind STLS",
         Login({greet, S::ReadLine(), S::Send("+OK\r\nSTLS\r\n.\r\n"), S::ReadLine(),
                S::Send("+OK go ahead\r\n+OK injected\r\n"), S::ReadToEnd()},
               E::Stls),
         failed + "the server sent data before the handshake; choose TLS on connect (usually "
                  "port 995) in Mail Options."},
        {"pin no fingerprint",
         Login({}, E::TlsOnConnect, [](TestPop3& pop) { pop.TrustedCertificate = "AB:CD"; }),
         "The trusted certificate is not a SHA-256 fingerprint; correct it in Mail Options."},
        {"token in clear",
         Login({}, E::None, [](TestPop3& pop) { pop.Authentication = TAuthentication::OAuth2; }),
         "OAuth2 sign-in needs an encrypted connection; choose STARTTLS or TLS on connect in "
         "Mail Options."},
        {"unreadable encryption", [&] { TPop3().Use(unreadable); },
         "The stored encryption setting cannot be read; choose it again in Mail Options."},
        {"unreadable way of signing in", [&] { TPop3().Use(unreadableWay); },
         "The stored authentication setting cannot be read; choose it again in Mail Options."},
        {"unknown encryption", [] { EncryptionFromNumber(7); },
         "Unknown encryption 7; nothing was sent to the server"},
        {"IMAP: plain on the TLS port",
         Open({S::Send("* OK hi\r\n"), S::ReadToEnd()}, E::TlsOnConnect),
         failed + "the server does not speak TLS on this port (wrong version number); choose "
                  "STARTTLS, or the TLS port (usually 993), in Mail Options."},
        {"IMAP: no STARTTLS", Open({S::Send("* OK [CAPABILITY IMAP4rev1] hi\r\n")}, E::Stls),
         "The server does not offer STARTTLS; the password was not sent. Choose TLS on connect "
         "(usually port 993) in Mail Options."},
        {"unreadable protocol", [&] { TImap().Use(unreadableProtocol); },
         "The stored protocol setting cannot be read; choose it again in Mail Options."},
        {"mailbox too large", [] { throw EMailboxTooLarge("The mailbox lists more.", 9); },
         "The mailbox lists more. Nothing was deleted; delete or move messages with your mail "
         "program until fewer remain."},
    };
    for (const auto& c : cases) EXPECT_EQ(Shown(c.fail), c.shown) << c.name;
}

// Every refusal names the fault within the tooltip's 63 characters, ends with the step to
// take, and never puts a full stop right after the fingerprint, where a copy would pick it up.
TEST(FailureAdviceTest, SaysWhatIsWrongFirstAndWhatToDoLast) {
    TTlsPeer peer;
    peer.Fingerprint = "AB:CD";
    peer.Names = "DNS:pop.example.com, IP:192.0.2.1";
    peer.Verdict = "self-signed certificate";
    peer.ValidFrom = "2030-01-01 00:00:00 UTC";
    peer.ValidTo = "2020-01-01 00:00:00 UTC";
    const TTlsSettings plain{"mail.example.com", "", true, 1000};
    TTlsSettings pinned = plain;
    pinned.PinnedFingerprint = "00:11";
    const struct {
        long verdict;
        const TTlsSettings& settings;
        const char* start;
        const char* step;
    } cases[] = {
        {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, plain,
         "Certificate not trusted (self-signed) for mail.example.com: the server signed it "
         "itself (self-signed certificate); SHA-256 fingerprint AB:CD; ",
         "use Test connection in Mail Options to compare the fingerprint and trust this "
         "certificate."},
        {X509_V_ERR_HOSTNAME_MISMATCH, plain,
         "Certificate not valid for mail.example.com (it is for DNS:pop.example.com, "
         "IP:192.0.2.1); ",
         "Mail Options."},
        {X509_V_OK, pinned,
         "Certificate is not the trusted one for mail.example.com; its SHA-256 fingerprint is "
         "AB:CD; ",
         "compare this new fingerprint with your provider's, then trust it with Test "
         "connection in Mail Options."},
    };
    for (const auto& c : cases) {
        const ETlsError e = RefusalOf(peer, c.verdict, c.settings);
        const std::string shown = ShownMessage(e);
        EXPECT_TRUE(shown.starts_with(c.start)) << shown;
        EXPECT_TRUE(shown.ends_with(c.step)) << shown;
        EXPECT_EQ(shown.find("AB:CD."), std::string::npos) << shown;
        EXPECT_EQ(e.Fingerprint, "AB:CD");
    }
    // In full: the refusals that no step in Mail Options mends, and the certificate that
    // never came.
    EXPECT_EQ(ShownMessage(RefusalOf(peer, X509_V_ERR_CERT_HAS_EXPIRED, plain)),
              "Certificate expired on 2020-01-01 00:00:00 UTC for mail.example.com; check this "
              "computer's clock, or ask the provider to renew it.");
    EXPECT_EQ(ShownMessage(RefusalOf(peer, X509_V_ERR_CERT_NOT_YET_VALID, plain)),
              "Certificate not valid before 2030-01-01 00:00:00 UTC for mail.example.com; check "
              "this computer's clock.");
    EXPECT_EQ(ShownMessage(RefusalOf(TTlsPeer{}, X509_V_OK, plain)),
              "No certificate from mail.example.com; check Encryption and Port with Test "
              "connection in Mail Options.");
}

// A deletion log refused for safety names the file, then what the user can do in Mail Options.
TEST(FailureAdviceTest, ARefusedDeletionLogSaysWhichFileAndWhatToDo) {
    TempFolder folder;
    const std::string path = folder / "log";
    WriteFileBytes(path, "");
    ::chmod(path.c_str(), 0666);
    EXPECT_EQ(Shown([&] { TDeletionLog log(path); }),
              "Other users may write to the deletion log " + path +
                  "; make it writable by you alone (chmod go-w), or choose another file in Mail "
                  "Options.");
}

}  // namespace
