// The IMAP client against a real Dovecot that the test starts in a private directory.
#include <gtest/gtest.h>

#include <algorithm>

#include "imap_access.h"
#include "support/dovecot_server.h"

namespace {

const std::string kFirst =
    "From: Ann <ann@example.org>\r\nSubject: Lunch\r\n\r\nNoon?\r\n.\r\n(x) {3}\r\n";
const std::string kSecond = "From: Bob <bob@example.org>\r\n\r\nNo subject.\r\n";

// Signs in, selects, fetches byte for byte without marking anything read, expunges exactly
// one message by UID, and hears of new mail in IDLE.
TEST(ImapDovecotTest, FetchesExpungesByUidAndIdles) {
    DovecotOptions options;
    options.imap = true;
    DovecotServer server("joe", "pw", options);
    server.Deliver(kFirst);
    server.Deliver(kSecond);
    TestImap imap(server.ImapPort());
    imap.Open();
    EXPECT_TRUE(imap.Offers("UIDPLUS"));
    const TImapFolderState state = imap.Select("INBOX");
    EXPECT_EQ(state.Exists, 2u);
    EXPECT_NE(state.UidValidity, 0u);
    EXPECT_TRUE(state.ReadWrite);
    const std::vector<uint32_t> uids = imap.UidSearch("ALL");
    ASSERT_EQ(uids.size(), 2u);
    std::vector<std::string> got;
    imap.UidFetchMessages(uids, [&](uint32_t, std::string_view m) { got.emplace_back(m); });
    EXPECT_EQ(got, (std::vector<std::string>{kFirst, kSecond}));
    EXPECT_EQ(imap.UidSearch("UNSEEN").size(), 2u) << "BODY.PEEK leaves \\Seen alone";
    imap.UidStoreDeleted({uids[0]});
    imap.UidExpunge({uids[0]});
    EXPECT_EQ(server.MessageFiles().size(), 1u);
    EXPECT_EQ(imap.UidSearch("ALL"), (std::vector<uint32_t>{uids[1]}));
    imap.Idle();
    server.Deliver(kFirst);
    EXPECT_EQ(imap.IdleWait(10000), 2u);
    imap.Done();
    imap.Logout();
}

}  // namespace
