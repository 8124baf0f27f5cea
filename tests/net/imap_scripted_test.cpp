// The IMAP client against a scripted peer: the exact bytes of whole sessions (CR LF
// included), refusals that leave the session usable, the SASL exchanges, and how names and UID
// sets are written.
#include <gtest/gtest.h>

#include "base/base64.h"
#include "imap_access.h"
#include "net/imap_text.h"
#include "support/imap_script.h"

namespace {

using S = ScriptedPop3Server;

// Two messages with what a careless parser would trip on: CR LF, parentheses, braces and a
// line that looks like a tagged response.
const std::string kFirst = "Subject: a)\r\n\r\nA5 OK {3}\r\n(x\r\n";
const std::string kSecond = "Subject: b\r\n\r\nbody\r\n";

// Greeting, CAPABILITY, LOGIN with a literal password, SELECT, UID SEARCH, UID FETCH with
// news in its midst, UID STORE, UID EXPUNGE and LOGOUT, in one session.
TEST(ImapSessionTest, ExactBytesOfAWholeSession) {
    S server({S::Send("* OK ready\r\n"), S::ReadLine(),
              S::Send("* CAPABILITY IMAP4rev1 UIDPLUS IDLE\r\nA1 OK done\r\n"), S::ReadLine(),
              S::Send("+ go on\r\n"), S::ReadLine(),
              S::Send("A2 OK [CAPABILITY IMAP4rev1 UIDPLUS MOVE] in\r\n"), S::ReadLine(),
              S::Send("* 3 EXISTS\r\n* 0 RECENT\r\n* FLAGS (\\Seen \\Deleted)\r\n"
                      "* OK [UIDVALIDITY 77] v\r\n* OK [UIDNEXT 12] n\r\n"
                      "A3 OK [READ-WRITE] selected\r\n"),
              S::ReadLine(), S::Send("* SEARCH 5 9 11\r\nA4 OK\r\n"), S::ReadLine(),
              S::Send("* 1 FETCH (UID 5 BODY[] " + ImapLiteral(kFirst) + ")\r\n* 2 EXPUNGE\r\n" +
                      "* 4 EXISTS\r\n* 3 FETCH (FLAGS (\\Seen) UID 11 BODY[] " +
                      ImapLiteral(kSecond) + ")\r\n* 2 FETCH (FLAGS (\\Deleted))\r\n" +
                      "* 9 FETCH (UID 99 BODY[] \"x\")\r\nA5 OK\r\n"),
              S::ReadLine(), S::Send("A6 OK\r\n"), S::ReadLine(),
              S::Send("* 1 EXPUNGE\r\nA7 OK\r\n"), S::ReadLine(),
              S::Send("* BYE bye\r\nA8 OK\r\n")});
    TestImap imap(server.Port(), "joe", "p\xC3\xA4");
    EXPECT_FALSE(imap.Greet());
    EXPECT_EQ(imap.Capabilities().size(), 3u);
    imap.Login();
    EXPECT_TRUE(imap.Offers("MOVE")) << "the login's capabilities replace the earlier ones";
    const TImapFolderState state = imap.Select("INBOX");
    EXPECT_EQ(state.UidValidity, 77u);
    EXPECT_EQ(state.UidNext, 12u);
    EXPECT_EQ(state.Exists, 3u);
    EXPECT_TRUE(state.ReadWrite);
    EXPECT_EQ(imap.UidSearch("UNSEEN SINCE " + ImapDate(2026, 3, 7)),
              (std::vector<uint32_t>{5, 9, 11}));
    std::vector<std::pair<uint32_t, std::string>> got;
    imap.UidFetchMessages({11, 9, 5}, [&](uint32_t uid, std::string_view message) {
        got.emplace_back(uid, std::string(message));
    });
    EXPECT_EQ(got, (std::vector<std::pair<uint32_t, std::string>>{{5, kFirst}, {11, kSecond}}));
    EXPECT_EQ(imap.News.Expunged, 1u);
    EXPECT_EQ(imap.News.Exists, 4u);
    EXPECT_EQ(imap.News.FlagChanges, 1u);
    imap.UidStoreDeleted({5});
    imap.UidExpunge({5});
    imap.Logout();
    EXPECT_EQ(imap.SocketHandle, -1);
    EXPECT_EQ(server.Received(),
              "A1 CAPABILITY\r\n"
              "A2 LOGIN \"joe\" {3}\r\np\xC3\xA4\r\n"
              "A3 SELECT \"INBOX\"\r\n"
              "A4 UID SEARCH UNSEEN SINCE 7-Mar-2026\r\n"
              "A5 UID FETCH 5,9,11 (UID BODY.PEEK[])\r\n"
              "A6 UID STORE 5 +FLAGS.SILENT (\\Deleted)\r\n"
              "A7 UID EXPUNGE 5\r\n"
              "A8 LOGOUT\r\n");
}

// PREAUTH, the trash found by its special use, IDLE that reports new mail and then times
// out, and the move to the trash; without UIDPLUS nothing is expunged. A refusal (NO, BAD) is
// no broken connection: the session goes on; a command with a line break is never sent.
TEST(ImapSessionTest, IdleTheTrashFolderAndRefusals) {
    S server({S::Send("* PREAUTH [CAPABILITY IMAP4rev1 LIST-EXTENDED SPECIAL-USE MOVE IDLE "
                      "X-GM-EXT-1] hi\r\n"),
              S::ReadLine(),
              S::Send("* LIST (\\HasNoChildren) \"/\" INBOX\r\n"
                      "* LIST (\\HasNoChildren \\Trash) \"/\" \"[Gmail]/Trash\"\r\nA1 OK\r\n"),
              S::ReadLine(), S::Send("+ idling\r\n* 4 EXISTS\r\n"), S::ReadLine(),
              S::Send("A2 OK done\r\n"), S::ReadLine(), S::Send("A3 OK\r\n"), S::ReadLine(),
              S::Send("A4 NO [NONEXISTENT] no such folder\r\n"), S::ReadLine(),
              S::Send("A5 BAD what\r\n"), S::ReadLine(), S::Send("* SEARCH\r\nA6 OK\r\n")});
    TestImap imap(server.Port());
    EXPECT_TRUE(imap.Greet());
    EXPECT_TRUE(imap.IsGmail());
    const std::optional<std::string> trash = imap.TrashFolder();
    ASSERT_EQ(trash, "[Gmail]/Trash");
    imap.Idle();
    EXPECT_EQ(imap.IdleWait(5000), 4u);
    EXPECT_EQ(imap.IdleWait(50), std::nullopt);
    imap.Done();
    imap.UidMove({7}, *trash);
    EXPECT_THROW(imap.UidExpunge({7}), EProtocolError);
    EXPECT_THROW(imap.Select("Nope"), EProtocolError);
    EXPECT_THROW(imap.UidMove({8}, "Old"), EProtocolError);
    EXPECT_TRUE(imap.UidSearch("ALL").empty());
    EXPECT_THROW(imap.UidSearch("ALL\r\nA9 DELETE INBOX"), EProtocolError);
    imap.Abort();
    EXPECT_EQ(server.Received(),
              "A1 LIST \"\" \"*\" RETURN (SPECIAL-USE)\r\n"
              "A2 IDLE\r\nDONE\r\n"
              "A3 UID MOVE 7 \"[Gmail]/Trash\"\r\n"
              "A4 SELECT \"Nope\"\r\n"
              "A5 UID MOVE 8 \"Old\"\r\n"
              "A6 UID SEARCH ALL\r\n");
}

struct SaslCase {
    std::string name;
    std::string capabilities;  // of the greeting
    void (TImap::*signIn)();
    Steps steps;          // after the greeting
    std::string sent;     // every byte the client sent
    std::string refusal;  // part of the error's message; empty when signed in
};

// Each mechanism with and without the initial response, refused tokens answered so that the
// server can say NO, and the capabilities read again after a sign-in that did not name them.
TEST(ImapSaslTest, ExactBytesOfEachExchange) {
    const std::string bearer = "n,a=joe,\x01host=127.0.0.1\x01port=";
    const std::string refused = "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n";  // invalid_token
    const std::vector<SaslCase> cases = {
        {"plain, initial response",
         "AUTH=PLAIN SASL-IR",
         &TImap::AuthenticatePlain,
         {S::ReadLine(), S::Send("A1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n")},
         "A1 AUTHENTICATE PLAIN AGpvZQBwdw==\r\n",
         ""},
        {"xoauth2 after +",
         "AUTH=XOAUTH2",
         &TImap::AuthenticateXOAuth2,
         {S::ReadLine(), S::Send("+ \r\n"), S::ReadLine(), S::Send("A1 OK in\r\n"), S::ReadLine(),
          S::Send("* CAPABILITY IMAP4rev1\r\nA2 OK\r\n")},
         "A1 AUTHENTICATE XOAUTH2\r\ndXNlcj1qb2UBYXV0aD1CZWFyZXIgdG9rAQE=\r\nA2 CAPABILITY\r\n",
         ""},
        {"xoauth2 refused",
         "AUTH=XOAUTH2",
         &TImap::AuthenticateXOAuth2,
         {S::ReadLine(), S::Send("+ \r\n"), S::ReadLine(), S::Send(refused), S::ReadLine(),
          S::Send("A1 NO [AUTHENTICATIONFAILED] no\r\n")},
         "A1 AUTHENTICATE XOAUTH2\r\ndXNlcj1qb2UBYXV0aD1CZWFyZXIgdG9rAQE=\r\n\r\n",
         "A1 NO [AUTHENTICATIONFAILED] no (token status: invalid_token)"},
        {"oauthbearer refused",
         "AUTH=OAUTHBEARER SASL-IR",
         &TImap::AuthenticateOAuthBearer,
         {S::ReadLine(), S::Send(refused), S::ReadLine(), S::Send("A1 NO bad\r\n")},
         "A1 AUTHENTICATE OAUTHBEARER <bearer>\r\nAQ==\r\n",
         "A1 NO bad (token status: invalid_token)"},
        {"mechanism not offered",
         "AUTH=PLAIN",
         &TImap::AuthenticateOAuthBearer,
         {},
         "",
         "does not offer AUTHENTICATE OAUTHBEARER"},
        {"login disabled", "LOGINDISABLED AUTH=PLAIN", &TImap::Login, {}, "", "LOGINDISABLED"},
        {"login refused",
         "AUTH=PLAIN",
         &TImap::Login,
         {S::ReadLine(), S::Send("A1 NO [UNAVAILABLE] later\r\n")},
         "A1 LOGIN \"joe\" \"pw\"\r\n",
         "A1 NO [UNAVAILABLE] later"},
    };
    for (const SaslCase& c : cases) {
        Steps steps{S::Send("* OK [CAPABILITY IMAP4rev1 " + c.capabilities + "] hi\r\n")};
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        S server(steps);
        TestImap imap(server.Port());
        imap.AccessToken = "tok";
        imap.Greet();
        try {
            (imap.*c.signIn)();
            EXPECT_EQ(c.refusal, "") << c.name;
        } catch (const EProtocolError& e) {
            EXPECT_NE(e.Message().find(c.refusal), std::string::npos) << c.name << e.Message();
            EXPECT_EQ(e.ErrorCode, kRefusedReply) << c.name;
            EXPECT_EQ(e.LoginRefused, c.steps.size() > 0) << c.name;
            EXPECT_EQ(e.TemporaryRefusal, c.name == "login refused") << c.name;
        }
        imap.Abort();
        std::string sent = c.sent;
        const size_t at = sent.find("<bearer>");
        if (at != std::string::npos)
            sent.replace(at, 8,
                         Base64Encode(bearer + std::to_string(server.Port()) +
                                      "\x01"
                                      "auth=Bearer tok\x01\x01"));
        EXPECT_EQ(server.Received(), sent) << c.name;
    }
}

TEST(ImapTextTest, FolderNamesAndUidSets) {
    EXPECT_EQ(ImapFolderName("Entw\xC3\xBCrfe"), "Entw&APw-rfe");
    EXPECT_EQ(ImapFolderName("Junk & Spam"), "Junk &- Spam");
    EXPECT_EQ(ImapFolderName("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"), "&ZeVnLIqe-");
    EXPECT_EQ(ImapFolderName("a\xF0\x9F\x98\x80"), "a&2D3eAA-");
    EXPECT_EQ(ImapFolderName("bad\xFF"), "bad\xFF");
    EXPECT_EQ(ImapUidSets({10, 3, 1, 2, 7, 9, 2}), (std::vector<std::string>{"1:3,7,9:10"}));
    EXPECT_EQ(ImapUidSets({1, 2, 3, 7, 9, 10}, 5), (std::vector<std::string>{"1:3,7", "9:10"}));
    EXPECT_EQ(ImapQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(ImapQuoted("p\xC3\xA4"), std::nullopt);
}

}  // namespace
