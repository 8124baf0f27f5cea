// The IMAP client against servers that misbehave: each case ends the connection with an
// error that says what went wrong, within bounded time and memory.
#include <gtest/gtest.h>

#include <chrono>

#include "imap_access.h"
#include "support/pop3_script.h"

namespace {

using S = ScriptedPop3Server;

struct HostileCase {
    std::string name;
    std::string reply;  // to SELECT (or the fetch); the server then waits for the end
    std::string error;  // part of the message
    bool fetch = false;
};

std::string Repeated(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(ImapHostileTest, EachEndsTheConnectionWithAClearError) {
    const std::vector<HostileCase> cases = {
        {"long line", "* " + std::string(5000, 'a') + "\r\n", "line longer than 4096 bytes"},
        {"long literal", "* 1 FETCH (UID 5 BODY[] {5000}\r\n", "literal of 5000 bytes", true},
        {"huge literal", "* 1 FETCH (UID 5 BODY[] {99999999999999}\r\n", "literal of", true},
        {"endless literal", "* 1 FETCH (UID 5 BODY[] {100}\r\n0123456789",
         "10 bytes into a literal of 100", true},
        {"stall", "* 3 EXI", "The connection ended during the response to SELECT"},
        {"bye", "* 1 EXISTS\r\n* BYE going down\r\n",
         "ended the session during SELECT: * BYE going down"},
        {"bye mid-fetch", "* 1 FETCH (UID 5 BODY[] {1}\r\nx)\r\n* BYE off\r\n",
         "during UID FETCH: * BYE off", true},
        {"continuation", "+ more?\r\n", "A continuation that was not asked for: + more?"},
        {"no tag", "hello\r\n", "Unreadable IMAP response (a response without a tag): hello"},
        {"wrong tag", "A9 OK fine\r\n", "A response with another tag: A9 OK fine"},
        {"bad tagged", "A1 HELLO\r\n", "a tagged response that is not OK, NO or BAD"},
        {"open quote", "* LIST () \"/\" \"abc\r\n", "a quoted string that is not closed"},
        {"open list", "* FLAGS (\\Seen\r\n", "a list that is not closed"},
        {"close list", "* FLAGS )\r\n", "a list closed that was not opened"},
        {"deep lists", "* X " + std::string(40, '(') + "\r\n", "lists nested deeper than 32"},
        {"literal mid-line", "* X {3}abc\r\n", "not {digits} at the end of its line"},
        {"many values", "* SEARCH" + Repeated(" 1", TImapParser::kMaxValues + 1) + "\r\n",
         "more than 262144 values"},
        {"many responses", Repeated("* FLAGS ()\r\n", TImap::kMaxKeptResponses + 1),
         "More untagged responses to one command than are kept"},
    };
    for (const HostileCase& c : cases) {
        S server({S::Send("* OK [CAPABILITY IMAP4rev1] hi\r\n"), S::ReadLine(), S::Send(c.reply),
                  S::ReadToEnd()});
        TestImap imap(server.Port());
        imap.MaxLineLength = c.name == "many values" ? TImap::kMaxLine : 4096;
        imap.MaxLiteralBytes = c.name == "huge literal" ? kMaxReplyBytes : 1000;
        imap.ReplyTimeoutMs = 300;
        imap.Greet();
        const auto start = std::chrono::steady_clock::now();
        try {
            if (c.fetch)
                imap.UidFetchMessages({5}, [](uint32_t, std::string_view) {});
            else
                imap.Select("INBOX");
            ADD_FAILURE() << c.name;
        } catch (const EProtocolError& e) {
            EXPECT_NE(e.Message().find(c.error), std::string::npos)
                << c.name << ": " << e.Message();
            EXPECT_EQ(e.ErrorCode, kBrokenReply) << c.name;
            EXPECT_TRUE(e.ConnectionLost) << c.name;
            EXPECT_EQ(e.Protocol, "IMAP") << c.name;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.name;
        EXPECT_TRUE(imap.IsClosed()) << c.name;
    }
}

}  // namespace
