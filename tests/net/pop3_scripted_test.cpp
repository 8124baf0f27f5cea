// The POP3 client against a scripted peer: exact bytes on the wire, reply rules, the listing,
// header reading, and every way a connection can end early.
#include <gtest/gtest.h>

#include <chrono>

#include "support/net_access.h"
#include "support/pop3_script.h"

namespace {

using S = ScriptedPop3Server;

// Plays `steps` and runs `action` on a client logged in to it.
template <class Action>
std::vector<std::string> Session(const Steps& steps, Action&& action) {
    S server(steps);
    {
        TestPop3 pop(server.Port());
        action(pop);
        pop.CloseWithoutQuit();
    }
    return server.Lines();
}

struct StatusCase {
    std::string line;
    int code;  // 0: positive
};

TEST(Pop3ReplyTest, StatusLineRules) {
    const std::vector<StatusCase> cases = {
        {"+OK", 0},    {"+OK anything", 0}, {"+OKAY", 0}, {"-ERR no such message", 500},
        {"-ERR", 500}, {"-ERRx", 500},      {"+ok", 999}, {"-err x", 999},
        {"+O", 999},   {"", 999},           {" +OK", 999}};
    for (const auto& c : cases) {
        S server({S::Send("+OK hi\r\n"), S::ReadLine(), S::Send(c.line + "\r\n")});
        TestPop3 pop(server.Port());
        pop.Connect();
        pop.CheckReply();
        if (c.code == 0) {
            EXPECT_NO_THROW(pop.DeleteMessage(4)) << c.line;
        } else {
            try {
                pop.DeleteMessage(4);
                ADD_FAILURE() << "accepted " << c.line;
            } catch (const EProtocolError& e) {
                EXPECT_EQ(e.ErrorCode, c.code) << c.line;
                EXPECT_EQ(e.Message(), c.line);
                EXPECT_EQ(e.Protocol, "POP3");
            }
        }
        pop.CloseWithoutQuit();
        EXPECT_EQ(server.Lines(), std::vector<std::string>{"DELE 4"});
    }
}

TEST(Pop3LoginTest, SendsCommandsAndParsesTheListing) {
    // Text after the size is ignored.
    const std::string listing = "1 1200\r\n2  $10\r\n3 -5\r\n4 312 10\r\n5 7\tx\r\n";
    auto lines = Session(LoginSteps(listing), [](TestPop3& pop) {
        pop.Login();
        ASSERT_EQ(pop.Messages.size(), 5u);
        EXPECT_EQ(pop.Messages[0].Number, 1);
        std::vector<int32_t> sizes;
        for (const auto& m : pop.Messages) sizes.push_back(m.Size);
        EXPECT_EQ(sizes, (std::vector<int32_t>{1200, 16, -5, 312, 7}));
        EXPECT_FALSE(pop.IsClosed());
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"USER joe", "PASS pw", "LIST"}));
}

TEST(Pop3LoginTest, EmptyMailboxListsNothingAndReadsNoHeaders) {
    auto lines = Session(LoginSteps(""), [](TestPop3& pop) {
        pop.Login();
        pop.MailText = {"stale"};
        pop.ReadHeaders();
        EXPECT_TRUE(pop.Messages.empty());
        EXPECT_TRUE(pop.MailText.empty());
    });
    EXPECT_EQ(lines.size(), 3u) << "no TOP for an empty mailbox";
}

TEST(Pop3LoginTest, MalformedListingLineRaisesConvertError) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"17", "''"}, {"x 5", "'x'"}, {"1 5x more", "'5x'"},
        {"", "''"},   {"1 ", "''"},   {"99999999999 1", "'99999999999'"}};
    for (const auto& c : cases) {
        // Plain names: clang 14 does not let a lambda capture a structured binding.
        const std::string& listing = c.first;
        const std::string& quoted = c.second;
        Session(LoginSteps("1 10\r\n" + listing + "\r\n"), [&](TestPop3& pop) {
            try {
                pop.Login();
                ADD_FAILURE() << "accepted " << listing;
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), quoted + " is not a valid integer value");
            }
            EXPECT_EQ(pop.Messages.size(), 1u) << "entries before the bad line stay";
        });
    }
}

TEST(Pop3LoginTest, DestructionSurvivesAPeerThatIsGone) {
    S server(Then(LoginSteps("1 10\r\n"), {S::Close()}));
    auto pop = std::make_unique<TestPop3>(server.Port());
    pop->Login();
    EXPECT_NO_THROW(pop.reset());
    EXPECT_EQ(server.Connections(), 1);
}

// Three messages; TOP for the second is refused. Header values start one character after
// the colon, names are case-sensitive, later lines win, and the body line is scanned too.
TEST(Pop3HeadersTest, TopRunsFromLastToFirstAndMailTextFollowsTheListing) {
    const Steps steps = Then(
        LoginSteps("1 100\r\n2 200\r\n3 300\r\n"),
        {S::ReadLine(), S::Send("+OK\r\nFrom:xavier\r\nfrom: ignored\r\n\r\n..\r\n.\r\n"),
         S::ReadLine(), S::Send("-ERR no such message\r\n"), S::ReadLine(),
         S::Send("+OK\r\nFrom: Ann <a@x>\r\nSubject: old\r\n\r\nSubject: body wins\r\n.\r\n")});
    auto lines = Session(steps, [](TestPop3& pop) {
        pop.Login();
        pop.ReadHeaders();
        EXPECT_EQ(pop.MailText, (TLineBuffer{"Ann <a@x>\x07"
                                             "body wins",
                                             "2", "avier"}));
    });
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()),
              (std::vector<std::string>{"TOP 3 1", "TOP 2 1", "TOP 1 1"}));
}

TEST(Pop3HeadersTest, LostConnectionGivesEveryRemainingMessageItsNumber) {
    const Steps steps = Then(LoginSteps("1 1\r\n2 1\r\n3 1\r\n"),
                             {S::ReadLine(), S::Send("+OK\r\nFrom: a\r\nSubject: b\r\n.\r\n"),
                              S::ReadLine(), S::Send("+OK\r\nFrom: cut off\r\n")});
    Session(steps, [](TestPop3& pop) {
        pop.Login();
        pop.ReadHeaders();
        EXPECT_EQ(pop.MailText, (TLineBuffer{"1", "2",
                                             "a\x07"
                                             "b"}));
    });
}

TEST(Pop3RetrieveTest, KeepsDotLinesAndReplacesMailTextOnlyWhenWhole) {
    const Steps steps =
        Then(LoginSteps("1 10\r\n"),
             {S::ReadLine(), S::Send("+OK\r\nSubject: s\r\n\r\n..\r\n.x\r\n.\r\n"), S::ReadLine(),
              S::Send("-ERR gone\r\n"), S::ReadLine(), S::Send("+OK\r\npartial\r\n")});
    auto lines = Session(steps, [](TestPop3& pop) {
        pop.Login();
        pop.RetrieveMessage(1);
        const TLineBuffer whole{"Subject: s", "", "..", ".x"};
        EXPECT_EQ(pop.MailText, whole);
        EXPECT_THROW(pop.RetrieveMessage(2), EProtocolError);
        EXPECT_EQ(pop.MailText, whole);
        try {
            pop.RetrieveMessage(3);
            ADD_FAILURE() << "a cut message was taken as whole";
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.ErrorCode, 999);
            EXPECT_EQ(e.Message(), "");
        }
        EXPECT_EQ(pop.MailText, whole);
    });
    EXPECT_EQ(lines.back(), "RETR 3");
}

TEST(Pop3EarlyEndTest, DroppedBeforeStatusOrInsideAReplyFailsAs999) {
    Steps listingCut = LoginSteps("");
    listingCut.back() = S::Send("+OK\r\n1 10\r\n2 2");
    const std::vector<Steps> scripts = {
        {S::Close()},                                         // no greeting at all
        {S::Send("+OK\r\n"), S::ReadLine(), S::Send("+OK")},  // status line without CR LF
        listingCut,                                           // LIST reply without its "."
    };
    for (const Steps& steps : scripts) {
        Session(steps, [](TestPop3& pop) {
            try {
                pop.Login();
                ADD_FAILURE();
            } catch (const EProtocolError& e) {
                EXPECT_EQ(e.ErrorCode, 999);
                EXPECT_EQ(e.Message(), "");
                EXPECT_TRUE(e.ConnectionLost);
            }
        });
    }
}

// Every command form ends in CR LF; QUIT closes and releases the listing but keeps MailText.
TEST(Pop3LogoutTest, QuitClosesAndReleasesButKeepsMailText) {
    S server(
        Then(LoginSteps("1 5\r\n"), {S::ReadLine(), S::Send("+OK\r\nFrom: f\r\n.\r\n"),
                                     S::ReadLine(), S::Send("+OK\r\nx\r\n.\r\n"), S::ReadLine(),
                                     S::Send("+OK\r\n"), S::ReadLine(), S::Send("+OK bye\r\n")}));
    TestPop3 pop(server.Port());
    pop.Login();
    pop.ReadHeaders();
    pop.RetrieveMessage(1);
    pop.DeleteMessage(1);
    pop.Logout();
    EXPECT_TRUE(pop.Messages.empty());
    EXPECT_EQ(pop.MailText, TLineBuffer{"x"});
    EXPECT_EQ(pop.SocketHandle, -1);
    EXPECT_EQ(server.Received(),
              "USER joe\r\nPASS pw\r\nLIST\r\nTOP 1 1\r\nRETR 1\r\nDELE 1\r\nQUIT\r\n");
}

TEST(Pop3LogoutTest, RefusedQuitKeepsSocketAndListing) {
    Session(Then(LoginSteps("1 5\r\n"), {S::ReadLine(), S::Send("-ERR busy\r\n")}),
            [](TestPop3& pop) {
                pop.Login();
                EXPECT_THROW(pop.Logout(), EProtocolError);
                EXPECT_NE(pop.SocketHandle, -1);
                EXPECT_EQ(pop.Messages.size(), 1u);
            });
}

TEST(Pop3LogoutTest, WithoutConnectionFailsAtOnce) {
    TestPop3 pop(1);
    pop.Messages.push_back({});
    const auto start = std::chrono::steady_clock::now();
    for (auto call : {&TPop3::Logout, &TPop3::CheckReply}) {
        try {
            (pop.*call)();
            ADD_FAILURE();
        } catch (const EProtocolError& e) {
            EXPECT_EQ(e.ErrorCode, 999);
            EXPECT_EQ(e.Message(), "");
        }
    }
    EXPECT_THROW(pop.RetrieveMessage(1), EProtocolError);
    EXPECT_THROW(pop.DeleteMessage(1), EProtocolError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(pop.Messages.size(), 1u);
}

}  // namespace
