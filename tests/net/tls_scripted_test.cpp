// STLS against scripted peers: every way a server can fail to offer it ends the session
// before USER, and the TLS handshake is bounded like any other wait.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

#include "net/encryption.h"
#include "net/endpoints.h"
#include "net/ip_misc.h"
#include "net/pop3_probe.h"
#include "net/tls_transport.h"
#include "support/net_access.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"
#include "support/test_values.h"

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
// trickles a handshake record a byte at a time, each byte well within the receive bound. Each
// failure says what went wrong.
TEST(TlsHandshakeTest, FailsWithinTheReceiveBound) {
    using F = ETlsError::TFault;
    const struct {
        std::vector<S::Step> script;
        F fault;
        const char* messagePart;
    } peers[] = {
        {{S::ReadToEnd()},
         F::BrokenOff,
         "failed: the server ended the connection or did not answer in time"},
        {{S::Send("+OK ready\r\n"), S::ReadToEnd()},
         F::NotTls,
         "failed: the server does not speak TLS on this port (wrong version number)"},
        {{S::Send(std::string("\x16\x03\x03\x40\x00", 5)), S::Trickle(std::string(200, 'x'), 50)},
         F::BrokenOff,
         "did not answer in time"}};
    for (const auto& [script, fault, messagePart] : peers) {
        S server(script);
        TestPop3 pop(server.Port());
        pop.Encryption = TEncryption::TlsOnConnect;
        pop.ReceiveTimeoutMs = 300;
        const auto start = std::chrono::steady_clock::now();
        try {
            pop.Login();
            ADD_FAILURE() << "logged in";
        } catch (const ETlsError& e) {
            EXPECT_EQ(e.Reason, ETlsError::TReason::Handshake) << e.Message();
            EXPECT_EQ(e.Fault, fault) << e.Message();
            EXPECT_NE(e.Message().find(messagePart), std::string::npos) << e.Message();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(pop.SocketHandle, -1);
    }
}

// The server side of an in-process TLS peer on fd, with the named certificate; nullptr
// when the handshake failed. SSL_free frees the context too.
SSL* AcceptTls(int fd, const std::string& cert = "server", int maxVersion = 0) {
    const TestCertificates& certs = TestCertificates::Get();
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(ctx, certs.Pem(cert).c_str());
    SSL_CTX_use_PrivateKey_file(ctx, certs.Key(cert).c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_set_num_tickets(ctx, 0);
    SSL_CTX_set_max_proto_version(ctx, maxVersion);
    SSL* ssl = SSL_new(ctx);
    SSL_CTX_free(ctx);  // the session holds its own reference
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) return ssl;
    SSL_free(ssl);
    return nullptr;
}

// The records the session writes while `write` runs, instead of sending them.
template <class Write>
std::string RecordsOf(SSL* ssl, int fd, Write&& write) {
    SSL_set0_wbio(ssl, BIO_new(BIO_s_mem()));
    write();
    char* bytes = nullptr;
    const long size = BIO_get_mem_data(SSL_get_wbio(ssl), &bytes);
    std::string records(bytes, static_cast<size_t>(size));
    SSL_set0_wbio(ssl, BIO_new_socket(fd, BIO_NOCLOSE));
    return records;
}

// One in-process TLS server on a socket pair, run by `serve` on its end.
class TlsPeerPair {
  public:
    template <class Serve>
    explicit TlsPeerPair(Serve&& serve) {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0) throw std::runtime_error("socketpair");
        thread_ = std::thread(std::forward<Serve>(serve), fds_[1]);
    }
    ~TlsPeerPair() {
        Join();
        close(fds_[1]);
    }
    int ClientFd() const { return fds_[0]; }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    int fds_[2] = {-1, -1};
    std::thread thread_;
};

TTlsSettings TrustStoreSettings(const std::string& host) {
    return TTlsSettings{host, "", true, 5000};
}

// Trusting the test server's certificate by its pin.
TTlsSettings PinnedSettings() {
    return TTlsSettings{"localhost",
                        NormalizeFingerprint(TestCertificates::Get().Fingerprint("server")).value(),
                        true, 5000};
}

// Serves the handshake on fd, then sends one record of 4000 bytes a byte every 5 ms until
// stop or the client closes: each byte well within the client's receive bound, the record far
// beyond it.
void TrickleOneRecord(int fd, const std::atomic<bool>& stop) {
    SSL* ssl = AcceptTls(fd);
    if (!ssl) return;
    const std::string records = RecordsOf(ssl, fd, [ssl] {
        const std::string text(4000, 'x');
        SSL_write(ssl, text.data(), static_cast<int>(text.size()));
    });
    for (size_t i = 0; i < records.size() && !stop; ++i) {
        if (send(fd, records.data() + i, 1, MSG_NOSIGNAL) != 1) break;
        pollfd peer{fd, POLLRDHUP, 0};
        if (poll(&peer, 1, 5) > 0) break;  // the client closed meanwhile
    }
    SSL_free(ssl);
}

TEST(TlsReceiveTest, ATrickledRecordEndsTheConnectionWithinOneReceiveBound) {
    std::atomic<bool> stop = false;
    TlsPeerPair pair([&stop](int fd) { TrickleOneRecord(fd, stop); });
    TTlsTransport tls(std::make_unique<TSocketTransport>());
    EXPECT_NO_THROW(tls.Handshake(pair.ClientFd(), PinnedSettings()));
    char buffer[8192];
    int error = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tls.Receive(pair.ClientFd(), buffer, sizeof buffer, 300, error), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    stop = true;
    tls.Close(pair.ClientFd());
}

// Answers the first command with a reply and, in the same write, a record that carries no
// data (a key update the client must answer, or a session ticket); then answers one more.
void ReplyWithAnEmptyRecordBehind(int fd, bool keyUpdate) {
    SSL* ssl = AcceptTls(fd);
    if (!ssl) return;
    char command[64];
    if (SSL_read(ssl, command, sizeof command) > 0) {
        const std::string records = RecordsOf(ssl, fd, [ssl, keyUpdate] {
            SSL_write(ssl, "+OK reply\r\n", 11);
            if (keyUpdate)
                SSL_key_update(ssl, SSL_KEY_UPDATE_REQUESTED);
            else
                SSL_new_session_ticket(ssl);
            SSL_do_handshake(ssl);
        });
        send(fd, records.data(), records.size(), MSG_NOSIGNAL);
        if (SSL_read(ssl, command, sizeof command) > 0) SSL_write(ssl, "+OK again\r\n", 11);
    }
    SSL_free(ssl);
}

// A reply is handed over as soon as it is there, whatever follows it in the same read, and
// the session goes on with the new keys.
TEST(TlsReceiveTest, ARecordWithoutDataBehindAReplyHoldsNothingBack) {
    StartSockets();  // the peer's writes must not kill the test when the client is gone
    for (bool keyUpdate : {true, false}) {
        TlsPeerPair pair([keyUpdate](int fd) { ReplyWithAnEmptyRecordBehind(fd, keyUpdate); });
        TTlsTransport tls(std::make_unique<TSocketTransport>());
        ASSERT_NO_THROW(tls.Handshake(pair.ClientFd(), PinnedSettings()));
        char buffer[8192];
        int error = 0;
        for (const std::string reply : {"+OK reply\r\n", "+OK again\r\n"}) {
            tls.Send(pair.ClientFd(), "NOOP\r\n", 6);
            const auto start = std::chrono::steady_clock::now();
            const ssize_t n = tls.Receive(pair.ClientFd(), buffer, sizeof buffer, 5000, error);
            EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0))), reply)
                << "key update: " << keyUpdate;
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        }
        tls.Close(pair.ClientFd());
    }
}

struct NameCase {
    const char* host;
    const char* cert;
    const char* sni;      // what the server was asked for; empty for an address
    const char* refusal;  // nullptr: trusted
};

// Only the certificate's DNS and IP names count; a text is an address for the connection
// exactly when it is one for the check; one trailing dot of a name is no part of it.
TEST(TlsNameTest, TheCertificatesNamesDecide) {
    const TrustOnly trust;
    const std::vector<NameCase> cases = {
        {"localhost", "server", "localhost", nullptr},
        {"localhost.", "server", "localhost", nullptr},
        {"127.0.0.1", "server", "", nullptr},
        {"127.1", "server", "", nullptr},
        {"[::1]", "server", "", nullptr},
        {"localhost", "cnonly", "localhost",
         "Certificate not valid for localhost (it is for IP:127.0.0.1)"},
        {"127.0.0.2", "server", "",
         "Certificate not valid for 127.0.0.2 (it is for DNS:localhost, IP:127.0.0.1, IP:::1)"},
        {"localhost", "wrongname", "localhost",
         "Certificate not valid for localhost (it is for DNS:wrong.example)"},
    };
    for (const NameCase& c : cases) {
        std::string sni = "(none)";
        TlsPeerPair pair([&c, &sni](int fd) {
            if (SSL* ssl = AcceptTls(fd, c.cert)) {
                const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
                sni = name ? name : "";
                SSL_free(ssl);
            }
        });
        TTlsTransport tls(std::make_unique<TSocketTransport>());
        try {
            tls.Handshake(pair.ClientFd(), TrustStoreSettings(c.host));
            EXPECT_EQ(c.refusal, nullptr) << c.host << " " << c.cert;
        } catch (const ETlsError& e) {
            EXPECT_EQ(e.Reason, ETlsError::TReason::NameMismatch) << e.Message();
            EXPECT_TRUE(c.refusal && e.Message() == c.refusal) << e.Message();
        }
        tls.Close(pair.ClientFd());
        pair.Join();
        EXPECT_EQ(sni, c.sni) << c.host;
    }
    EXPECT_EQ(ResolveDotted("127.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(ResolveDotted("127.0.0.1 x"), INADDR_NONE);
}

// A TLS 1.2 server that asks to renegotiate before its reply, then reads one command: true
// when the client went along with it.
bool RenegotiationTaken(int fd) {
    SSL* ssl = AcceptTls(fd, "server", TLS1_2_VERSION);
    if (!ssl) return false;
    SSL_renegotiate(ssl);
    SSL_do_handshake(ssl);
    SSL_write(ssl, "+OK\r\n", 5);
    char command[64];
    const bool taken = SSL_read(ssl, command, sizeof command) > 0;
    SSL_free(ssl);
    return taken;
}

TEST(TlsReceiveTest, ARenegotiationIsRefused) {
    StartSockets();
    const TrustOnly trust;
    bool taken = true;
    TlsPeerPair pair([&taken](int fd) { taken = RenegotiationTaken(fd); });
    TTlsTransport tls(std::make_unique<TSocketTransport>());
    ASSERT_NO_THROW(tls.Handshake(pair.ClientFd(), TrustStoreSettings("localhost")));
    char buffer[64];
    int error = 0;
    EXPECT_EQ(tls.Receive(pair.ClientFd(), buffer, sizeof buffer, 5000, error), 5);
    tls.Send(pair.ClientFd(), "NOOP\r\n", 6);
    pair.Join();
    EXPECT_FALSE(taken);
    tls.Close(pair.ClientFd());
}

// A name that resolves to ::1 first, where nothing listens, then to 127.0.0.1.
std::vector<TEndpoint> DeadAddressFirst(const std::string& host, uint16_t port) {
    if (host != "mail.test") return {};
    std::vector<TEndpoint> endpoints = ResolveEndpoints("::1", port);
    for (TEndpoint& endpoint : ResolveEndpoints("127.0.0.1", port))
        endpoints.push_back(std::move(endpoint));
    return endpoints;
}

// A name is tried at each of its addresses in turn, so the one that answers is reached.
TEST(ConnectByNameTest, ReachesTheAddressThatAnswers) {
    S server({S::Send("+OK ready\r\n"), S::ReadToEnd()});
    TestConnection conn(server.Port());
    conn.Hostname = "mail.test";
    std::vector<std::string> traces;
    conn.OnLog = [&](const std::string& text, bool) { traces.push_back(text); };
    HostResolver = DeadAddressFirst;
    EXPECT_NO_THROW(conn.Login());
    HostResolver = ResolveEndpoints;
    EXPECT_EQ(conn.PeerAddress, "127.0.0.1");
    EXPECT_EQ(conn.Address, htonl(INADDR_LOOPBACK));
    const std::string failed =
        "Failed to open output socket " + std::to_string(server.Port()) + " to host ::1";
    EXPECT_NE(std::ranges::find(traces, failed), traces.end()) << "::1 was tried first";
    conn.Logout();
}

// Every form a user may paste, the openssl command's line included, and what is refused.
TEST(FingerprintTest, AcceptedAndRefusedForms) {
    const std::string pairs = kPin;
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
