// The dry run on an IMAP folder against a scripted peer: the folder only examined, the search
// a first pass makes, the newest messages read within the bound, and nothing ever flagged,
// expunged or moved.
#include "filter/imap_dry_run.h"

#include <gtest/gtest.h>

#include "net/imap_access.h"
#include "support/imap_script.h"

namespace {

using S = ScriptedPop3Server;

const std::string kSpam =
    "From: Shop <shop@example.com>\r\nSubject: =?UTF-8?B?Q2hlYXA=?= pills\r\n"
    "\r\nBuy.\r\n";
const std::string kHam = "From: Ann <ann@example.org>\r\nSubject: Lunch\r\n\r\nNoon?\r\n";

}  // namespace

// Three messages found, two read (the newest), judged with the decoded subject; the summary
// says one was left unread; the session is EXAMINE, search, fetch and logout, nothing else.
TEST(ImapDryRunTest, ReadsTheNewestFoundReadOnly) {
    const TImapExchange session = {
        {"EXAMINE \"INBOX\"", "* 3 EXISTS\r\n", "[READ-ONLY] done"},
        {"UID SEARCH OR UNSEEN SINCE " + ImapWeekAgo(), "* SEARCH 9 4 7\r\n"},
        {"UID FETCH 7,9 (UID BODY.PEEK[])", ImapFetched(3, 9, kSpam) + ImapFetched(2, 7, kHam)},
        {"LOGOUT", "* BYE\r\n"}};
    S server(Steps{S::Send("* OK hi\r\n")} + ImapAnswers(session, 1));
    TestImap imap(server.Port());
    imap.Greet();
    std::vector<std::pair<size_t, size_t>> progress;
    const TImapDryRun run = ImapDryRun(
        imap, "", {"Subject: = cheap"}, {true, true},
        [&](size_t read, size_t toRead) { progress.emplace_back(read, toRead); }, 2);
    EXPECT_EQ(server.Received(), ImapSent(session, 1));
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
