// STLS against scripted peers: every way a server can fail to offer it ends the session
// before USER, and the TLS handshake is bounded like any other wait.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <optional>
#include <thread>

#include "net/encryption.h"
#include "net/pop3_probe.h"
#include "net/tls_transport.h"
#include "net_test_access.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"

namespace {

using S = ScriptedPop3Server;

struct RefusalCase {
    const char* name;
    std::vector<S::Step> afterGreeting;
    std::vector<std::string> linesSeen;  // what the server read before the client gave up
    const char* messagePart;
};

TEST(StlsTest, NoStlsMeansNoUser) {
    const std::vector<RefusalCase> cases = {
        {"CAPA without STLS",
         {S::ReadLine(), S::Send("+OK\r\nTOP\r\nUSER\r\nSTLSX\r\n.\r\n")},
         {"CAPA"},
         "does not offer STLS"},
        {"STLS refused",
         {S::ReadLine(), S::Send("+OK\r\nstls\r\n.\r\n"), S::ReadLine(),
          S::Send("-ERR not now\r\n")},
         {"CAPA", "STLS"},
         "refused STLS (-ERR not now)"},
        {"no CAPA, STLS refused",
         {S::ReadLine(), S::Send("-ERR what?\r\n"), S::ReadLine(), S::Send("-ERR what?\r\n")},
         {"CAPA", "STLS"},
         "refused STLS"},
        {"capability list cut off",
         {S::ReadLine(), S::Send("+OK\r\nSTLS\r\n"), S::Close()},
         {"CAPA"},
         "does not offer STLS"},
    };
    for (const RefusalCase& c : cases) {
        std::vector<S::Step> script{S::Send("+OK ready\r\n")};
        script.insert(script.end(), c.afterGreeting.begin(), c.afterGreeting.end());
        if (script.back().kind != S::Step::Kind::Close) script.push_back(S::ReadToEnd());
        S server(script);
        TestPop3 pop(server.Port());
        pop.Encryption = TEncryption::Stls;
        try {
            pop.Login();
            ADD_FAILURE() << c.name << ": logged in";
        } catch (const ETlsError& e) {
            EXPECT_EQ(e.Reason, ETlsError::TReason::NoStls) << c.name;
            EXPECT_NE(e.Message().find(c.messagePart), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find("the password was not sent"), std::string::npos);
        }
        EXPECT_EQ(pop.SocketHandle, -1) << c.name;
        EXPECT_EQ(server.Lines(), c.linesSeen) << c.name;
        EXPECT_EQ(server.Received().find("USER"), std::string::npos) << c.name;
    }
}

// A reply as long as a line may be becomes a text of sensible length, whether it refuses
// STLS or is the greeting the connection test reports.
TEST(StlsTest, AHugeRefusalIsCutInTheMessage) {
    const std::string huge = "-ERR " + std::string(1 << 20, 'x') + "\r\n";
    S refusing({S::Send("+OK ready\r\n"), S::ReadLine(), S::Send("+OK\r\nSTLS\r\n.\r\n"),
                S::ReadLine(), S::Send(huge), S::ReadToEnd()});
    TestPop3 pop(refusing.Port());
    pop.Encryption = TEncryption::Stls;
    try {
        pop.Login();
        ADD_FAILURE() << "logged in";
    } catch (const ETlsError& e) {
        EXPECT_LT(e.Message().size(), 1024u);
    }
    S greeting({S::Send(huge), S::ReadToEnd()});
    TPop3Probe probe;
    probe.Hostname = "127.0.0.1";
    probe.Port = greeting.Port();
    try {
        probe.Run();
        ADD_FAILURE() << "probed";
    } catch (const EProtocolError& e) {
        EXPECT_LT(e.Message().size(), 1024u);
    }
    S welcome({S::Send("+OK" + huge.substr(4)), S::ReadLine(), S::Send("+OK\r\n"), S::ReadToEnd()});
    probe.Port = welcome.Port();
    EXPECT_LT(probe.Run().Greeting.size(), 1024u);
}

// Plain bytes queued behind the STLS answer would otherwise be read as if encrypted.
TEST(StlsTest, PlainBytesAfterTheStlsAnswerAreRefused) {
    S server({S::Send("+OK ready\r\n"), S::ReadLine(), S::Send("+OK\r\nSTLS\r\n.\r\n"),
              S::ReadLine(), S::Send("+OK go ahead\r\n+OK injected\r\n"), S::ReadToEnd()});
    TestPop3 pop(server.Port());
    pop.Encryption = TEncryption::Stls;
    try {
        pop.Login();
        FAIL();
    } catch (const ETlsError& e) {
        EXPECT_EQ(e.Reason, ETlsError::TReason::Handshake);
    }
    EXPECT_EQ(server.Received(), "CAPA\r\nSTLS\r\n");
}

// A peer that accepts and stays silent, one that answers TLS with plain POP3, and one that
// trickles a handshake record a byte at a time, each byte well within the receive bound.
TEST(TlsHandshakeTest, FailsWithinTheReceiveBound) {
    const std::vector<std::vector<S::Step>> peers = {
        {S::ReadToEnd()},
        {S::Send("+OK ready\r\n"), S::ReadToEnd()},
        {S::Send(std::string("\x16\x03\x03\x40\x00", 5)), S::Trickle(std::string(200, 'x'), 50)}};
    for (const auto& script : peers) {
        S server(script);
        TestPop3 pop(server.Port());
        pop.Encryption = TEncryption::TlsOnConnect;
        pop.ReceiveTimeoutMs = 300;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(pop.Login(), ETlsError);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(pop.SocketHandle, -1);
    }
}

// Serves the handshake on fd, then sends one record of 4000 bytes a byte every 5 ms until
// stop or the client closes: each byte well within the client's receive bound, the record far
// beyond it.
void TrickleOneRecord(int fd, const std::atomic<bool>& stop) {
    const TestCertificates& certs = TestCertificates::Get();
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(ctx, certs.Pem("server").c_str());
    SSL_CTX_use_PrivateKey_file(ctx, certs.Key("server").c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_set_num_tickets(ctx, 0);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
        BIO* record = BIO_new(BIO_s_mem());
        SSL_set0_wbio(ssl, record);
        const std::string text(4000, 'x');
        SSL_write(ssl, text.data(), static_cast<int>(text.size()));
        char* bytes = nullptr;
        const long size = BIO_get_mem_data(record, &bytes);
        for (long i = 0; i < size && !stop; ++i) {
            if (send(fd, bytes + i, 1, MSG_NOSIGNAL) != 1) break;
            pollfd peer{fd, POLLRDHUP, 0};
            if (poll(&peer, 1, 5) > 0) break;  // the client closed meanwhile
        }
    }
    SSL_free(ssl);
    SSL_CTX_free(ctx);
}

TEST(TlsReceiveTest, ATrickledRecordEndsTheConnectionWithinOneReceiveBound) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    std::atomic<bool> stop = false;
    std::thread server(TrickleOneRecord, fds[1], std::cref(stop));
    TTlsTransport tls(std::make_unique<TSocketTransport>());
    const TTlsSettings settings{
        "localhost", NormalizeFingerprint(TestCertificates::Get().Fingerprint("server")).value(),
        true, 5000};
    EXPECT_NO_THROW(tls.Handshake(fds[0], settings));
    char buffer[8192];
    int error = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tls.Receive(fds[0], buffer, sizeof buffer, 300, error), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    stop = true;
    tls.Close(fds[0]);
    server.join();
    close(fds[1]);
}

// A name is tried at each of its addresses in turn: "localhost" may come as ::1 first, where
// nothing listens, and still reaches the server on 127.0.0.1.
TEST(ConnectByNameTest, ReachesTheAddressThatAnswers) {
    S server({S::Send("+OK ready\r\n"), S::ReadToEnd()});
    TestConnection conn(server.Port());
    conn.Hostname = "localhost";
    conn.Login();
    EXPECT_EQ(conn.PeerAddress, "127.0.0.1");
    EXPECT_EQ(conn.Address, htonl(INADDR_LOOPBACK));
    conn.Logout();
}

// Every form a user may paste, the openssl command's line included, and what is refused.
TEST(FingerprintTest, AcceptedAndRefusedForms) {
    const std::string pairs =
        "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:"
        "45:67:89";
    std::string lower;
    for (char c : pairs) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const struct {
        std::string text;
        bool accepted;
    } cases[] = {
        {pairs, true},
        {" abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789 ", true},
        {"SHA256 Fingerprint=" + pairs, true},
        {"sha256 Fingerprint=" + lower, true},
        {"  sHa256 fInGeRpRiNt=" + pairs + "\n", true},
        {pairs.substr(3), false},  // 31 bytes
        {pairs + ":00", false},
        {"SHA1 Fingerprint=" + pairs, false},
        {"SHA256 Fingerprint=", false},
        {"Fingerprint=" + pairs, false},
        {pairs + " SHA256 Fingerprint=", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeFingerprint(c.text), c.accepted ? std::optional(pairs) : std::nullopt)
            << c.text;
    }
}

}  // namespace
