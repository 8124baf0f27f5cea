// One check of an IMAP mailbox through TMailboxCheck against a scripted server: the exact bytes
// of a whole session and what the check makes of it, and an abandoned session closed at once.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <optional>

#include "app/credential_source.h"
#include "app/failure_kind.h"
#include "app/mailbox_check.h"
#include "app/token_source.h"
#include "filter/kill_list_store.h"
#include "platform/registry.h"
#include "support/files.h"
#include "support/imap_script.h"
#include "support/scoped_env.h"

namespace {

using S = ScriptedPop3Server;
using namespace std::chrono_literals;

const std::string kSpam = "Subject: spam\r\n\r\nBuy.\r\n";
const std::string kHam = "Subject: lunch\r\n\r\nNoon?\r\n";

// An IMAP mailbox with a typed password, its kill list, its log and its records in a
// private folder; checks it once.
class ImapCheck : public ::testing::Test {
  protected:
    ImapCheck() {
        SaveKillList(registry, {"Subject: = spam"});
        settings.LogFile = home / "deleted.log";
        TMailbox& mailbox = settings.Mailboxes[0];
        mailbox.Connection.Host = "127.0.0.1";
        mailbox.Connection.Protocol = TMailProtocol::Imap;
        mailbox.User = "anna";
        credentials.Typed.Type(mailbox.Id(), "pw");
    }
    // Starts the check against the server; act runs while it is under way.
    TMailboxCheckResult Check(uint16_t port, const std::function<void(TMailboxCheck&)>& act = {}) {
        settings.Mailboxes[0].Connection.Port = port;
        TMailboxCheck check(credentials, registry.HivePath());
        std::optional<TMailboxCheckResult> result;
        QObject::connect(&check, &TMailboxCheck::Finished,
                         [&](const TMailboxCheckResult& r) { result = r; });
        check.Start(settings, settings.Mailboxes[0]);
        if (act) act(check);
        const QDeadlineTimer deadline(10s);
        while (!result && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(result.has_value());
        return result.value_or(TMailboxCheckResult{});
    }

    TempFolder home;
    ScopedEnv cache{"XDG_CACHE_HOME", home.Path()};
    TRegistry registry{home / "registry.reg"};
    TSettings settings;
    TTokenSource tokens;
    TCredentialSource credentials{tokens};
};

}  // namespace

// Sign-in, the folder opened read-write, the first pass's searches, the messages fetched without
// \Seen, the spam flagged and expunged by its UID alone, the unseen counted, then LOGOUT: one
// message waiting, one deleted, and the spam in the log.
TEST_F(ImapCheck, ExactBytesOfAFirstPass) {
    const TImapExchange session = {
        {"LOGIN \"anna\" \"pw\"", "", "[CAPABILITY IMAP4rev1 UIDPLUS] in"},
        {"SELECT \"INBOX\"", "* 2 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n", "[READ-WRITE] sel"},
        {"UID SEARCH UID *", "* SEARCH 12\r\n"},
        {"UID SEARCH OR UNSEEN SINCE " + ImapWeekAgo(), "* SEARCH 11 12\r\n"},
        {"UID FETCH 11:12 (UID BODY.PEEK[])", ImapFetched(1, 11, kSpam) + ImapFetched(2, 12, kHam)},
        {"UID STORE 11 +FLAGS.SILENT (\\Deleted)", ""},
        {"UID EXPUNGE 11", "* 1 EXPUNGE\r\n"},
        {"UID SEARCH UNSEEN UNDELETED", "* SEARCH 12\r\n"},
        {"LOGOUT", "* BYE\r\n"}};
    S server(Steps{S::Send("* OK [CAPABILITY IMAP4rev1 UIDPLUS AUTH=PLAIN] hi\r\n")} +
             ImapAnswers(session, 1));
    const TMailboxCheckResult result = Check(server.Port());
    EXPECT_EQ(server.Received(), ImapSent(session, 1));
    EXPECT_FALSE(result.Failure);
    EXPECT_TRUE(result.SignedIn);
    EXPECT_FALSE(result.LeftFlagged);
    EXPECT_EQ(result.Counts.Left, 1);
    EXPECT_EQ(result.Counts.Deleted(), 1);
    const std::string log = ReadFileBytes(settings.LogFile);
    EXPECT_NE(log.find("\r\n" + kSpam), std::string::npos) << log;
    EXPECT_EQ(log.find("lunch"), std::string::npos) << log;
}

// A session abandoned before it removed anything is closed at once, without LOGOUT, and its
// outcome is marked as abandoned.
TEST_F(ImapCheck, AbandonedBeforeRemovingClosesAtOnce) {
    S server({S::Send("* OK [CAPABILITY IMAP4rev1 UIDPLUS] hi\r\n"), S::ReadLine(),
              S::Send("A1 OK in\r\n"), S::ReadLine(),
              S::Send("* CAPABILITY IMAP4rev1\r\nA2 OK\r\n"), S::ReadLine(), S::ReadToEnd()});
    const TMailboxCheckResult result = Check(server.Port(), [&](TMailboxCheck& check) {
        const QDeadlineTimer deadline(10s);
        while (server.LinesSoFar().size() < 3 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        check.Abandon(2s);
    });
    EXPECT_TRUE(result.Abandoned);
    EXPECT_EQ(server.Received(),
              "A1 LOGIN \"anna\" \"pw\"\r\nA2 CAPABILITY\r\nA3 SELECT \"INBOX\"\r\n");
}

// A server that never greets passes as "no answer", as a silent POP3 server does.
TEST_F(ImapCheck, ASilentServerIsNoAnswer) {
    S server({S::ReadToEnd()});
    settings.Mailboxes[0].Connection.GreetingTimeoutMs = 300;
    const TMailboxCheckResult result = Check(server.Port());
    ASSERT_TRUE(result.Failure);
    try {
        std::rethrow_exception(result.Failure);
    } catch (const Exception& e) {
        EXPECT_EQ(NoAnswerText(e, settings.Mailboxes[0].Connection),
                  "no answer from 127.0.0.1 within 1 s");
        EXPECT_FALSE(NeedsUser(e));
    }
}
