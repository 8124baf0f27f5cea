// SASL sign-in against a scripted peer: the exact bytes of each AUTH exchange, refused tokens,
// mechanisms not offered, and the fast check's login doing the same.
#include <gtest/gtest.h>

#include "base/base64.h"
#include "net/sasl.h"
#include "support/net_access.h"
#include "support/pop3_script.h"

namespace {

using S = ScriptedPop3Server;
using A = TAuthentication;

const std::string kXoauthRefusal =  // {"status":"401","schemes":"bearer","scope":"mail"}
    "+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0=\r\n";
const std::string kBearerRefusal = "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n";  // invalid_token

// The greeting, CAPA read and answered with capaLines ("SASL PLAIN\r\n"), AUTH read.
Steps UpToAuth(const std::string& capaLines) {
    return {S::Send("+OK ready\r\n"), S::ReadLine(), S::Send("+OK\r\n" + capaLines + ".\r\n"),
            S::ReadLine()};
}

std::unique_ptr<TestPop3> Client(const S& server, A authentication) {
    auto pop = std::make_unique<TestPop3>(server.Port(), "joe", "pw");
    pop->Authentication = authentication;
    return pop;
}

// The scripted peer speaks plain text, which Login and Greet refuse for a token: the sign-in
// runs here through the steps Login takes.
class SaslPop3 : public TestPop3 {
  public:
    using TestPop3::TestPop3;
    void SignInOnly() {
        Connect();
        CheckReply();
        Capabilities();
        SignInSasl();
    }
};

std::string Decoded(const std::string& line) {
    return Base64Decode(line).value_or("<not base64>");
}

struct ExchangeCase {
    A authentication;
    std::string sasl;       // CAPA's SASL line
    std::string mechanism;  // what AUTH names
    std::string response;   // the decoded response
};

// Every mechanism: AUTH alone, the response only after "+", then the listing.
TEST(Pop3SaslTest, EachMechanismInTwoSteps) {
    const std::string bearer = "n,a=joe,\x01host=127.0.0.1\x01port=";
    const std::vector<ExchangeCase> cases = {
        {A::SaslPlain, "sasl login plain", "PLAIN", std::string("\0joe\0pw", 7)},
        {A::OAuth2, "SASL PLAIN XOAUTH2", "XOAUTH2",
         "user=joe\x01"
         "auth=Bearer tok\x01\x01"},
        {A::OAuth2, "SASL XOAUTH2 OAUTHBEARER", "OAUTHBEARER", bearer},
    };
    for (const auto& c : cases) {
        S server(Then(UpToAuth("UIDL\r\n" + c.sasl + "\r\n"),
                      {S::Send("+ \r\n"), S::ReadLine(), S::Send("+OK Logged in.\r\n"),
                       S::ReadLine(), S::Send("+OK\r\n1 120\r\n.\r\n"), S::ReadToEnd()}));
        SaslPop3 pop(server.Port());
        pop.Authentication = c.authentication;
        pop.AccessToken = "tok";
        pop.SignInOnly();
        pop.DeleteMessage(1);  // anything after the sign-in reaches the server in step
        pop.CloseWithoutQuit();
        const auto lines = server.Lines();
        ASSERT_EQ(lines.size(), 4u) << c.mechanism;
        EXPECT_EQ(lines[0], "CAPA");
        EXPECT_EQ(lines[1], "AUTH " + c.mechanism);
        std::string want = c.response;
        if (c.mechanism == "OAUTHBEARER")
            want += std::to_string(server.Port()) +
                    "\x01"
                    "auth=Bearer tok\x01\x01";
        EXPECT_EQ(Decoded(lines[2]), want) << c.mechanism;
        EXPECT_EQ(lines[3], "DELE 1");
    }
}

// The classic Login with PLAIN reads CAPA, signs in and lists; nothing else differs.
TEST(Pop3SaslTest, LoginWithPlainListsAfterTheExchange) {
    S server(Then(UpToAuth("SASL PLAIN\r\n"),
                  {S::Send("+\r\n"), S::ReadLine(), S::Send("+OK\r\n"), S::ReadLine(),
                   S::Send("+OK\r\n1 120\r\n2 300\r\n.\r\n")}));
    auto pop = Client(server, A::SaslPlain);
    pop->Login();
    EXPECT_EQ(pop->Messages.size(), 2u);
    pop->CloseWithoutQuit();
    EXPECT_EQ(server.Lines(),
              (std::vector<std::string>{"CAPA", "AUTH PLAIN", "AGpvZQBwdw==", "LIST"}));
}

struct RefusalCase {
    std::string sasl;
    std::string challenge;  // empty: no challenge, the -ERR follows the response
    std::string answer;     // the line answering the challenge
    std::string refusal;
    std::string message;
    bool temporary;
};

// A refused token gets the error challenge's answer, and the final -ERR is the error with the
// challenge's status after the server's words; a refusal for now stays one.
TEST(Pop3SaslTest, RefusedTokenAnswersTheChallengeAndReportsItsStatus) {
    const std::string failed = "-ERR [AUTH] Authentication failed.";
    const std::vector<RefusalCase> cases = {
        {"XOAUTH2", kXoauthRefusal, "", failed, failed + " (token status: 401)", false},
        {"OAUTHBEARER", kBearerRefusal, "AQ==", failed, failed + " (token status: invalid_token)",
         false},
        {"OAUTHBEARER", "", "", "-ERR [IN-USE] busy", "-ERR [IN-USE] busy", true},
        {"OAUTHBEARER", "+ not json\r\n", "AQ==", failed, failed, false},
    };
    for (const auto& c : cases) {
        Steps steps = Then(UpToAuth("SASL " + c.sasl + "\r\n"), {S::Send("+ \r\n"), S::ReadLine()});
        if (!c.challenge.empty()) steps = Then(steps, {S::Send(c.challenge), S::ReadLine()});
        S server(Then(steps, {S::Send(c.refusal + "\r\n"), S::ReadToEnd()}));
        SaslPop3 pop(server.Port());
        pop.Authentication = A::OAuth2;
        try {
            pop.SignInOnly();
            ADD_FAILURE() << "accepted " << c.refusal;
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.ErrorCode, kRefusedReply);
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.TemporaryRefusal, c.temporary) << c.refusal;
        }
        pop.CloseWithoutQuit();
        const auto lines = server.Lines();
        ASSERT_EQ(lines.size(), c.challenge.empty() ? 3u : 4u) << c.message;
        EXPECT_EQ(lines[1], "AUTH " + c.sasl);
        if (!c.challenge.empty()) {
            EXPECT_EQ(lines[3], c.answer);
        }
    }
}

struct NotOfferedCase {
    A authentication;
    std::string capa;  // the whole reply to CAPA
    std::string message;
};

// Without the mechanism the check ends after CAPA: no AUTH, no credential, only a close.
TEST(Pop3SaslTest, MechanismNotOfferedSendsNothingAfterCapa) {
    const std::vector<NotOfferedCase> cases = {
        {A::OAuth2, "+OK\r\nSASL PLAIN LOGIN\r\n.\r\n",
         "The server does not offer sign-in with OAUTHBEARER or XOAUTH2 (it offers: PLAIN "
         "LOGIN)."},
        {A::SaslPlain, "+OK\r\nUIDL\r\n.\r\n",
         "The server does not offer sign-in with PLAIN (it offers no SASL sign-in)."},
        {A::SaslPlain, "-ERR no CAPA\r\n",
         "The server does not offer sign-in with PLAIN (it offers no SASL sign-in)."},
    };
    for (const auto& c : cases) {
        S server({S::Send("+OK ready\r\n"), S::ReadLine(), S::Send(c.capa), S::ReadToEnd()});
        SaslPop3 pop(server.Port());
        pop.Authentication = c.authentication;
        try {
            pop.SignInOnly();
            ADD_FAILURE() << c.message;
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        pop.CloseWithoutQuit();
        EXPECT_EQ(server.Received(), "CAPA\r\n");
    }
}

// Anything but "+" to AUTH, or a cut exchange, is a broken reply and nothing more is sent.
TEST(Pop3SaslTest, OddAnswerToAuthEndsTheSessionWithoutCredentials) {
    for (const std::string answer : {"+OK\r\n", "* what\r\n", "+go\r\n", ""}) {
        S server(Then(UpToAuth("SASL PLAIN\r\n"), {S::Send(answer), S::Close()}));
        auto pop = Client(server, A::SaslPlain);
        try {
            pop->Login();
            ADD_FAILURE() << answer;
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.ErrorCode, kBrokenReply) << answer;
            EXPECT_EQ(e.ConnectionLost, answer.empty()) << answer;
        }
        EXPECT_TRUE(pop->IsClosed());
        EXPECT_EQ(server.Lines(), (std::vector<std::string>{"CAPA", "AUTH PLAIN"}));
    }
}

// A token never travels in clear: refused before connecting, by either login.
TEST(Pop3SaslTest, OAuth2WithoutEncryptionIsRefusedBeforeConnecting) {
    S server({S::Send("+OK ready\r\n"), S::ReadToEnd()});
    TestPop3 pop(server.Port());
    pop.Authentication = A::OAuth2;
    for (const auto& login : {+[](TestPop3& p) { p.Login(); }, +[](TestPop3& p) { p.Greet(); }}) {
        try {
            login(pop);
            ADD_FAILURE();
        } catch (const EEncryptionError& e) {
            EXPECT_EQ(e.Fault, EEncryptionError::TFault::TokenInClear);
        }
    }
    EXPECT_EQ(server.Connections(), 0);
}

// The fast check signs in the same way, then pipelines LIST and UIDL.
TEST(Pop3SaslTest, FastCheckSignsInWithTheSameExchange) {
    S server(Then(UpToAuth("PIPELINING\r\nUIDL\r\nSASL XOAUTH2\r\n"),
                  {S::Send("+ \r\n"), S::ReadLine(), S::Send("+OK\r\n"), S::ReadLine(),
                   S::ReadLine(), S::Send("+OK\r\n1 120\r\n.\r\n+OK\r\n1 abc\r\n.\r\n")}));
    SaslPop3 pop(server.Port());
    pop.Authentication = A::OAuth2;
    pop.AccessToken = "tok";
    pop.Connect();  // Greet would refuse the plain connection
    pop.CheckReply();
    const auto capabilities = pop.Capabilities();
    const auto uids = pop.Authenticate(Offers(capabilities, "PIPELINING"), true);
    ASSERT_EQ(uids.size(), 1u);
    EXPECT_EQ(uids.Find(1), "abc");
    pop.CloseWithoutQuit();
    const auto lines = server.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "AUTH XOAUTH2");
    EXPECT_EQ(Decoded(lines[2]),
              "user=joe\x01"
              "auth=Bearer tok\x01\x01");
    EXPECT_EQ((std::vector<std::string>{lines[3], lines[4]}),
              (std::vector<std::string>{"LIST", "UIDL"}));
    EXPECT_TRUE(server.Ahead()[3]) << "LIST and UIDL go in one write";
}

TEST(SaslTest, ChallengeStatusAndBase64) {
    EXPECT_EQ(Sasl::ChallengeStatus("eyJzdGF0dXMiOiA0MDF9"), "401");  // {"status": 401}
    EXPECT_EQ(Sasl::ChallengeStatus("e30="), "");                     // {}
    EXPECT_EQ(Sasl::ChallengeStatus("!!!"), "");
    EXPECT_EQ(Base64Decode("Zm9vYg=="), "foob");
    EXPECT_EQ(Base64Decode("Zm9vYmE="), "fooba");
    EXPECT_EQ(Base64Decode(""), "");
    EXPECT_FALSE(Base64Decode("Zm9"));
    EXPECT_FALSE(Base64Decode("Zm9*"));
}

}  // namespace
