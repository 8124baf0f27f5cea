// One check of an IMAP mailbox through TMailboxCheck against a scripted server: the exact bytes
// of a whole session and what the check makes of it, and an abandoned session closed at once.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <ctime>
#include <functional>
#include <optional>

#include "app/credential_source.h"
#include "app/failure_kind.h"
#include "app/mailbox_check.h"
#include "app/token_source.h"
#include "filter/kill_list_store.h"
#include "net/imap_text.h"
#include "platform/registry.h"
#include "support/files.h"
#include "support/scoped_env.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;
using namespace std::chrono_literals;

const std::string kSpam = "Subject: spam\r\n\r\nBuy.\r\n";
const std::string kHam = "Subject: lunch\r\n\r\nNoon?\r\n";

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
    S server({S::Send("* OK [CAPABILITY IMAP4rev1 UIDPLUS AUTH=PLAIN] hi\r\n"), S::ReadLine(),
              S::Send("A1 OK [CAPABILITY IMAP4rev1 UIDPLUS] in\r\n"), S::ReadLine(),
              S::Send("* 2 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\nA2 OK [READ-WRITE] sel\r\n"),
              S::ReadLine(), S::Send("* SEARCH 12\r\nA3 OK\r\n"), S::ReadLine(),
              S::Send("* SEARCH 11 12\r\nA4 OK\r\n"), S::ReadLine(),
              S::Send("* 1 FETCH (UID 11 BODY[] " + Literal(kSpam) + ")\r\n* 2 FETCH (UID 12 " +
                      "BODY[] " + Literal(kHam) + ")\r\nA5 OK\r\n"),
              S::ReadLine(), S::Send("A6 OK\r\n"), S::ReadLine(),
              S::Send("* 1 EXPUNGE\r\nA7 OK\r\n"), S::ReadLine(),
              S::Send("* SEARCH 12\r\nA8 OK\r\n"), S::ReadLine(), S::Send("* BYE\r\nA9 OK\r\n")});
    const TMailboxCheckResult result = Check(server.Port());
    EXPECT_EQ(server.Received(),
              "A1 LOGIN \"anna\" \"pw\"\r\n"
              "A2 SELECT \"INBOX\"\r\n"
              "A3 UID SEARCH UID *\r\n"
              "A4 UID SEARCH OR UNSEEN SINCE " +
                  WeekAgo() +
                  "\r\n"
                  "A5 UID FETCH 11:12 (UID BODY.PEEK[])\r\n"
                  "A6 UID STORE 11 +FLAGS.SILENT (\\Deleted)\r\n"
                  "A7 UID EXPUNGE 11\r\n"
                  "A8 UID SEARCH UNSEEN UNDELETED\r\n"
                  "A9 LOGOUT\r\n");
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
