// The dry run of the kill list against a private Dovecot, and against a scripted peer for the
// exact commands of a server without pipelining.
#include "filter/dry_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/dovecot_server.h"
#include "support/files.h"
#include "support/net_access.h"
#include "support/pop3_script.h"
#include "support/scoped_env.h"

namespace {

using Script = ScriptedPop3Server;

const std::string kEncodedSpam =
    "From: Shop <shop@example.com>\nSubject: =?UTF-8?B?Q2hlYXAgcGlsbHM=?=\n\nBuy.\n";
const std::string kHam = "From: Ann <ann@example.org>\nSubject: Lunch\n\nNoon?\n";
const std::string kFoldedSpam =
    "From: =?ISO-8859-1?Q?J=F6rg?= <spam@example.com>\nSubject: Your\n =?UTF-8?Q?caf=C3=A9?=\n"
    "\nHi.\n";
const std::string kLarge =
    "From: Bob <bob@example.org>\nSubject: Photos\n\n" + std::string(3000, 'x') + "\n";

struct Row {
    int32_t number;
    std::string from;
    std::string subject;
    std::optional<size_t> rule;
    bool examined;
    bool operator==(const Row&) const = default;
};

std::vector<Row> Rows(const std::vector<TDryRunRow>& rows) {
    std::vector<Row> out;
    for (const TDryRunRow& r : rows)
        out.push_back({r.Number, r.From, r.Subject, r.Rule, r.Examined});
    return out;
}

}  // namespace

// Encoded spam is condemned only with the boxes on, the rows show the decoded headers, a message
// too large for the reply bound is listed but not read, and the server deletes nothing.
TEST(DryRunDovecotTest, ListsWhatTheRulesWouldDeleteAndDeletesNothing) {
    TempFolder cache;
    ScopedEnv cacheHome("XDG_CACHE_HOME", cache.Path());
    DovecotServer server("joe", "pw");
    for (const std::string* m : {&kEncodedSpam, &kHam, &kFoldedSpam, &kLarge}) server.Deliver(*m);
    const TStringList rules{"subject: = cheap PILLS", "From: = spam@"};

    const auto run = [&](const TMatchOptions& options,
                         std::vector<std::pair<size_t, size_t>>* seen) {
        TestPop3 pop3(server.Port());
        pop3.MaxReplyBytes = 2000;
        auto rows = DryRun(pop3, rules, options, [seen](size_t read, size_t toRead) {
            if (seen) seen->emplace_back(read, toRead);
        });
        EXPECT_EQ(pop3.SocketHandle, -1);
        return rows;
    };
    std::vector<std::pair<size_t, size_t>> progress;
    const std::vector<TDryRunRow> decoded = run({true, true}, &progress);
    EXPECT_EQ(Rows(decoded),
              (std::vector<Row>{{1, "Shop <shop@example.com>", "Cheap pills", 0, true},
                                {3, "J\xC3\xB6rg <spam@example.com>", "Your caf\xC3\xA9", 1, true},
                                {2, "Ann <ann@example.org>", "Lunch", {}, true},
                                {4, "", "", {}, false}}));
    EXPECT_EQ(DryRunSummary(decoded), "2 of 4 messages would be deleted");
    EXPECT_EQ(decoded[3].Size, static_cast<int32_t>(kLarge.size() + 4));  // its 4 LF as CR LF
    EXPECT_EQ(progress, (std::vector<std::pair<size_t, size_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));

    // The classic matching misses the encoded subject; the raw From still condemns.
    const std::vector<TDryRunRow> classic = run({}, nullptr);
    EXPECT_EQ(classic[0].Number, 3);
    EXPECT_EQ(DryRunSummary(classic), "1 of 4 messages would be deleted");

    EXPECT_EQ(server.AwaitLogLines("Logged out", 2).size(), 2u);
    for (const std::string& line : server.LogLines("Logged out"))
        EXPECT_NE(line.find("del=0/"), std::string::npos) << line;
    EXPECT_EQ(server.MessageFiles().size(), 4u);
    EXPECT_TRUE(std::filesystem::is_empty(cache.Path()));  // no record of examined messages
}

// Without pipelining every command waits for its reply; the message above the reply bound is
// never asked for, and a refused retrieval still ends the session with QUIT, then is raised.
TEST(DryRunScriptedTest, OneCommandAtATimeAndARefusalEndsWithQuit) {
    const std::string huge = std::to_string(kMaxReplyBytes + 1);
    ScriptedPop3Server server(
        {Script::Send("+OK ready\r\n"), Script::ReadLine(), Script::Send("-ERR no CAPA\r\n"),
         Script::ReadLine(), Script::Send("+OK\r\n"), Script::ReadLine(), Script::Send("+OK\r\n"),
         Script::ReadLine(), Script::Send("+OK\r\n1 9\r\n2 " + huge + "\r\n3 9\r\n.\r\n"),
         Script::ReadLine(), Script::Send("+OK\r\nFrom: spam@x\r\n.\r\n"), Script::ReadLine(),
         Script::Send("-ERR message 3 is gone\r\n"), Script::ReadLine(),
         Script::Send("+OK bye\r\n")});
    TestPop3 pop3(server.Port());
    std::string error;
    try {
        DryRun(pop3, {"From: = spam@"}, {});
    } catch (const std::exception& e) {
        error = e.what();
    }
    EXPECT_EQ(error, "-ERR message 3 is gone");
    EXPECT_EQ(server.Lines(), (std::vector<std::string>{"CAPA", "USER joe", "PASS pw", "LIST",
                                                        "RETR 1", "RETR 3", "QUIT"}));
    EXPECT_EQ(server.Ahead(), std::vector<bool>(7, false));
    EXPECT_EQ(pop3.SocketHandle, -1);
}
