// TLS on connect and STLS against a private Dovecot with throw-away certificates: whole
// sessions, each certificate refusal, pins, mismatched ports and IPv6.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

#include "net/imap_probe.h"
#include "net/pop3_probe.h"
#include "support/dovecot_server.h"
#include "support/net_access.h"
#include "support/test_certificates.h"

namespace {

using R = ETlsError::TReason;

const TestCertificates& Certs() {
    return TestCertificates::Get();
}

const std::string kMessage =
    "From: Ann <ann@example.org>\nTo: joe@example.org\nSubject: Lunch\n\nNoon?\n";

class TlsDovecotTest : public testing::Test {
  protected:
    void TrustOnlyFile(const std::string& file) {
        trust_.reset();  // the old values back first, then the new ones
        trust_.emplace(file);
    }
    void Start(const std::string& cert, bool ipv6 = false) {
        server_ = std::make_unique<DovecotServer>(
            "joe", "pw", DovecotOptions{Certs().Pem(cert), Certs().Key(cert), ipv6});
        server_->Deliver(kMessage);
    }
    // A client for the encryption, on the port the server offers it.
    std::unique_ptr<TestPop3> Client(TEncryption encryption,
                                     const std::string& host = "localhost") {
        auto pop = std::make_unique<TestPop3>(
            encryption == TEncryption::TlsOnConnect ? server_->TlsPort() : server_->Port());
        pop->Hostname = host;
        pop->Encryption = encryption;
        return pop;
    }
    std::string ServerLog() const { return server_->Log(); }
    std::optional<TrustOnly> trust_{std::in_place};
    std::unique_ptr<DovecotServer> server_;
};

TEST_F(TlsDovecotTest, WholeSessionOverEitherEncryption) {
    Start("server");
    for (TEncryption encryption : {TEncryption::Stls, TEncryption::TlsOnConnect}) {
        auto pop = Client(encryption);
        pop->Login();
        pop->ReadHeaders();
        ASSERT_EQ(pop->MailText, TLineBuffer{"Ann <ann@example.org>\x07Lunch"});
        pop->RetrieveMessage(1);
        EXPECT_EQ(pop->MailText.back(), "Noon?");
        pop->Logout();
    }
    // Dovecot marks encrypted logins; both sessions were.
    const std::vector<std::string> logins = server_->AwaitLogLines("Login: user=<joe>", 2);
    for (const std::string& line : logins) EXPECT_NE(line.find(", TLS"), std::string::npos) << line;
    EXPECT_EQ(logins.size(), 2u);
}

struct RefusalCase {
    const char* name;
    const char* cert;
    const char* host;
    const char* trustFile;  // nullptr: the test authority
    bool pinOther;          // pin the self-signed certificate's fingerprint
    R reason;
    const char* messagePart;
};

TEST_F(TlsDovecotTest, RefusedCertificatesStopBeforeTheGreeting) {
    const std::vector<RefusalCase> cases = {
        {"unknown authority", "server", "localhost", "selfsigned", false, R::Untrusted,
         "Certificate not trusted (unknown authority) for localhost: "},
        {"other name", "wrongname", "localhost", nullptr, false, R::NameMismatch,
         "Certificate not valid for localhost (it is for DNS:wrong.example)"},
        {"other address", "wrongname", "127.0.0.1", nullptr, false, R::NameMismatch,
         "Certificate not valid for 127.0.0.1"},
        {"expired", "expired", "localhost", nullptr, false, R::Expired,
         "Certificate expired on 2020-02-01 00:00:00 UTC"},
        {"pin of another", "server", "localhost", nullptr, true, R::PinMismatch,
         "Certificate is not the trusted one for localhost; its SHA-256 fingerprint is "},
    };
    for (const RefusalCase& c : cases) {
        Start(c.cert);
        TrustOnlyFile(c.trustFile ? Certs().Pem(c.trustFile) : Certs().Ca());
        for (TEncryption encryption : {TEncryption::Stls, TEncryption::TlsOnConnect}) {
            auto pop = Client(encryption, c.host);
            if (c.pinOther) pop->TrustedCertificate = Certs().Fingerprint("selfsigned");
            try {
                pop->Login();
                ADD_FAILURE() << c.name << ": logged in";
            } catch (const ETlsError& e) {
                EXPECT_EQ(e.Reason, c.reason) << c.name;
                EXPECT_NE(e.Message().find(c.messagePart), std::string::npos) << e.Message();
                EXPECT_EQ(e.Fingerprint, Certs().Fingerprint(c.cert)) << c.name;
            }
            EXPECT_EQ(pop->SocketHandle, -1);
        }
        EXPECT_EQ(ServerLog().find("Login: user="), std::string::npos) << c.name;
    }
}

// A pin is trusted instead of the store (the forms a user may paste: FingerprintTest).
TEST_F(TlsDovecotTest, PinnedCertificateNeedsNoStore) {
    Start("selfsigned");
    TrustOnlyFile("/nonexistent");
    auto pop = Client(TEncryption::TlsOnConnect, "127.0.0.1");
    pop->TrustedCertificate = Certs().Fingerprint("selfsigned");
    pop->Login();
    EXPECT_EQ(pop->Messages.size(), 1u);
    pop->Logout();
}

bool HasIpv6Loopback() {
    const int fd = socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

TEST_F(TlsDovecotTest, Ipv6LoopbackByAddressInEitherForm) {
    if (!HasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback address ::1";
    Start("server", true);
    for (const char* host : {"::1", "[::1]"}) {
        for (TEncryption encryption : {TEncryption::None, TEncryption::TlsOnConnect}) {
            auto pop = Client(encryption, host);
            pop->Login();
            EXPECT_EQ(pop->PeerAddress, "::1");
            EXPECT_EQ(pop->Messages.size(), 1u);
            pop->Logout();
        }
    }
}

// The probe reports an untrusted certificate instead of refusing it, with the reason a check
// would give, and sends no login.
TEST_F(TlsDovecotTest, ProbeShowsTheCertificateItDoesNotTrust) {
    const struct {
        const char* cert;
        TEncryption encryption;
        R reason;
    } cases[] = {
        {"selfsigned", TEncryption::Stls, R::Untrusted},
        {"wrongname", TEncryption::Stls, R::NameMismatch},
        {"expired", TEncryption::TlsOnConnect, R::Expired},
    };
    for (const auto& c : cases) {
        Start(c.cert);
        TPop3Probe probe;
        probe.Hostname = "localhost";
        probe.Port = c.encryption == TEncryption::Stls ? server_->Port() : server_->TlsPort();
        probe.Encryption = c.encryption;
        const TProbeReport report = probe.Run();
        // TLS on connect meets the certificate before the greeting.
        EXPECT_EQ(report.Greeting,
                  c.encryption == TEncryption::Stls ? std::string("+OK ") + kDovecotGreeting : "");
        ASSERT_TRUE(report.Encrypted);
        EXPECT_FALSE(report.Peer.Trusted);
        ASSERT_TRUE(report.Refusal) << c.cert;
        EXPECT_EQ(report.Refusal->Reason, c.reason) << c.cert;
        EXPECT_EQ(report.Peer.Fingerprint, Certs().Fingerprint(c.cert));
        EXPECT_TRUE(report.Peer.Protocol == "TLSv1.3" || report.Peer.Protocol == "TLSv1.2");
        EXPECT_EQ(probe.SocketHandle, -1);
        EXPECT_EQ(ServerLog().find("Login: user="), std::string::npos);
    }
    Start("expired");
    TPop3Probe pinned;
    pinned.Hostname = "localhost";
    pinned.Port = server_->TlsPort();
    pinned.Encryption = TEncryption::TlsOnConnect;
    pinned.TrustedCertificate = Certs().Fingerprint("expired");
    const TProbeReport report = pinned.Run();
    EXPECT_TRUE(report.Peer.Trusted);
    EXPECT_FALSE(report.Refusal);
    EXPECT_EQ(report.Greeting, std::string("+OK ") + kDovecotGreeting);
}

}  // namespace

// Test connection of an IMAP mailbox over STARTTLS: a self-signed certificate is reported, not
// raised, before any password; pinned, the probe signs in and counts the folder.
TEST(ImapProbeDovecotTest, ReportsTheCertificateThenCountsTheFolder) {
    DovecotOptions options{Certs().Pem("selfsigned"), Certs().Key("selfsigned")};
    options.imap = true;
    DovecotServer server("joe", "pw", options);
    server.Deliver(kMessage);
    for (const bool pinned : {false, true}) {
        TImapProbe probe;
        probe.Hostname = "localhost";
        probe.Port = server.ImapPort();
        probe.Encryption = TEncryption::Stls;
        probe.UserName = "joe";
        probe.Password = "pw";
        probe.SignIn = true;
        if (pinned) probe.TrustedCertificate = Certs().Fingerprint("selfsigned");
        const TProbeReport report = probe.Run();
        EXPECT_TRUE(report.Encrypted);
        EXPECT_EQ(report.Peer.Trusted, pinned);
        EXPECT_EQ(report.Refusal.has_value(), !pinned);
        EXPECT_EQ(report.SignInTried, pinned);
        EXPECT_EQ(report.FolderMessages, pinned ? std::optional<uint32_t>(1) : std::nullopt);
    }
}
