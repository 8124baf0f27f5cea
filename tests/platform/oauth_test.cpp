#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <chrono>
#include <optional>

#include "child_test_support.h"
#include "platform/oauth_config.h"
#include "platform/oauth_pkce.h"
#include "platform/oauth_refresh.h"
#include "platform/oauth_sign_in.h"
#include "support/oauth_server.h"
#include "support/scoped_env.h"
#include "support/test_certificates.h"

using namespace std::chrono_literals;

namespace {

TOAuthConfig ConfigFor(const OAuthServer& server, std::string secret = {}) {
    return {server.Url("/authorize"), server.Url("/token"), "mail", "vornask-test",
            std::move(secret)};
}

// The outcome of one sign-in: tokens, or the failure's text.
struct SignInOutcome {
    std::optional<TOAuthTokens> tokens;
    QString failure;
};

SignInOutcome SignIn(const TOAuthConfig& config, std::chrono::milliseconds limit = 20s) {
    TOAuthSignIn signIn(config);
    signIn.SetTimeLimit(limit);
    SignInOutcome outcome;
    bool done = false;
    QObject::connect(&signIn, &TOAuthSignIn::Succeeded, [&](const TOAuthTokens& tokens) {
        outcome.tokens = tokens;
        done = true;
    });
    QObject::connect(&signIn, &TOAuthSignIn::Failed, [&](const QString& message) {
        outcome.failure = message;
        done = true;
    });
    signIn.Start();
    EXPECT_FALSE(done) << "the result came from inside Start()";
    EXPECT_TRUE(
        test_support::WaitFor([&] { return done; }, 30s,
                              [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }));
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
}

// Failures of the sign-in itself, each reported through Failed within bounds.
TEST_F(OAuthTest, SignInFailures) {
    OAuthServer server;
    auto config = ConfigFor(server);
    config.TokenUrl = "http://example.com/token";
    EXPECT_EQ(SignIn(config).failure.toStdString(),
              "The token URL must start with https:// (plain http only to this computer, such as "
              "127.0.0.1): http://example.com/token");

    OAuthServer denying({"--deny"});
    EXPECT_EQ(SignIn(ConfigFor(denying)).failure.toStdString(),
              "The provider refused the sign-in: access_denied (The user declined)");

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

}  // namespace

int main(int argc, char** argv) {
    // Also when the test runner lists the tests, with no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
