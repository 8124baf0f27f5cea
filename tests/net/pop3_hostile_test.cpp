// The POP3 client against servers that misbehave: every byte on the wire, failed logins that
// must not keep the mailbox locked, and the bounds on a reply's bytes, lines and time.
#include <gtest/gtest.h>

#include <chrono>

#include "net/pop3_probe.h"
#include "support/net_access.h"
#include "support/pop3_script.h"

namespace {

using S = ScriptedPop3Server;

const Steps kLogin = LoginSteps();

struct LoginFailure {
    std::string name;
    Steps steps;
    bool temporary;
};

// Whatever step fails, the connection is closed when Login raises; only USER and PASS
// refusals with a "not now" code count as temporary.
TEST(Pop3LoginFailureTest, ClosesTheConnectionAndTellsTemporaryRefusals) {
    const std::vector<LoginFailure> cases = {
        {"greeting", {S::Send("-ERR [IN-USE] busy\r\n"), S::ReadToEnd()}, false},
        {"user in use",
         {S::Send("+OK\r\n"), S::ReadLine(), S::Send("-ERR [IN-USE] locked\r\n"), S::ReadToEnd()},
         true},
        {"pass delay",
         Then(Steps(kLogin.begin(), kLogin.begin() + 4),
              {S::Send("-ERR [login-delay] wait\r\n"), S::ReadToEnd()}),
         true},
        {"pass temp",
         Then(Steps(kLogin.begin(), kLogin.begin() + 4),
              {S::Send("-ERR  [SYS/TEMP] later\r\n"), S::ReadToEnd()}),
         true},
        {"pass auth",
         Then(Steps(kLogin.begin(), kLogin.begin() + 4),
              {S::Send("-ERR [AUTH] wrong\r\n"), S::ReadToEnd()}),
         false},
        {"pass perm",
         Then(Steps(kLogin.begin(), kLogin.begin() + 4),
              {S::Send("-ERR [SYS/PERM] [IN-USE]\r\n"), S::ReadToEnd()}),
         false},
        {"list", Then(kLogin, {S::Send("-ERR [IN-USE]\r\n"), S::ReadToEnd()}), false},
        {"listing", Then(kLogin, {S::Send("+OK\r\n1 x\r\n.\r\n"), S::ReadToEnd()}), false},
    };
    for (const auto& c : cases) {
        S server(c.steps);
        TestPop3 pop(server.Port());
        try {
            pop.Login();
            ADD_FAILURE() << c.name;
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.TemporaryRefusal, c.temporary) << c.name;
            EXPECT_EQ(e.ErrorCode, kRefusedReply) << c.name;
            EXPECT_EQ(e.Message().substr(0, 5), "-ERR ") << c.name;
        } catch (const EConvertError&) {
            EXPECT_EQ(c.name, "listing");
        }
        EXPECT_EQ(pop.SocketHandle, -1) << c.name;
        EXPECT_EQ(server.Received().find("QUIT"), std::string::npos) << c.name;
    }
}

TEST(Pop3ReplyTest, LongStatusLineIsCutAtACharacterForTheMessage) {
    std::string reply = "-ERR ";
    for (int i = 0; i < 1000; ++i) reply += "\xC3\xA9";  // é
    S server({S::Send("+OK\r\n"), S::ReadLine(), S::Send(reply + "\r\n")});
    TestPop3 pop(server.Port());
    pop.Connect();
    pop.CheckReply();
    try {
        pop.DeleteMessage(1);
        FAIL();
    } catch (const EProtocolError& e) {
        const std::string& m = e.Message();
        EXPECT_LE(m.size(), 512u);
        EXPECT_GE(m.size(), 500u);
        EXPECT_EQ(m.substr(m.size() - 3), "...");
        EXPECT_EQ(m.compare(0, m.size() - 3, reply, 0, m.size() - 3), 0);
        EXPECT_EQ(static_cast<unsigned char>(m[m.size() - 4]), 0xA9u) << "whole characters only";
    }
    pop.CloseWithoutQuit();
}

struct BoundCase {
    std::string name;
    std::string body;  // RETR reply after its status line
};

std::string EmptyLines(size_t count) {
    std::string lines;
    for (size_t i = 0; i < count; ++i) lines += "\r\n";
    return lines;
}

// A reply over the cap drops the connection; dropped line ends count toward the cap as much
// as kept text.
TEST(Pop3ReplyTest, CapCountsEveryByte) {
    const std::vector<BoundCase> cases = {
        {"long text", std::string(3000, 'a') + "\r\n.\r\n"},
        {"lone LFs", std::string(3000, '\n') + "x\r\n.\r\n"},
        {"lone CRs", std::string(3000, '\r') + "x\r\n.\r\n"},
        {"empty lines", EmptyLines(1100) + ".\r\n"},
    };
    for (const auto& c : cases) {
        S server(Then(kLogin, {S::Send("+OK\r\n1 1\r\n.\r\n"), S::ReadLine(),
                               S::Send("+OK\r\n" + c.body), S::ReadToEnd()}));
        TestPop3 pop(server.Port());
        pop.MaxReplyBytes = 2000;
        pop.Login();
        try {
            pop.RetrieveMessage(1);
            ADD_FAILURE() << c.name;
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.ErrorCode, kBrokenReply) << c.name;
            EXPECT_EQ(e.Message(), "") << c.name;
            EXPECT_TRUE(e.ConnectionLost) << c.name;
        }
        EXPECT_TRUE(pop.IsClosed()) << c.name;
        pop.CloseWithoutQuit();
    }
}

// A message within the cap in bytes is taken whatever its number of lines, and the session
// goes on: one of 4 MiB of empty lines no longer ends every check.
TEST(Pop3ReplyTest, ManyShortLinesWithinTheCapAreTaken) {
    const size_t count = size_t{2} << 20;
    S server(Then(kLogin, {S::Send("+OK\r\n1 4194320\r\n.\r\n"), S::ReadLine(),
                           S::Send("+OK\r\nSubject: spam\r\n" + EmptyLines(count) + ".\r\n"),
                           S::ReadLine(), S::Send("+OK deleted\r\n"), S::ReadToEnd()}));
    TestPop3 pop(server.Port());
    pop.Login();
    EXPECT_TRUE(pop.FitsReplyBound(pop.Messages[0].Size));
    pop.RetrieveMessage(1);
    ASSERT_EQ(pop.MailText.size(), count + 1);
    EXPECT_EQ(pop.MailText.front(), "Subject: spam");
    EXPECT_EQ(pop.MailText.back(), "");
    EXPECT_NO_THROW(pop.DeleteMessage(1));
    pop.CloseWithoutQuit();
}

// One check keeps a bounded amount whatever the server sends: a listing one entry past the
// bound ends the session without QUIT (nothing deleted) and keeps nothing, one at the bound is
// taken; the header read keeps a cut summary of each message, not its header lines.
TEST(Pop3KeptBoundsTest, ListingAndHeaderSummariesAreBounded) {
    std::string atBound;
    for (size_t i = 0; i < TPop3::kMaxListedMessages; ++i) atBound += "1 1\r\n";
    for (const bool over : {false, true}) {
        S server(Then(LoginSteps(atBound + (over ? "2 1\r\n" : "")), {S::ReadToEnd()}));
        TestPop3 pop(server.Port());
        try {
            pop.Login();
            EXPECT_FALSE(over);
            EXPECT_EQ(pop.Messages.size(), TPop3::kMaxListedMessages);
            pop.CloseWithoutQuit();
        } catch (const EMailboxTooLarge& e) {
            EXPECT_TRUE(over);
            EXPECT_EQ(e.Message(),
                      "The mailbox lists more than 1000000 messages, more than one check takes.");
            EXPECT_TRUE(pop.Messages.empty());
        }
        EXPECT_EQ(pop.SocketHandle, -1);
        EXPECT_EQ(server.Received().find("QUIT"), std::string::npos);
    }

    std::string from;
    for (int i = 0; i < 150; ++i) from += "\xC3\xA9";  // é, 300 bytes
    S server(Then(LoginSteps("1 10\r\n"),
                  {S::ReadLine(),
                   S::Send("+OK\r\nFrom: " + from +
                           "\r\nSubject: " + std::string(size_t{1} << 20, 's') + "\r\n\r\n.\r\n"),
                   S::ReadToEnd()}));
    TestPop3 pop(server.Port());
    pop.Login();
    pop.ReadHeaders();
    pop.CloseWithoutQuit();
    const size_t field = TPop3::kMaxHeaderField;
    EXPECT_EQ(pop.MailText, TLineBuffer{from.substr(0, field) + '\x07' + std::string(field, 's')});
}

// Each byte comes well within the receive bound, but the reply as a whole does not.
TEST(Pop3ReplyTest, TrickleIsBoundedPerWholeReply) {
    S server({S::Trickle("+OK this reply never ends" + std::string(200, 'x'), 20)});
    TestPop3 pop(server.Port());
    pop.ReceiveTimeoutMs = 5000;
    pop.ReplyTimeoutMs = 300;
    const auto start = std::chrono::steady_clock::now();
    try {
        pop.Login();
        FAIL();
    } catch (const EProtocolError& e) {
        EXPECT_TRUE(e.ConnectionLost);
        EXPECT_EQ(e.Message(), "");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

// A server that never greets (STARTTLS or none against a TLS port) is given up at the greeting
// bound, long before the receive bound, with words that point to the likely cause; the check
// and the connection test alike.
TEST(Pop3GreetingTest, SilenceEndsAtTheGreetingBound) {
    S check({S::ReadToEnd()});
    S probed({S::ReadToEnd()});
    TestPop3 pop(check.Port());
    TPop3Probe probe;
    probe.Hostname = "127.0.0.1";
    probe.Port = probed.Port();
    for (TPop3* client : {static_cast<TPop3*>(&pop), static_cast<TPop3*>(&probe)}) {
        client->Encryption = TEncryption::Stls;
        client->GreetingTimeoutMs = 300;
        const auto start = std::chrono::steady_clock::now();
        try {
            if (client == &pop)
                pop.Login();
            else
                probe.Run();
            ADD_FAILURE() << "greeted";
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.Message(), kNoGreetingText);
            EXPECT_EQ(std::string(kNoGreetingText),
                      "No greeting from the server within 15 seconds; it may expect TLS on "
                      "connect (port 995).");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(client->SocketHandle, -1);
    }
    EXPECT_EQ(check.Received(), "");
}

}  // namespace
