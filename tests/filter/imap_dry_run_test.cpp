// The dry run on an IMAP folder against a scripted peer: the folder only examined, the search
// a first pass makes, the newest messages read within the bound, and nothing ever flagged,
// expunged or moved.
#include "filter/imap_dry_run.h"

#include <gtest/gtest.h>

#include <ctime>

#include "net/imap_access.h"
#include "net/imap_text.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;

const std::string kSpam =
    "From: Shop <shop@example.com>\r\nSubject: =?UTF-8?B?Q2hlYXA=?= pills\r\n"
    "\r\nBuy.\r\n";
const std::string kHam = "From: Ann <ann@example.org>\r\nSubject: Lunch\r\n\r\nNoon?\r\n";

std::string Literal(const std::string& bytes) {
    return "{" + std::to_string(bytes.size()) + "}\r\n" + bytes;
}

// The date a first pass searches from: a week before today, in local time.
std::string WeekAgo() {
    const std::time_t since = std::time(nullptr) - 7 * 24 * 60 * 60;
    std::tm day{};
    localtime_r(&since, &day);
    return ImapDate(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
}

}  // namespace

// Three messages found, two read (the newest), judged with the decoded subject; the summary
// says one was left unread; the session is EXAMINE, search, fetch and logout, nothing else.
TEST(ImapDryRunTest, ReadsTheNewestFoundReadOnly) {
    S server({S::Send("* OK hi\r\n"), S::ReadLine(),
              S::Send("* 3 EXISTS\r\nA1 OK [READ-ONLY] done\r\n"), S::ReadLine(),
              S::Send("* SEARCH 9 4 7\r\nA2 OK\r\n"), S::ReadLine(),
              S::Send("* 3 FETCH (UID 9 BODY[] " + Literal(kSpam) + ")\r\n* 2 FETCH (UID 7 " +
                      "BODY[] " + Literal(kHam) + ")\r\nA3 OK\r\n"),
              S::ReadLine(), S::Send("* BYE\r\nA4 OK\r\n")});
    TestImap imap(server.Port());
    imap.Greet();
    std::vector<std::pair<size_t, size_t>> progress;
    const TImapDryRun run = ImapDryRun(
        imap, "", {"Subject: = cheap"}, {true, true},
        [&](size_t read, size_t toRead) { progress.emplace_back(read, toRead); }, 2);
    EXPECT_EQ(server.Received(), "A1 EXAMINE \"INBOX\"\r\nA2 UID SEARCH OR UNSEEN SINCE " +
                                     WeekAgo() +
                                     "\r\nA3 UID FETCH 7,9 (UID BODY.PEEK[])\r\nA4 LOGOUT\r\n");
    ASSERT_EQ(run.Rows.size(), 2u);
    EXPECT_EQ(run.Rows[0].Number, 9);
    EXPECT_EQ(run.Rows[0].Rule, 0u);
    EXPECT_EQ(run.Rows[0].Subject, "Cheap pills");
    EXPECT_EQ(run.Rows[0].Size, static_cast<int32_t>(kSpam.size()));
    EXPECT_EQ(run.Rows[1].Number, 7);
    EXPECT_EQ(run.Rows[1].Rule, std::nullopt);
    EXPECT_EQ(run.NotRead, 1u);
    EXPECT_EQ(DryRunSummary(run.Rows, run.NotRead),
              "1 of 2 messages would be deleted; 1 older message was not read");
    EXPECT_EQ(progress, (std::vector<std::pair<size_t, size_t>>{{0, 2}, {1, 2}, {2, 2}}));
    EXPECT_EQ(imap.SocketHandle, -1);
}
