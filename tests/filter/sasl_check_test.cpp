// Signing in with SASL against a private Dovecot over STLS, tokens checked by a loopback
// authorization server: a whole check with a kill list over each token mechanism, a refused
// token, and PLAIN with the password.
#include <gtest/gtest.h>

#include "filter/fast_pass.h"
#include "filter/kill_list_store.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/files.h"
#include "support/net_access.h"
#include "support/oauth_server.h"
#include "support/test_certificates.h"
#include "support/test_values.h"

namespace {

const std::string kSpam = "From: spam@example.com\nSubject: Hi\n\nBuy.\n";
const std::string kHam = "From: ann@example.org\nSubject: Lunch\n\nNoon?\n";
const std::string kFailed = "-ERR [AUTH] Authentication failed.";

class SaslDovecotTest : public testing::Test {
  protected:
    void Start(const std::string& mechanisms) {
        const TestCertificates& certs = TestCertificates::Get();
        DovecotOptions options(certs.Pem("server"), certs.Key("server"));
        options.oauth2IntrospectionUrl = oauth_.Url("/introspect");
        options.oauth2Mechanisms = mechanisms;
        server_ = std::make_unique<DovecotServer>("alice", "pw", options);
        for (const std::string* m : {&kSpam, &kHam}) server_->Deliver(*m);
    }
    std::unique_ptr<TestPop3> Client(TAuthentication authentication,
                                     const std::string& token = "good-token") {
        auto pop = std::make_unique<TestPop3>(server_->Port(), "alice", "pw");
        pop->Hostname = "localhost";
        pop->Encryption = TEncryption::Stls;
        pop->Authentication = authentication;
        pop->AccessToken = token;
        return pop;
    }
    // The login error of a classic check, "" when it signs in.
    std::string LoginError(TPop3& pop) {
        try {
            pop.Login();
            pop.Logout();
            return "";
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.ErrorCode, kRefusedReply);
            return e.Message();
        }
    }
    // Dovecot writes its log lines apart from the session: waited for, ten seconds at most.
    bool LogNames(const std::string& part) { return !server_->AwaitLogLines(part, 1).empty(); }

    TrustOnly trust_;
    OAuthServer oauth_{{"--user", "alice", "--access-token", "good-token"}};
    std::unique_ptr<DovecotServer> server_;
    TempFolder folder_;
    TRegistry registry_{folder_ / "registry.reg"};
};

struct MechanismCase {
    std::string offered;  // Dovecot's token mechanisms
    std::string used;
    std::string refusal;  // a refused token's message
};

// A fast check with a kill list deletes the spam over the mechanism the server prefers; a
// token the server does not know is refused with the challenge's status.
TEST_F(SaslDovecotTest, WholeCheckOverEachTokenMechanismAndARefusedToken) {
    const std::vector<MechanismCase> cases = {
        {"xoauth2 oauthbearer", "OAUTHBEARER", kFailed + " (token status: invalid_token)"},
        {"xoauth2", "XOAUTH2", kFailed + " (token status: 401)"},
    };
    SaveKillList(registry_, {"From: = spam@"});
    for (const auto& c : cases) {
        Start(c.offered);
        auto pop = Client(TAuthentication::OAuth2);
        TFastCheck check(*pop, registry_, folder_ / "deleted.log", folder_ / "cache", FixedTime);
        check.Login();
        int32_t count = check.Listed();
        check.Run(count);
        EXPECT_EQ(count, 1) << c.used;
        EXPECT_EQ(server_->MessageFiles().size(), 1u) << c.used;
        EXPECT_TRUE(LogNames("method=" + c.used)) << server_->Log();

        auto refused = Client(TAuthentication::OAuth2, "unknown-token");
        EXPECT_EQ(LoginError(*refused), c.refusal);
    }
}

TEST_F(SaslDovecotTest, PlainSignsInWithThePassword) {
    Start("xoauth2 oauthbearer");
    auto pop = Client(TAuthentication::SaslPlain);
    EXPECT_EQ(LoginError(*pop), "");
    pop->Password = "wrong";
    EXPECT_EQ(LoginError(*pop), kFailed);
}

}  // namespace
