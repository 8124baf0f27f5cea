// A guarded IMAP mailbox against a real Dovecot: its check starts the watch, and spam delivered
// while the watch idles is examined, logged and gone within seconds; other mail stays and is
// counted unseen.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "check_cycle_fixture.h"
#include "filter/kill_list_store.h"
#include "support/dovecot_server.h"
#include "support/scoped_env.h"

namespace {

using namespace std::chrono_literals;

std::string Message(const std::string& subject) {
    return "From: sender@example.org\nTo: joe@example.org\nSubject: " + subject + "\n\nHello.\n";
}

class ImapWatchDovecot : public CheckCycleFixture {
  protected:
    ImapWatchDovecot() {
        TMailbox& mailbox = settings.Mailboxes[0];
        Aim(server.ImapPort());
        mailbox.User = server.User();
        mailbox.Connection.Protocol = TMailProtocol::Imap;
        credentials.Typed.Type(mailbox.Id(), server.Password());
        settings.LogFile = home / "deleted.log";
        SaveKillList(registry, {"Subject: = cheap"});
    }
    static DovecotOptions Imap() {
        DovecotOptions options;
        options.imap = true;
        return options;
    }

    DovecotServer server{"joe", "pw", Imap()};
    ScopedEnv cache{"XDG_CACHE_HOME", home / "cache"};
};

TEST_F(ImapWatchDovecot, SpamDeliveredWhileIdlingIsGoneAtOnce) {
    server.Deliver(Message("lunch"));
    server.Deliver(Message("cheap pills"));
    // The first check removes the spam already there and counts the rest; having signed in,
    // it leaves the mailbox watched.
    cycle.Start();
    ASSERT_TRUE(Await([&] { return cycle.Watching(settings.Mailboxes[0].Id()); }));
    EXPECT_EQ(server.MessageFiles().size(), 1u);
    EXPECT_EQ(cycle.MailCount(), 1);
    for (int i = 0; i < 3; ++i) {
        server.Deliver(Message("cheap watches " + std::to_string(i)));
        EXPECT_TRUE(Await([&] { return server.MessageFiles().size() == 1; }, 5s)) << i;
    }
    server.Deliver(Message("dinner"));
    EXPECT_TRUE(Await([&] { return cycle.MailCount() == 2; }));
    EXPECT_EQ(server.MessageFiles().size(), 2u);
    EXPECT_EQ(log.back(), "mail:2");
    std::stringstream logged;
    logged << std::ifstream(home / "deleted.log").rdbuf();
    for (const char* subject :
         {"cheap pills", "cheap watches 0", "cheap watches 1", "cheap watches 2"})
        EXPECT_NE(logged.str().find(subject), std::string::npos) << subject;
    EXPECT_TRUE(cycle.Watching(settings.Mailboxes[0].Id()));
    cycle.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    return RunWithApplication(argc, argv);
}
