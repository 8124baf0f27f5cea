// The POP3 client against a real Dovecot that each test starts in a private directory.
#include <gtest/gtest.h>

#include "support/dovecot_server.h"
#include "support/net_access.h"

namespace {

const std::string kFirst =
    "Return-Path: <ann@example.org>\n"
    "From: Ann Example <ann@example.org>\n"
    "To: joe@example.org\n"
    "Subject: Lunch\n"
    "Date: Mon, 4 Mar 2024 10:00:00 +0000\n"
    "\n"
    "Noon?\n"
    "..\n"
    ".\n"
    "Bye\n";
const std::string kSecond =
    "From: Bob <bob@example.org>\n"
    "To: joe@example.org\n"
    "\n"
    "No subject here.\n";

class Pop3DovecotTest : public testing::Test {
  protected:
    Pop3DovecotTest() : server_("joe", "pw") {
        first_ = server_.Deliver(kFirst);
        server_.Deliver(kSecond);
    }
    DovecotServer server_;
    std::string first_;
};

TEST_F(Pop3DovecotTest, ListsReadsHeadersAndRetrieves) {
    TestPop3 pop(server_.Port());
    pop.Login();
    ASSERT_EQ(pop.Messages.size(), 2u);
    EXPECT_EQ(pop.Messages[0].Number, 1);
    EXPECT_EQ(pop.Messages[1].Number, 2);
    EXPECT_GT(pop.Messages[0].Size, static_cast<int32_t>(kFirst.size()));  // CR LF counted

    pop.ReadHeaders();
    ASSERT_EQ(pop.MailText.size(), 2u);
    EXPECT_EQ(pop.MailText[0], "Ann Example <ann@example.org>\x07Lunch");
    EXPECT_EQ(pop.MailText[1], "Bob <bob@example.org>");

    pop.RetrieveMessage(1);
    const TLineBuffer expected{"Return-Path: <ann@example.org>",
                               "From: Ann Example <ann@example.org>",
                               "To: joe@example.org",
                               "Subject: Lunch",
                               "Date: Mon, 4 Mar 2024 10:00:00 +0000",
                               "",
                               "Noon?",
                               "...",
                               "..",
                               "Bye"};
    // The server stuffs a leading dot and the client keeps the line as it came: ".." stays "..".
    EXPECT_EQ(pop.MailText, expected);
    pop.Logout();
    EXPECT_EQ(server_.MessageFiles().size(), 2u);
}

TEST_F(Pop3DovecotTest, RejectedPasswordCarriesTheServerLine) {
    TestPop3 pop(server_.Port());
    pop.Password = "wrong";
    try {
        pop.Login();
        FAIL();
    } catch (const EProtocolError& e) {
        EXPECT_EQ(e.ErrorCode, 500);
        EXPECT_EQ(e.Message(), "-ERR [AUTH] Authentication failed.");
    }
}

TEST_F(Pop3DovecotTest, DeletionTakesEffectOnlyWithQuit) {
    {
        TestPop3 pop(server_.Port());
        pop.Login();
        pop.DeleteMessage(1);
        pop.CloseWithoutQuit();
    }
    EXPECT_EQ(server_.MessageFiles().size(), 2u);

    TestPop3 pop(server_.Port());
    pop.Login();
    pop.DeleteMessage(1);
    EXPECT_THROW(pop.RetrieveMessage(1), EProtocolError);
    pop.Logout();
    const auto left = server_.MessageFiles();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].find(first_.substr(first_.rfind('/') + 1)), std::string::npos);
}

}  // namespace
