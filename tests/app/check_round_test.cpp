// The mailboxes of one check run side by side, beside the calling thread: a server that does not
// answer holds up nobody else and passes without troubling the user, a check asked for meanwhile
// follows once, and abandoned sessions end at once, or after their logout once they deleted.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/check_cycle.h"
#include "app/timer.h"
#include "check_cycle_fixture.h"
#include "filter/kill_list_store.h"

namespace {

using S = ScriptedPop3Server;
using namespace std::chrono_literals;

// The classic check of two messages that are both spam, up to the reply to DELE 1, which
// trickles in; then the logout.
Steps DeletingSession() {
    const std::string list = "1 40\r\n2 40\r\n";
    const std::string spam = "+OK\r\nSubject: spam\r\n\r\n.\r\n";
    Steps steps =
        Then(LoginSteps(list), {S::ReadLine(), S::Send(spam), S::ReadLine(), S::Send(spam),
                                S::ReadLine(), S::Send("+OK\r\n"), S::Close()});
    for (const S::Step& step : LoginSteps(list)) steps.push_back(step);
    return Then(steps,
                {S::ReadLine(), S::Send(spam), S::ReadLine(), S::Trickle("+OK gone\r\n", 150),
                 S::ReadLine(), S::Send("+OK\r\n"), S::Close()});
}

bool Holds(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Two mailboxes, each named and pointed at its own server.
class CheckRound : public CheckCycleFixture {
  protected:
    CheckRound() { settings.Mailboxes.resize(2); }
    void Aim(size_t index, const std::string& name, uint16_t port) {
        TMailbox& mailbox = settings.Mailboxes[index];
        mailbox.Name = name;
        mailbox.User = "anna";
        mailbox.Connection.Host = "127.0.0.1";
        mailbox.Connection.Port = port;
        mailbox.Connection.GreetingTimeoutMs = 1000;
        credentials.Typed.Type(mailbox.Id(), "pw");
    }
};

TEST_F(CheckRound, ASilentServerPassesAndHoldsUpNoOtherMailbox) {
    S silent({S::ReadToEnd(), S::Close(), S::ReadToEnd()});
    S healthy(EmptySession());
    S healthyAgain(EmptySession());
    Aim(0, "work", silent.Port());
    Aim(1, "home", healthy.Port());
    settings.Interval = 5;

    bool firstTipWhileRunning = false;
    QObject::connect(&cycle, &TCheckCycle::TipChanged, [&] {
        if (log.size() == 1) firstTipWhileRunning = cycle.Running();
    });
    cycle.Start();
    // The healthy mailbox's line shows while the silent one is still being waited for; two
    // more asks meanwhile make one more check, not two, and no second session on a mailbox.
    ASSERT_TRUE(Await([&] { return !log.empty(); }));
    EXPECT_EQ(log.front(), "tip:No mail.\nwork: not checked yet\nhome: no mail");
    EXPECT_TRUE(firstTipWhileRunning);
    settings.Mailboxes[1].Connection.Port = healthyAgain.Port();
    cycle.CheckMail(true);
    cycle.CheckMail(true);
    ASSERT_TRUE(cycle.WaitUntilIdle(20s));

    const std::string outcome =
        "tip:No mail.\nwork: no answer from 127.0.0.1 within 1 s\nhome: no mail";
    EXPECT_EQ(log.back(), outcome);
    // Passing: no box, no window, and the ticks go on.
    EXPECT_FALSE(std::any_of(log.begin(), log.end(), [](const std::string& e) {
        return e.starts_with("error") || e.starts_with("user");
    }));
    EXPECT_TRUE(cycle.Timer()->Enabled());
    EXPECT_TRUE(cycle.LastCheckFailed());
    EXPECT_EQ(silent.Connections(), 2);
    EXPECT_EQ(healthy.Connections(), 1);
    EXPECT_EQ(healthyAgain.Connections(), 1);
}

TEST_F(CheckRound, AbandonedSessionsEndAtOnceOrWithTheirLogoutOnceTheyDeleted) {
    SaveKillList(registry, {"Subject: = spam"});
    S silent({S::ReadToEnd()});
    S deleting(DeletingSession());
    Aim(0, "work", silent.Port());
    Aim(1, "home", deleting.Port());
    settings.Mailboxes[0].Connection.GreetingTimeoutMs = 60000;

    cycle.CheckMail(false);
    ASSERT_TRUE(Await([&] { return Holds(deleting.LinesSoFar(), "DELE 1"); }));
    cycle.Abandon(2s);
    ASSERT_TRUE(cycle.WaitUntilIdle(5s));

    EXPECT_EQ(silent.Received(), "");  // closed without a word: nothing is deleted there
    const std::vector<std::string> lines = deleting.Lines();
    EXPECT_EQ(lines.back(), "QUIT");  // the deletion made final, and nothing more asked
    EXPECT_FALSE(Holds(lines, "RETR 2"));
    EXPECT_TRUE(log.empty()) << testing::PrintToString(log);
    EXPECT_EQ(silent.Connections(), 1);
}

}  // namespace
