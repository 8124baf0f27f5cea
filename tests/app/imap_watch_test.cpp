// The watch of an IMAP mailbox in the check cycle: against a scripted server whose exact bytes
// are asserted (IDLE, news, DONE, a pass, renewal, a drop and the way back), the ways a watch
// ends by itself, and the pauses between tries.

#include "app/imap_watch.h"

#include <gtest/gtest.h>

#include "check_cycle_fixture.h"
#include "net/imap.h"

namespace {

using S = ScriptedPop3Server;
using namespace std::chrono_literals;

// Stands in for the pass, so that its bytes are the test's: one UID SEARCH UNSEEN, whose
// answer is the unseen count (more than two: more wait than one pass takes); every pass reports
// flagged leftovers.
class SearchPass : public TWatchPass {
  public:
    explicit SearchPass(TImap& imap) : imap_(imap) {}
    void Open() override { imap_.Select("INBOX"); }
    TImapPassCounts Run() override {
        TImapPassCounts counts;
        counts.UnseenLeft = static_cast<uint32_t>(imap_.UidSearch("UNSEEN").size());
        counts.MoreWaiting = counts.UnseenLeft > 2;
        counts.LeftFlagged = true;
        return counts;
    }

  private:
    TImap& imap_;
};

const std::string kFlagged =
    "error:imap: this server can neither delete single messages nor move them to Trash; "
    "condemned messages are left marked as deleted.";
const std::string kGreeting = "* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n";

// The server's side of a sign-in and the folder's selection.
Steps SignedInSteps(const std::string& greeting = kGreeting) {
    return {S::Send(greeting), S::ReadLine(), S::Send("A1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"),
            S::ReadLine(),
            S::Send("* 2 EXISTS\r\n* OK [UIDVALIDITY 5] v\r\nA2 OK [READ-WRITE] sel\r\n")};
}

class ImapWatch : public CheckCycleFixture {
  protected:
    ImapWatch() {
        settings.Mailboxes.emplace_back();
        settings.Mailboxes[0].Name = "imap";
        settings.Mailboxes[1].Name = "second";
        settings.Mailboxes[0].Connection.Protocol = TMailProtocol::Imap;
        cycle.WatchTiming.FirstPause = 50ms;
        cycle.WatchTiming.RenewIdle = 500ms;
        cycle.WatchPass = [](TImap& imap, TRegistry&, const TSettings&, const TMailbox&) {
            return std::make_unique<SearchPass>(imap);
        };
    }
    TMailboxId Id() const { return settings.Mailboxes[0].Id(); }
    std::string Line(const std::string& headline, const std::string& line) const {
        return "tip:" + headline + "\nimap: " + line + "\nsecond: not checked yet";
    }
};

// News in IDLE brings DONE and a pass at once, and new mail kept is shown; the flagged leftovers
// are said once; IDLE is renewed without a pass; a drop shows in the mailbox's line only until
// the connection is back after its pause.
TEST_F(ImapWatch, IdlesPassesOnNewsRenewsAndComesBackAfterADrop) {
    Steps steps = Then(
        SignedInSteps(),
        {S::ReadLine(), S::Send("* SEARCH 4\r\nA3 OK\r\n"), S::ReadLine(),
         S::Send("+ idling\r\n* 3 EXISTS\r\n"), S::ReadLine(), S::Send("A4 OK\r\n"), S::ReadLine(),
         S::Send("* SEARCH 4 7\r\nA5 OK\r\n"), S::ReadLine(), S::Send("+ idling\r\n"), S::Close()});
    const Steps again =
        Then(SignedInSteps(), {S::ReadLine(), S::Send("* SEARCH 7\r\nA3 OK\r\n"), S::ReadLine(),
                               S::Send("+ idling\r\n"), S::ReadLine(), S::Send("A4 OK\r\n"),
                               S::ReadLine(), S::Send("+ idling\r\n"), S::ReadLine()});
    steps.insert(steps.end(), again.begin(), again.end());
    S server(steps);
    Aim(server.Port());
    cycle.Watch(Id());
    ASSERT_TRUE(cycle.Watching(Id()));
    const std::vector<std::string> expected{
        Line("You have mail!", "1 waiting"),
        kFlagged,
        "mail:1",
        Line("You have mail!", "2 waiting"),
        "mail:2",
        Line("You have mail!", "no connection (trying again in 1 s)"),
        Line("You have mail!", "1 waiting")};
    ASSERT_TRUE(Await([&] { return server.LinesSoFar().size() >= 13; }))
        << server.LinesSoFar().size();
    EXPECT_EQ(log, expected);
    EXPECT_EQ(cycle.MailCount(), 1);
    EXPECT_EQ(server.Connections(), 2);
    cycle.Stop();
    EXPECT_FALSE(cycle.Watching(Id()));
    const std::string signIn =
        "A1 LOGIN \"anna\" \"pw\"\r\nA2 SELECT \"INBOX\"\r\n"
        "A3 UID SEARCH UNSEEN\r\nA4 IDLE\r\n";
    EXPECT_EQ(server.Received(), signIn + "DONE\r\nA5 UID SEARCH UNSEEN\r\nA6 IDLE\r\n" + signIn +
                                     "DONE\r\nA5 IDLE\r\n");
}

struct EndCase {
    std::string name;
    Steps steps;
    std::string sent;
    std::vector<std::string> log;
    bool again;  // a later Watch connects again
};

// A server without IDLE ends the watch after its sign-in, one refusing it after its first
// passes (the second at once, as the first left more waiting); neither is watched again until
// the watches end. A refused sign-in ends it with no line in the tooltip, left to the checks.
TEST_F(ImapWatch, EndsByItselfWithoutIdleOrOnARefusedSignIn) {
    const std::string login = "A1 LOGIN \"anna\" \"pw\"\r\n";
    const std::vector<EndCase> cases = {
        {"no IDLE",
         {S::Send("* OK [CAPABILITY IMAP4rev1] hi\r\n"), S::ReadLine(),
          S::Send("A1 OK [CAPABILITY IMAP4rev1 UIDPLUS] in\r\n"), S::ReadLine(),
          S::Send("* BYE\r\nA2 OK\r\n")},
         login + "A2 LOGOUT\r\n",
         {},
         false},
        {"IDLE refused",
         Then(SignedInSteps(),
              {S::ReadLine(), S::Send("* SEARCH 1 2 3\r\nA3 OK\r\n"), S::ReadLine(),
               S::Send("* SEARCH\r\nA4 OK\r\n"), S::ReadLine(), S::Send("A5 NO not now\r\n"),
               S::ReadLine(), S::Send("* BYE\r\nA6 OK\r\n")}),
         login + "A2 SELECT \"INBOX\"\r\nA3 UID SEARCH UNSEEN\r\nA4 UID SEARCH UNSEEN\r\n"
                 "A5 IDLE\r\nA6 LOGOUT\r\n",
         {"tip:You have mail!\nimap: 3 waiting\nsecond: not checked yet", kFlagged, "mail:3",
          "tip:No mail.\nimap: no mail\nsecond: not checked yet"},
         false},
        {"refused",
         {S::Send(kGreeting), S::ReadLine(), S::Send("A1 NO [AUTHENTICATIONFAILED] no\r\n")},
         login,
         {},
         true},
    };
    for (const EndCase& c : cases) {
        S server(c.steps);
        Aim(server.Port());
        log.clear();
        cycle.Watch(Id());
        EXPECT_TRUE(Await([&] { return !cycle.Watching(Id()); })) << c.name;
        EXPECT_EQ(server.Received(), c.sent) << c.name;
        EXPECT_EQ(log, c.log) << c.name;
        cycle.Watch(Id());
        EXPECT_EQ(cycle.Watching(Id()), c.again) << c.name;
        cycle.Abandon();  // the watches end: the server is asked about IDLE again next time
        EXPECT_FALSE(cycle.Watching(Id()));
    }
}

// A server that cannot be reached is tried again after pauses that double up to their bound.
TEST_F(ImapWatch, PausesBetweenTriesGrowToTheirBound) {
    Aim(1);
    TImapWatch watch(credentials, registry.HivePath());
    watch.Timing.FirstPause = 10ms;
    watch.Timing.MaxPause = 40ms;
    std::vector<long long> pauses;
    QObject::connect(&watch, &TImapWatch::Down,
                     [&](const std::exception_ptr& failure, std::chrono::milliseconds pause) {
                         EXPECT_TRUE(failure);
                         pauses.push_back(pause.count());
                     });
    watch.Start(settings, settings.Mailboxes[0]);
    ASSERT_TRUE(Await([&] { return pauses.size() >= 5; }));
    watch.Stop();
    pauses.resize(5);
    EXPECT_EQ(pauses, (std::vector<long long>{10, 20, 40, 40, 40}));
    EXPECT_FALSE(watch.Running());
}

}  // namespace

int main(int argc, char** argv) {
    return RunWithApplication(argc, argv);
}
