#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QTcpSocket>
#include <QTimer>
#include <bit>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>

#include "child_test_support.h"
#include "platform/oauth_config.h"
#include "platform/oauth_pkce.h"
#include "platform/oauth_refresh.h"
#include "platform/oauth_sign_in.h"
#include "platform/redirect_listener.h"
#include "platform/socket_owner.h"
#include "support/oauth_server.h"
#include "support/scoped_env.h"
#include "support/test_certificates.h"

using namespace std::chrono_literals;

namespace {

TOAuthConfig ConfigFor(const OAuthServer& server, std::string secret = {}) {
    return {server.Url("/authorize"), server.Url("/token"), "mail",
            "vornask-test",           std::move(secret),    {}};
}

// The outcome of one sign-in: tokens, or the failure's text.
struct SignInOutcome {
    std::optional<TOAuthTokens> tokens;
    QString failure;
};

void Pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// onResult runs inside the handler of Succeeded or Failed.
SignInOutcome SignIn(const TOAuthConfig& config, std::chrono::milliseconds limit = 20s,
                     const std::function<void()>& onResult = {}) {
    TOAuthSignIn signIn(config);
    signIn.SetTimeLimit(limit);
    SignInOutcome outcome;
    bool done = false;
    QObject::connect(&signIn, &TOAuthSignIn::Succeeded, [&](const TOAuthTokens& tokens) {
        outcome.tokens = tokens;
        if (onResult) onResult();
        done = true;
    });
    QObject::connect(&signIn, &TOAuthSignIn::Failed, [&](const QString& message) {
        outcome.failure = message;
        if (onResult) onResult();
        done = true;
    });
    signIn.Start();
    EXPECT_FALSE(done) << "the result came from inside Start()";
    EXPECT_TRUE(test_support::WaitFor([&] { return done; }, 30s, Pump));
    return outcome;
}

// Every test here signs in through the stand-in browser, which writes the page it lands on.
class OAuthTest : public testing::Test {
  protected:
    std::string LandingPage() {
        test_support::WaitFor([&] { return test_support::Exists(page_); }, 10s);
        return ReadFileBytes(page_);
    }

    TempFolder folder_;
    std::string page_ = folder_ / "page";
    ScopedEnv browser_{"BROWSER", StandInBrowserPath()};
    ScopedEnv browserPage_{"VORNASK_BROWSER_PAGE", page_};
    ScopedEnv certFile_{"SSL_CERT_FILE", std::nullopt};
    ScopedEnv certDir_{"SSL_CERT_DIR", std::nullopt};
};

TEST(OAuthUrl, OnlyHttpsOrLoopbackHttp) {
    for (const char* url :
         {"https://login.example.com/authorize", "HTTPS://example.com/t",
          "http://127.0.0.1:8080/token", "http://127.9.8.7/token", "http://[::1]:9000/token"})
        EXPECT_EQ(OAuthUrlRefusal("The token URL", url), std::nullopt) << url;
    for (const char* url : {"http://example.com/token", "http://localhost/token",
                            "http://127.0.0.1.example.com/token", "http://10.0.0.1/token",
                            "ftp://127.0.0.1/token", "token", ""}) {
        const auto refusal = OAuthUrlRefusal("The token URL", url);
        ASSERT_TRUE(refusal) << url;
        EXPECT_EQ(refusal->rfind("The token URL ", 0), 0u) << *refusal;
        EXPECT_THROW(CheckOAuthUrl("The token URL", url), EOAuthError);
    }
    for (const auto& provider : OAuthProviders()) {
        if (provider.Name == "Other") continue;
        EXPECT_FALSE(OAuthUrlRefusal("a", provider.AuthorizationUrl)) << provider.Name;
        EXPECT_FALSE(OAuthUrlRefusal("a", provider.TokenUrl)) << provider.Name;
    }
}

TEST(OAuthPkce, ChallengeIsBase64UrlOfSha256) {
    // The example pair of RFC 7636, appendix B.
    EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const QString verifier = RandomUrlSafeText(32);
    EXPECT_EQ(verifier.size(), 43);
    EXPECT_NE(verifier, RandomUrlSafeText(32));
}

// The whole flow: the browser lands on the page, the server takes the code with the right
// verifier and client secret, the tokens come back; the refresh token (which holds '+', '/'
// and '=') then gets a new access token and is kept.
TEST_F(OAuthTest, SignInThenRefresh) {
    OAuthServer server({"--client-secret", "s3+cret", "--expires-in", "600"});
    const auto config = ConfigFor(server, "s3+cret");
    const auto outcome = SignIn(config);
    ASSERT_TRUE(outcome.tokens) << outcome.failure.toStdString();
    const TOAuthTokens& tokens = *outcome.tokens;
    EXPECT_EQ(tokens.AccessToken.rfind("at-", 0), 0u);
    EXPECT_EQ(tokens.RefreshToken.rfind("rt-", 0), 0u);
    const auto left = tokens.ExpiresAt - std::chrono::system_clock::now();
    EXPECT_GT(left, 590s);
    EXPECT_LE(left, 600s);
    const std::string page = LandingPage();
    EXPECT_EQ(page.rfind("200\n", 0), 0u) << page;
    EXPECT_NE(page.find(">Vornask is signed in. You may close this tab.<"), std::string::npos);

    const TOAuthTokens renewed = RefreshAccessToken(config, tokens.RefreshToken, 10s);
    EXPECT_EQ(renewed.AccessToken.rfind("at-", 0), 0u);
    EXPECT_NE(renewed.AccessToken, tokens.AccessToken);
    EXPECT_EQ(renewed.RefreshToken, tokens.RefreshToken);
}

TEST_F(OAuthTest, CodeWithWrongVerifierIsRefused) {
    OAuthServer server({"--tamper-pkce"});
    const auto outcome = SignIn(ConfigFor(server));
    EXPECT_FALSE(outcome.tokens);
    EXPECT_TRUE(outcome.failure.contains("PKCE verifier does not match"))
        << outcome.failure.toStdString();
    const std::string page = LandingPage();
    EXPECT_NE(page.find(">Vornask was not signed in: The provider no longer accepts this "
                        "sign-in: invalid_grant (PKCE verifier does not match). Sign in again. "
                        "You may close this tab.<"),
              std::string::npos)
        << page;
}

// On a refusal the browser has its page, the reason escaped, before Failed is handled; a box
// waiting in the handler (a nested event loop) does no harm.
TEST_F(OAuthTest, RefusalPageComesBeforeFailed) {
    OAuthServer server({"--deny", "<b>No</b> & co"});
    bool pageFirst = false;
    const auto outcome = SignIn(ConfigFor(server), 20s, [&] {
        pageFirst = test_support::WaitFor([&] { return test_support::Exists(page_); }, 10s);
        QEventLoop box;
        QTimer::singleShot(100, &box, &QEventLoop::quit);
        box.exec();
    });
    EXPECT_EQ(outcome.failure.toStdString(),
              "The provider refused the sign-in: access_denied (<b>No</b> & co)");
    EXPECT_TRUE(pageFirst);
    EXPECT_NE(LandingPage().find(">Vornask was not signed in: The provider refused the sign-in: "
                                 "access_denied (&lt;b&gt;No&lt;/b&gt; &amp; co). You may close "
                                 "this tab.<"),
              std::string::npos);
}

// Failures of the sign-in itself, each reported through Failed within bounds.
TEST_F(OAuthTest, SignInFailures) {
    OAuthServer server;
    auto config = ConfigFor(server);
    config.TokenUrl = "http://example.com/token";
    EXPECT_EQ(SignIn(config).failure.toStdString(),
              "The token URL must start with https:// (plain http only to this computer, such as "
              "127.0.0.1): http://example.com/token");

    config = ConfigFor(server);
    config.ClientId = "someone-else";  // the authorization server will not redirect back
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SignIn(config, 1500ms).failure.toStdString(),
              "The sign-in did not finish within 1500 ms.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

int SilentListener(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, 4);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// A refused refresh token asks for a new sign-in; other failures say what went wrong.
TEST_F(OAuthTest, RefreshFailures) {
    OAuthServer server({"--revoked-refresh", "rt-revoked"});
    const auto config = ConfigFor(server);
    try {
        RefreshAccessToken(config, "rt-revoked", 10s);
        ADD_FAILURE() << "refresh accepted";
    } catch (const EOAuthSignInAgain& e) {
        EXPECT_EQ(e.Message(),
                  "The provider no longer accepts this sign-in: invalid_grant (Token has been "
                  "expired or revoked.). Sign in again.");
    }
    auto wrongClient = config;
    wrongClient.ClientId = "someone-else";
    uint16_t silentPort = 0;
    const int silent = SilentListener(silentPort);
    auto mute = config;
    mute.TokenUrl = "http://127.0.0.1:" + std::to_string(silentPort) + "/token";
    auto closed = config;
    closed.TokenUrl = "http://127.0.0.1:1/token";
    const std::pair<TOAuthConfig, const char*> failures[] = {
        {wrongClient, "The token server refused the request: invalid_client (unknown client_id)"},
        {mute, "The token server did not answer within 300 ms"},
        {closed, "The token server could not be reached: "},
    };
    for (const auto& [failing, message] : failures) {
        SCOPED_TRACE(message);
        try {
            RefreshAccessToken(failing, "rt-any", 300ms);
            ADD_FAILURE() << "refresh accepted";
        } catch (const EOAuthSignInAgain& e) {
            ADD_FAILURE() << e.Message();
        } catch (const EOAuthError& e) {
            EXPECT_EQ(e.Message().rfind(message, 0), 0u) << e.Message();
        }
    }
    close(silent);
}

// The token server's certificate is trusted through SSL_CERT_FILE or SSL_CERT_DIR, as the mail
// connection trusts it, and not without them.
TEST_F(OAuthTest, TrustFollowsOpenSslVariables) {
    const auto& certificates = TestCertificates::Get();
    OAuthServer server({"--tls", certificates.Pem("server"), certificates.Key("server"),
                        "--refresh-token", "rt-known"});
    const auto config = ConfigFor(server);
    EXPECT_THROW(RefreshAccessToken(config, "rt-known", 10s), EOAuthError);
    {
        ScopedEnv file("SSL_CERT_FILE", certificates.Ca());
        EXPECT_NO_THROW(RefreshAccessToken(config, "rt-known", 10s));
    }
    std::filesystem::create_directories(folder_ / "certs");
    std::filesystem::copy_file(certificates.Ca(), folder_ / "certs/ca.pem");
    ScopedEnv dir("SSL_CERT_DIR", "/nonexistent:" + folder_ / "certs");
    EXPECT_NO_THROW(RefreshAccessToken(config, "rt-known", 10s));
}

// Hostile token answers are refused with their own reason, well within the bound, and cost
// little memory whatever the server sends; answers and tokens right under the bounds are taken.
TEST_F(OAuthTest, TokenAnswerBounds) {
    const std::string tooLarge = "The token URL's answer is larger than 1 MiB.";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--padding", "2000000"}, tooLarge},
        {{"--claim-length", "1610612736"}, tooLarge},
        {{"--endless-header"}, tooLarge},
        {{"--endless-body"}, tooLarge},
        {{"--padding", "1040000"}, ""},
        {{"--token-length", "16385"}, "The token URL sent a token larger than 16 KiB."},
        {{"--token-length", "16384"}, ""},
    };
    const auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long peakBefore = peakKiB();
    for (auto [options, message] : cases) {
        SCOPED_TRACE(options[0]);
        options.insert(options.end(), {"--refresh-token", "rt-known"});
        OAuthServer server(options);
        try {
            const auto tokens = RefreshAccessToken(ConfigFor(server), "rt-known", 10s);
            EXPECT_EQ(message, "") << "accepted";
            EXPECT_LE(tokens.AccessToken.size(), 16384u);
        } catch (const EOAuthError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer keeps freed memory aside: no measure there
    EXPECT_LT(peakKiB() - peakBefore, 32 * 1024);
#else
    (void)peakBefore;
#endif
}

TEST_F(OAuthTest, ExpiresInIsHeldBetweenNowAndAYear) {
    const std::pair<const char*, std::chrono::seconds> cases[] = {
        {"9223372036854775807", 365 * 24h}, {"-5", 0s}, {"600", 600s}};
    for (const auto& [expiresIn, expected] : cases) {
        SCOPED_TRACE(expiresIn);
        OAuthServer server({"--refresh-token", "rt-known", "--expires-in", expiresIn});
        const auto tokens = RefreshAccessToken(ConfigFor(server), "rt-known", 10s);
        const auto left = tokens.ExpiresAt - std::chrono::system_clock::now();
        EXPECT_LE(left, expected);
        EXPECT_GT(left, expected - 60s);
    }
}

// The owner of a connection's other end, in a socket table as Linux prints it on a
// little-endian machine: our end 127.0.0.1:8080 of a connection from port 50000 (uid 1000),
// the peer's end (uid 1001), a closed peer (TIME_WAIT, listed as uid 1001 here though Linux
// shows 0), and IPv6 rows, one of them an IPv4-mapped peer.
TEST(SocketOwner, FindsThePeersEndInTheTable) {
    if constexpr (std::endian::native != std::endian::little) GTEST_SKIP();
    const std::string heading =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode\n";
    const std::string tail = " 01 00000000:00000000 00:00000000 00000000 ";
    const std::string closed = " 06 00000000:00000000 00:00000000 00000000 ";
    const std::string ipv4 = heading + "   0: 0100007F:1F90 00000000:0000" + tail + "1000 0 1\n" +
                             "   1: 0100007F:1F90 0100007F:C350" + tail + "1000 0 2\n" +
                             "   2: 0100007F:C350 0100007F:1F90" + tail + "1001 0 3\n" +
                             "   3: 0100007F:C353 0100007F:1F90" + closed + "1001 0 0\n";
    const std::string mapped = "0000000000000000FFFF00000100007F";
    const std::string loopback6 = "00000000000000000000000001000000";
    const std::string ipv6 = heading + "   0: " + mapped + ":C351 " + mapped + ":1F90" + tail +
                             "1002 0 4\n" + "   1: " + loopback6 + ":C352 " + loopback6 + ":1F90" +
                             tail + "1003 0 5\n";
    const QHostAddress v4(QHostAddress::LocalHost), v6(QHostAddress::LocalHostIPv6);
    const QHostAddress v4mapped("::ffff:127.0.0.1");
    const struct {
        const std::string& table;
        TTcpEnd peer, ours;
        std::optional<uint32_t> uid;
    } cases[] = {
        {ipv4, {v4, 50000}, {v4, 8080}, 1001},
        {ipv4, {v4mapped, 50000}, {v4, 8080}, 1001},
        {ipv6, {v4, 50001}, {v4, 8080}, 1002},
        {ipv6, {v6, 50002}, {v6, 8080}, 1003},
        {ipv4, {QHostAddress("1.0.0.127"), 50000}, {v4, 8080}, std::nullopt},
        {ipv4, {v4, 0x50C3}, {v4, 8080}, std::nullopt},
        {ipv4, {v4, 50000}, {v4, 8081}, std::nullopt},
        {ipv4, {v4, 50003}, {v4, 8080}, std::nullopt},
        {ipv6, {v6, 50001}, {v6, 8080}, std::nullopt},
    };
    for (const auto& [table, peer, ours, uid] : cases) {
        SCOPED_TRACE(peer.Address.toString().toStdString() + " " + std::to_string(peer.Port));
        EXPECT_EQ(TcpOwnerInTable(table, peer, ours), uid);
    }
}

// Clients of a redirect listener waiting for state "right".
class RedirectListenerTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(listener_.Listen());
        QObject::connect(
            &listener_, &TRedirectListener::RedirectArrived,
            [this](const QMap<QString, QString>& values) { arrived_.push_back(values); });
    }

    std::unique_ptr<QTcpSocket> Send(const QByteArray& request) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, listener_.Port());
        socket->write(request);
        return socket;
    }

    // What came before the listener closed the connection; nothing while it stays open.
    static std::optional<QByteArray> AnswerOnClose(QTcpSocket& socket,
                                                   std::chrono::milliseconds limit = 10s) {
        if (!test_support::WaitFor(
                [&] { return socket.state() == QAbstractSocket::UnconnectedState; }, limit, Pump))
            return std::nullopt;
        return socket.readAll();
    }

    static constexpr char Right[] =
        "GET /?state=right&code=c%2F%2B+%25 HTTP/1.1\r\nHost: x\r\n\r\n";
    TRedirectListener listener_{"right"};
    std::vector<QMap<QString, QString>> arrived_;
};

// Requests that are not the redirect get 400 or are closed unserved; the redirect after them
// is handed over decoded, held past the deadline, and gets the page it is given.
TEST_F(RedirectListenerTest, ServesOnlyTheRedirect) {
    const struct {
        const char* name;
        QByteArray request;
        std::chrono::milliseconds deadline;
        bool badRequest;
    } cases[] = {
        {"wrong state", "GET /?state=wrong&code=c HTTP/1.1\r\n\r\n", 30s, true},
        {"no state", "GET /?code=c HTTP/1.1\r\n\r\n", 30s, true},
        {"favicon", "GET /favicon.ico?state=right HTTP/1.1\r\n\r\n", 30s, true},
        {"post", "POST /?state=right&code=c HTTP/1.1\r\n\r\n", 30s, true},
        {"over 8 KiB", "GET /?state=right HTTP/1.1\r\nX: " + QByteArray(8200, 'a') + "\r\n\r\n",
         30s, false},
        {"slower than the deadline", "GET /?state=right HTTP/1.1\r\n", 300ms, false},
    };
    for (const auto& [name, request, deadline, badRequest] : cases) {
        SCOPED_TRACE(name);
        listener_.SetRequestDeadline(deadline);
        const auto socket = Send(request);
        const auto answer = AnswerOnClose(*socket);
        ASSERT_TRUE(answer) << "left open";
        if (badRequest) {
            EXPECT_TRUE(answer->startsWith("HTTP/1.1 400 ")) << answer->toStdString();
        }
        EXPECT_TRUE(arrived_.empty());
    }
    listener_.SetRequestDeadline(300ms);
    const auto browser = Send(Right);
    ASSERT_TRUE(test_support::WaitFor([&] { return !arrived_.empty(); }, 10s, Pump));
    EXPECT_EQ(arrived_[0].value("code"), "c/+ %");
    EXPECT_FALSE(AnswerOnClose(*browser, 1s));
    const auto late = Send(Right);
    EXPECT_TRUE(AnswerOnClose(*late)->startsWith("HTTP/1.1 400 "));

    listener_.Answer("x < y & z");
    const auto page = AnswerOnClose(*browser);
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->startsWith("HTTP/1.1 200 OK\r\n")) << page->toStdString();
    EXPECT_TRUE(page->contains("<p>x &lt; y &amp; z</p>")) << page->toStdString();
    EXPECT_EQ(arrived_.size(), 1u);
}

// A ninth connection is closed at once while eight are open; once they are gone the redirect
// is served again.
TEST_F(RedirectListenerTest, AtMostEightConnections) {
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 8; ++i) idle.push_back(Send(""));
    ASSERT_TRUE(test_support::WaitFor(
        [&] {
            return std::all_of(idle.begin(), idle.end(), [](const auto& socket) {
                return socket->state() == QAbstractSocket::ConnectedState;
            });
        },
        10s, Pump));
    const auto ninth = Send(Right);
    EXPECT_EQ(AnswerOnClose(*ninth), QByteArray());
    for (const auto& socket : idle) EXPECT_EQ(socket->state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(arrived_.empty());

    idle.clear();
    std::unique_ptr<QTcpSocket> browser;
    EXPECT_TRUE(test_support::WaitFor(
        [&] {
            browser = Send(Right);
            test_support::WaitFor(
                [&] {
                    return !arrived_.empty() ||
                           browser->state() == QAbstractSocket::UnconnectedState;
                },
                5s, Pump);
            return !arrived_.empty();
        },
        10s));
}

// A flood of idle connections: all but the eight it keeps are closed at once, none is left
// waiting in the backlog.
TEST_F(RedirectListenerTest, FloodIsClosedAtOnce) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener_.Port());
    std::vector<int> flood;
    for (int i = 0; i < 200; ++i) {
        flood.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        connect(flood.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    const auto closedCount = [&] {
        int closed = 0;
        for (int fd : flood) {
            char byte;
            const ssize_t got = recv(fd, &byte, 1, MSG_PEEK);
            closed += got == 0 || (got < 0 && errno != EAGAIN && errno != ENOTCONN);
        }
        return closed;
    };
    EXPECT_TRUE(test_support::WaitFor([&] { return closedCount() >= 192; }, 3s, Pump))
        << closedCount();
    for (int fd : flood) close(fd);
}

// A connection from another user's socket is closed unread, the right state notwithstanding;
// also one the other user closed at once (its socket then listed as closed, owned by uid 0).
TEST_F(RedirectListenerTest, OtherUsersAreNotServed) {
    if (getuid() != 0) GTEST_SKIP() << "connecting as another user needs root";
    const uint16_t port = listener_.Port();
    const auto connectAsOther = [port](bool closeAtOnce) {
        const pid_t child = fork();
        if (child != 0) return child;
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(3);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) _exit(4);
        send(fd, Right, sizeof Right - 1, MSG_NOSIGNAL);
        if (closeAtOnce) {
            // Closed once the listener's system has taken the end of the request: the socket
            // then lingers as a closed one.
            shutdown(fd, SHUT_WR);
            test_support::WaitFor(
                [fd] {
                    tcp_info info{};
                    socklen_t size = sizeof info;
                    getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size);
                    return info.tcpi_state == TCP_FIN_WAIT2;
                },
                2s);
            _exit(0);
        }
        char byte;
        _exit(read(fd, &byte, 1) > 0 ? 1 : 0);
    };
    // The first is gone before the listener looks; the second, served after it, waits.
    waitpid(connectAsOther(true), nullptr, 0);
    const pid_t child = connectAsOther(false);
    int status = -1;
    const bool ended =
        test_support::WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 10s, Pump);
    if (!ended) kill(child, SIGKILL), waitpid(child, nullptr, 0);
    ASSERT_TRUE(ended) << "the other user's request was held";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(arrived_.empty());
}

}  // namespace

int main(int argc, char** argv) {
    // Also when the test runner lists the tests, with no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
