// The check cycle with no display at all: a check runs against a scripted server and reports
// its outcome through the signals, in order, and a nested outcome while one is shown only
// changes the tooltip.

#include "app/check_cycle.h"

#include "app/mailbox_outcome.h"

#include <gtest/gtest.h>

#include "app/timer.h"
#include "base/exception.h"
#include "check_cycle_fixture.h"

namespace {

using S = ScriptedPop3Server;
using namespace std::chrono_literals;

class CheckCycle : public CheckCycleFixture {};

TEST_F(CheckCycle, EmptyMailboxSaysNoMailAndOnlyAQuietCheckKeepsItToTheTip) {
    for (const bool quiet : {true, false}) {
        S server(EmptySession());
        Aim(server.Port());
        log.clear();
        cycle.CheckMail(quiet);
        ASSERT_TRUE(cycle.WaitUntilIdle(10s));
        std::vector<std::string> expected{"tip:No mail."};
        if (!quiet) expected.push_back("no mail");
        EXPECT_EQ(log, expected) << quiet;
        EXPECT_FALSE(cycle.LastCheckFailed());
        EXPECT_EQ(cycle.MailCount(), 0);
    }
}

// A refused password is shown, even by a quiet check, and stops the ticks. A server name that
// cannot be resolved passes like any connection that cannot be made, even in a check the user
// asked for: it is said in the tooltip, and the ticks go on.
TEST_F(CheckCycle, ARefusalStopsTheTicksAnUnresolvedServerPasses) {
    S refusing(RefusingSession());
    const struct {
        std::string host;
        uint16_t port;
        bool quiet;
        std::vector<std::string> log;
        bool ticking;
    } cases[] = {
        {"127.0.0.1", refusing.Port(), true, {"tip:-ERR no", "error:-ERR no", "user:"}, false},
        {"", 1, false, {"tip:Couldn't resolve hostname "}, true},
    };
    for (const auto& c : cases) {
        Aim(c.port);
        settings.Mailboxes[0].Connection.Host = c.host;
        log.clear();
        cycle.Timer()->SetEnabled(true);
        cycle.CheckMail(c.quiet);
        ASSERT_TRUE(cycle.WaitUntilIdle(10s));
        EXPECT_EQ(log, c.log) << c.host;
        EXPECT_EQ(cycle.Timer()->Enabled(), c.ticking) << c.host;
        EXPECT_TRUE(cycle.LastCheckFailed());
    }
}

// While an outcome is shown, another only changes the tooltip; a failure changes nothing.
TEST_F(CheckCycle, NestedOutcomeWhileOneIsShownOnlyChangesTheTip) {
    Aim(1);
    QObject::connect(&cycle, &TCheckCycle::NoMail, [this] {
        EXPECT_TRUE(cycle.Notifying());
        cycle.ShowNoMail(false);
        cycle.NotifyMail(3);
        cycle.Report(EProtocolError("-ERR no", 500, "POP3"));
    });
    cycle.ShowNoMail(false);
    EXPECT_EQ(log, (std::vector<std::string>{"tip:No mail.", "no mail", "tip:No mail.",
                                             "tip:You have mail!"}));
    EXPECT_FALSE(cycle.Notifying());
    cycle.NotifyMail(3);
    EXPECT_EQ(log.back(), "mail:3");
}

// A check started while an outcome is shown stays quiet though it ends after that outcome; a
// refused sign-in met meanwhile still stops the ticks, and a check asked for meanwhile with them.
TEST_F(CheckCycle, CheckStartedWhileAnOutcomeIsShownStaysQuiet) {
    S empty(EmptySession());
    Aim(empty.Port());
    cycle.SetNotifying(true);
    cycle.CheckMail(false);
    cycle.SetNotifying(false);
    ASSERT_TRUE(cycle.WaitUntilIdle(10s));
    EXPECT_EQ(log, (std::vector<std::string>{"tip:No mail."}));

    S refusing(RefusingSession());
    Aim(refusing.Port());
    log.clear();
    cycle.SetNotifying(true);
    cycle.Start();
    cycle.CheckMail(false);
    ASSERT_TRUE(cycle.WaitUntilIdle(10s));
    cycle.SetNotifying(false);
    EXPECT_EQ(log, (std::vector<std::string>{"user:"}));
    EXPECT_FALSE(cycle.Timer()->Enabled());
    EXPECT_EQ(refusing.Connections(), 1);
}

}  // namespace

int main(int argc, char** argv) {
    return RunWithApplication(argc, argv);
}

// Several mailboxes, one empty, one refusing its password, one damaged: each is checked in
// order, the refusal stops none of the others, the tooltip has a line each, and the window
// comes back for the refused one. A check of one mailbox afterwards keeps the others' lines.
TEST_F(CheckCycle, SeveralMailboxesEachHaveTheirLineAndARefusalNamesItsMailbox) {
    QObject::connect(&cycle, &TCheckCycle::MailboxNeedsUser,
                     [this](TMailboxId id) { log.push_back("needs:" + Position(id)); });
    S empty(EmptySession());
    S refusing(RefusingSession());
    Aim(empty.Port());
    settings.Mailboxes[0].Name = "work";
    TMailbox home = settings.Mailboxes[0];
    home.Identity = {};  // another mailbox alike, not a copy
    home.Name = "home";
    home.Connection.Port = refusing.Port();
    credentials.Typed.Type(home.Id(), "pw");
    TMailbox old;
    old.Name = "old";
    old.Unreadable = "Its stored values cannot be read.";
    settings.Mailboxes = {settings.Mailboxes[0], home, old};
    const std::string lines = "\nhome: -ERR no\nold: Its stored values cannot be read.";

    cycle.Start();
    ASSERT_TRUE(cycle.WaitUntilIdle(10s));
    // Lines shown as each mailbox's outcome came are overtaken by the whole's.
    std::erase_if(log, [this](const std::string& entry) {
        return entry.starts_with("tip:") &&
               &entry != &*std::find_if(log.rbegin(), log.rend(),
                                        [](const std::string& e) { return e.starts_with("tip:"); });
    });
    EXPECT_EQ(log, (std::vector<std::string>{"tip:No mail.\nwork: no mail" + lines,
                                             "error:home: -ERR no", "needs:1", "user:"}));
    EXPECT_FALSE(cycle.Timer()->Enabled());
    EXPECT_TRUE(cycle.LastCheckFailed());
    EXPECT_EQ(cycle.MailCount(), 0);

    S again(EmptySession());
    settings.Mailboxes[0].Connection.Port = again.Port();
    log.clear();
    cycle.CheckMailbox(settings.Mailboxes[0].Id(), false);
    ASSERT_TRUE(cycle.WaitUntilIdle(10s));
    EXPECT_EQ(log, (std::vector<std::string>{"tip:No mail.\nwork: no mail" + lines, "no mail"}));
    EXPECT_TRUE(cycle.LastCheckFailed());  // the others' failures still stand
}

// The words of a whole outcome: one mailbox reads as always; several add a line each.
TEST(MailboxOutcome, TipAndCountBoxNameEachMailbox) {
    TMailbox work, home;
    work.Name = "work";
    home.User = "anna";
    home.Connection.Host = "pop.example.org";
    const std::vector<TMailboxOutcome> outcomes{{3, 1, ""}, {1, 0, "Certificate expired."}};
    const std::vector<const TMailbox*> one{&work}, both{&work, &home};

    EXPECT_EQ(OutcomeTip(one, {outcomes[0]}), "You have mail!");
    EXPECT_EQ(MailWaitingText(3, one, {outcomes[0]}), "You have 3 messages!");
    EXPECT_EQ(OutcomeTip(both, outcomes),
              "You have mail!\nwork: 3 waiting\nanna@pop.example.org: Certificate expired.");
    EXPECT_EQ(OutcomeTip(both, {{0, 2, ""}, {1, 0, ""}}),
              "You have mail!\nwork: no mail\nanna@pop.example.org: 1 waiting");
    EXPECT_EQ(OutcomeTip(both, {{0, 0, ""}, {0, 0, "Refused."}}),
              "No mail.\nwork: no mail\nanna@pop.example.org: Refused.");
    EXPECT_EQ(MailWaitingText(4, both, {{3, 0, ""}, {1, 0, ""}}),
              "You have 4 messages!\nwork: 3 messages\nanna@pop.example.org: 1 message");
    EXPECT_EQ(CheckCommandLine(work, outcomes[0]), "work: 3 waiting, 1 deleted.");
    EXPECT_EQ(CheckCommandLine(home, outcomes[1]), "anna@pop.example.org: Certificate expired.");
}
