// The IMAP pass against a scripted server (the exact commands of first and later passes, each
// way of removing, the log written before any command touches a message) and against a real
// Dovecot.
#include "filter/imap_pass.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "file_size_limit.h"
#include "filter/deletion_stamp.h"
#include "filter/fetched_message.h"
#include "filter/kill_list_store.h"
#include "filter/pass_lock.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/files.h"
#include "support/net_access.h"
#include "support/pop3_script.h"
#include "support/scoped_env.h"
#include "support/test_values.h"

namespace {

using S = ScriptedPop3Server;

const std::string kHam = "Subject: lunch\r\n\r\nNoon?\r\n";
const std::string kSpam = "Subject: cheap pills\r\n\r\nBuy.";  // no CR LF at its end
// The dates the fixed clock gives: the first pass looks back 7 days.
const std::string kSince = "29-Nov-2026";

std::string Fetched(int n, uint32_t uid, const std::string& message) {
    return "* " + std::to_string(n) + " FETCH (UID " + std::to_string(uid) + " BODY[] {" +
           std::to_string(message.size()) + "}\r\n" + message + ")\r\n";
}

std::string SpamRecord() {
    return DeletionStamp(FixedTime()) + "\r\n" + kSpam + "\r\n";
}

Steps Greeting(const std::string& capabilities) {
    return {S::Send("* PREAUTH [CAPABILITY IMAP4rev1" + capabilities + "] hi\r\n")};
}

// SELECT answered with the UIDVALIDITY (none for 0).
S::Step Selected(const std::string& tag, uint32_t validity, const char* access = "READ-WRITE") {
    const std::string code =
        validity ? "* OK [UIDVALIDITY " + std::to_string(validity) + "] v\r\n" : "";
    return S::Send("* 2 EXISTS\r\n" + code + tag + " OK [" + access + "] done\r\n");
}

class ImapPassTest : public testing::Test {
  protected:
    ImapPassTest() { SaveKillList(registry_, {"Subject: = cheap"}); }

    TImapPassSettings Settings(const std::string& moveTo = "") const {
        TImapPassSettings settings;
        settings.MoveTo = moveTo;
        settings.LogFile = log_;
        settings.RecordFolder = cache_;
        settings.Clock = FixedTime;
        return settings;
    }
    // Passes over one new connection; the counts of each, or the error of the one that failed.
    std::vector<TImapPassCounts> Passes(uint16_t port, int runs = 1,
                                        const TImapPassSettings* settings = nullptr) {
        TestClient<TImap> imap(port);
        imap.Greet();
        TImapPass pass(imap, registry_, settings ? *settings : Settings());
        pass.Open();
        std::vector<TImapPassCounts> counts;
        for (int i = 0; i < runs; ++i) counts.push_back(pass.Run());
        return counts;
    }

    ScopedEnv locale_{"LC_ALL", "C"};
    TempFolder folder_;
    TRegistry registry_{folder_ / "registry.reg"};
    std::string log_ = folder_ / "deleted.log";
    std::string cache_ = folder_ / "cache";
};

struct RemovalCase {
    std::string name;
    std::string capabilities;
    std::string moveTo;
    Steps steps;       // after the FETCH, up to the last command's answer
    std::string sent;  // what the client sent for them
    uint32_t removed;
    bool leftFlagged;
};

// A first pass over two messages, the second condemned, removed in each way the server's
// capabilities allow; the log record is whole on disk whenever a command names the message.
TEST_F(ImapPassTest, FirstPassRemovesTheCondemnedAsTheServerAllows) {
    std::vector<size_t> logSizes;
    const S::Step logSize = S::Call([&] { logSizes.push_back(ReadFileBytes(log_).size()); });
    const std::string list =
        "* LIST (\\HasNoChildren) \"/\" INBOX\r\n"
        "* LIST (\\Trash) \"/\" Trash\r\n";
    const std::string store = "UID STORE 12 +FLAGS.SILENT (\\Deleted)\r\n";
    const std::vector<RemovalCase> cases = {
        {"uidplus",
         " UIDPLUS",
         "",
         {S::ReadLine(), logSize, S::Send("A5 OK\r\n"), S::ReadLine(), S::Send("A6 OK\r\n")},
         "A5 " + store + "A6 UID EXPUNGE 12\r\n",
         1,
         false},
        {"gmail",
         " UIDPLUS MOVE LIST-EXTENDED SPECIAL-USE X-GM-EXT-1",
         "",
         {S::ReadLine(), S::Send("* LIST (\\Trash) \"/\" \"[Gmail]/Trash\"\r\nA5 OK\r\n"),
          S::ReadLine(), logSize, S::Send("A6 OK\r\n")},
         "A5 LIST \"\" \"*\" RETURN (SPECIAL-USE)\r\nA6 UID MOVE 12 \"[Gmail]/Trash\"\r\n",
         1,
         false},
        {"move to trash",
         " MOVE",
         "",
         {S::ReadLine(), S::Send(list + "A5 OK\r\n"), S::ReadLine(), logSize, S::Send("A6 OK\r\n")},
         "A5 LIST \"\" \"*\"\r\nA6 UID MOVE 12 \"Trash\"\r\n",
         1,
         false},
        {"neither: flagged",
         "",
         "",
         {S::ReadLine(), logSize, S::Send("A5 OK\r\n")},
         "A5 " + store,
         0,
         true},
        {"move to with MOVE",
         " MOVE UIDPLUS",
         "Entwürfe",
         {S::ReadLine(), logSize, S::Send("A5 OK\r\n")},
         "A5 UID MOVE 12 \"Entw&APw-rfe\"\r\n",
         1,
         false},
        {"move to with COPY",
         " UIDPLUS",
         "Junk",
         {S::ReadLine(), logSize, S::Send("A5 OK\r\n"), S::ReadLine(), S::Send("A6 OK\r\n"),
          S::ReadLine(), S::Send("A7 OK\r\n")},
         "A5 UID COPY 12 \"Junk\"\r\nA6 " + store + "A7 UID EXPUNGE 12\r\n",
         1,
         false},
        {"move to, copy only: flagged",
         "",
         "Junk",
         {S::ReadLine(), logSize, S::Send("A5 OK\r\n"), S::ReadLine(), S::Send("A6 OK\r\n")},
         "A5 UID COPY 12 \"Junk\"\r\nA6 " + store,
         0,
         true},
    };
    for (const RemovalCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(cache_);
        std::filesystem::remove(log_);
        logSizes.clear();
        Steps steps = Then(
            Greeting(c.capabilities),
            {S::ReadLine(), Selected("A1", 7), S::ReadLine(), S::Send("* SEARCH 12\r\nA2 OK\r\n"),
             S::ReadLine(), S::Send("* SEARCH 11 12\r\nA3 OK\r\n"), S::ReadLine(),
             S::Send(Fetched(1, 11, kHam) + Fetched(2, 12, kSpam) + "A4 OK\r\n")});
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        const auto tag = 5 + std::count_if(c.steps.begin(), c.steps.end(), [](const S::Step& s) {
                             return s.kind == S::Step::Kind::ReadLine;
                         });
        steps.push_back(S::ReadLine());
        steps.push_back(S::Send("* SEARCH 11\r\nA" + std::to_string(tag) + " OK\r\n"));
        S server(steps);
        TImapPassSettings settings = Settings(c.moveTo);
        const std::vector<TImapPassCounts> counts = Passes(server.Port(), 1, &settings);
        EXPECT_EQ(server.Received(),
                  "A1 SELECT \"INBOX\"\r\nA2 UID SEARCH UID *\r\n"
                  "A3 UID SEARCH OR UNSEEN SINCE " +
                      kSince + "\r\nA4 UID FETCH 11:12 (UID BODY.PEEK[])\r\n" + c.sent + "A" +
                      std::to_string(tag) + " UID SEARCH UNSEEN UNDELETED\r\n");
        ASSERT_EQ(counts.size(), 1u);
        EXPECT_EQ(counts[0].Examined, 2u);
        EXPECT_EQ(counts[0].Condemned, 1u);
        EXPECT_EQ(counts[0].Removed, c.removed);
        EXPECT_EQ(counts[0].LeftFlagged, c.leftFlagged);
        EXPECT_EQ(counts[0].UnseenLeft, 1u);
        EXPECT_EQ(ReadFileBytes(log_), SpamRecord());
        EXPECT_EQ(logSizes, std::vector<size_t>{SpamRecord().size()});
    }
}

// Later passes fetch only what is new ("n:*" also names the last message, below n: left
// alone); a new UIDVALIDITY or another kill list makes the folder new again.
TEST_F(ImapPassTest, LaterPassesTakeOnlyNewUids) {
    const Steps first = {S::ReadLine(), S::Send("* SEARCH 12\r\nA2 OK\r\n"),
                         S::ReadLine(), S::Send("* SEARCH 11\r\nA3 OK\r\n"),
                         S::ReadLine(), S::Send(Fetched(1, 11, kHam) + "A4 OK\r\n"),
                         S::ReadLine(), S::Send("* SEARCH 11\r\nA5 OK\r\n"),
                         S::Close()};
    Steps steps = Greeting(" UIDPLUS");
    steps.push_back(S::ReadLine());
    steps.push_back(Selected("A1", 7));
    steps.insert(steps.end(), first.begin(), first.end());
    steps = Then(steps, {S::Send("* PREAUTH [CAPABILITY IMAP4rev1 UIDPLUS] hi\r\n"), S::ReadLine(),
                         Selected("A1", 7),
                         // Nothing new: no FETCH.
                         S::ReadLine(), S::Send("* SEARCH 12\r\nA2 OK\r\n"), S::ReadLine(),
                         S::Send("* SEARCH 11\r\nA3 OK\r\n"),
                         // New mail on the same connection.
                         S::ReadLine(), S::Send("* SEARCH 13\r\nA4 OK\r\n"), S::ReadLine(),
                         S::Send(Fetched(3, 13, kSpam) + "A5 OK\r\n"), S::ReadLine(),
                         S::Send("A6 OK\r\n"), S::ReadLine(), S::Send("A7 OK\r\n"), S::ReadLine(),
                         S::Send("* SEARCH 11\r\nA8 OK\r\n"), S::Close(),
                         // A new UIDVALIDITY: as the first time.
                         S::Send("* PREAUTH [CAPABILITY IMAP4rev1 UIDPLUS] hi\r\n"), S::ReadLine(),
                         Selected("A1", 8)});
    steps.insert(steps.end(), first.begin(), first.end());
    S server(steps);
    Passes(server.Port());
    const std::vector<TImapPassCounts> later = Passes(server.Port(), 2);
    EXPECT_EQ(later[0].Examined, 0u);
    EXPECT_EQ(later[1].Examined, 1u);
    EXPECT_EQ(later[1].Removed, 1u);
    Passes(server.Port());
    const std::string firstSent =
        "A1 SELECT \"INBOX\"\r\nA2 UID SEARCH UID *\r\n"
        "A3 UID SEARCH OR UNSEEN SINCE " +
        kSince +
        "\r\nA4 UID FETCH 11 (UID BODY.PEEK[])\r\n"
        "A5 UID SEARCH UNSEEN UNDELETED\r\n";
    EXPECT_EQ(server.Received(),
              firstSent +
                  "A1 SELECT \"INBOX\"\r\nA2 UID SEARCH UID 13:*\r\n"
                  "A3 UID SEARCH UNSEEN UNDELETED\r\n"
                  "A4 UID SEARCH UID 13:*\r\nA5 UID FETCH 13 (UID BODY.PEEK[])\r\n"
                  "A6 UID STORE 13 +FLAGS.SILENT (\\Deleted)\r\nA7 UID EXPUNGE 13\r\n"
                  "A8 UID SEARCH UNSEEN UNDELETED\r\n" +
                  firstSent);

    // Another kill list: the record of UIDVALIDITY 8 does not hold for it.
    SaveKillList(registry_, {"Subject: = dear"});
    Steps again = Greeting("");
    again.push_back(S::ReadLine());
    again.push_back(Selected("A1", 8));
    again.insert(again.end(), first.begin(), first.end());
    S other(again);
    Passes(other.Port());
    EXPECT_EQ(other.Received(), firstSent);
}

// Without UIDVALIDITY nothing is stored: each session starts as the first, and only its own
// later passes go on from where it stopped. A read-only folder is refused at once.
TEST_F(ImapPassTest, NoUidValidityAndReadOnly) {
    const Steps first = {S::ReadLine(), S::Send("* SEARCH 12\r\nA2 OK\r\n"),
                         S::ReadLine(), S::Send("* SEARCH 11\r\nA3 OK\r\n"),
                         S::ReadLine(), S::Send(Fetched(1, 11, kHam) + "A4 OK\r\n"),
                         S::ReadLine(), S::Send("* SEARCH 11\r\nA5 OK\r\n")};
    Steps steps = Greeting("");
    steps.push_back(S::ReadLine());
    steps.push_back(Selected("A1", 0));
    steps.insert(steps.end(), first.begin(), first.end());
    steps = Then(steps, {S::ReadLine(), S::Send("* SEARCH 12\r\nA6 OK\r\n"), S::ReadLine(),
                         S::Send("* SEARCH 11\r\nA7 OK\r\n"), S::Close()});
    steps = Then(steps, {S::Send("* PREAUTH hi\r\n"), S::ReadLine(), Selected("A1", 0)});
    steps.insert(steps.end(), first.begin(), first.end());
    steps = Then(steps, {S::Close(), S::Send("* PREAUTH hi\r\n"), S::ReadLine(),
                         Selected("A1", 7, "READ-ONLY")});
    S server(steps);
    Passes(server.Port(), 2);
    Passes(server.Port());
    EXPECT_THROW(Passes(server.Port()), EProtocolError);
    const std::string firstSent =
        "A1 SELECT \"INBOX\"\r\nA2 UID SEARCH UID *\r\n"
        "A3 UID SEARCH OR UNSEEN SINCE " +
        kSince +
        "\r\nA4 UID FETCH 11 (UID BODY.PEEK[])\r\n"
        "A5 UID SEARCH UNSEEN UNDELETED\r\n";
    EXPECT_EQ(server.Received(), firstSent +
                                     "A6 UID SEARCH UID 13:*\r\n"
                                     "A7 UID SEARCH UNSEEN UNDELETED\r\n" +
                                     firstSent + "A1 SELECT \"INBOX\"\r\n");
    for (const auto& entry : std::filesystem::directory_iterator(cache_))
        EXPECT_TRUE(entry.path().string().ends_with(".lock")) << "no record: " << entry.path();
}

// A log that fails mid-answer: the answer is still read to its end (the connection stays in
// step), nothing is flagged or expunged, and the record is not advanced.
TEST_F(ImapPassTest, LogFailureTouchesNothing) {
    Steps steps =
        Then(Greeting(" UIDPLUS"),
             {S::ReadLine(), Selected("A1", 7), S::ReadLine(), S::Send("* SEARCH 12\r\nA2 OK\r\n"),
              S::ReadLine(), S::Send("* SEARCH 11 12\r\nA3 OK\r\n"), S::ReadLine(),
              S::Send(Fetched(1, 12, kSpam) + Fetched(2, 11, kHam) + "A4 OK\r\n"), S::ReadLine(),
              S::Send("* SEARCH\r\nA5 OK\r\n")});
    S server(steps);
    TestClient<TImap> imap(server.Port());
    imap.Greet();
    TImapPass pass(imap, registry_, Settings());
    pass.Open();
    {
        const FileSizeLimit limit(16);
        EXPECT_THROW(pass.Run(), EWriteError);
    }
    EXPECT_EQ(imap.UidSearch("ALL").size(), 0u) << "the connection is still in step";
    EXPECT_EQ(server.Received(),
              "A1 SELECT \"INBOX\"\r\nA2 UID SEARCH UID *\r\n"
              "A3 UID SEARCH OR UNSEEN SINCE " +
                  kSince +
                  "\r\nA4 UID FETCH 11:12 (UID BODY.PEEK[])\r\n"
                  "A5 UID SEARCH ALL\r\n");
    EXPECT_EQ(ReadFileBytes(log_), "");
}

// One pass per folder: a second waits, then gives up, whether the first is held by this
// program or by another.
TEST_F(ImapPassTest, PassesOfOneFolderDoNotOverlap) {
    const std::string lock = folder_ / "cache/imap-examined-x.lock";
    {
        const TPassLock held(lock, std::chrono::milliseconds(0), "INBOX");
        EXPECT_THROW(TPassLock(lock, std::chrono::milliseconds(20), "INBOX"), EPassBusy);
    }
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(release[1]);  // so that the parent's close ends the read below
        {
            const TPassLock held(lock, std::chrono::milliseconds(1000), "INBOX");
            char c = 0;
            (void)!::write(ready[1], "x", 1);
            (void)!::read(release[0], &c, 1);
        }
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_THROW(TPassLock(lock, std::chrono::milliseconds(50), "INBOX"), EPassBusy);
    ::close(release[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_NO_THROW(TPassLock(lock, std::chrono::milliseconds(1000), "INBOX"));
    for (const int fd : {ready[0], ready[1], release[0]}) ::close(fd);
}

// Lines as a POP3 retrieval hands them to the rules.
TEST(FetchedLinesTest, AsPop3SeesThem) {
    const std::vector<std::pair<std::string, TLineBuffer>> cases = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\nb\r\n", {"ab"}},
        {"a\rb\r\r\nc", {"ab", "c"}},
        {"", {}},
    };
    for (const auto& [bytes, lines] : cases) {
        TLineBuffer got{"stale"};
        FetchedLines(bytes, got);
        EXPECT_EQ(got, lines) << bytes;
    }
}

// --- Against Dovecot -------------------------------------------------------------------

// Delivered spam goes at the first pass and at a later one on the same connection; the rest
// is left unread; the log holds the condemned as Dovecot sent them.
TEST_F(ImapPassTest, DovecotRemovesOnlyTheCondemnedAndLeavesThemUnread) {
    DovecotOptions options;
    options.imap = true;
    DovecotServer server("joe", "pw", options);
    const std::string spam = "Subject: cheap pills\nFrom: a@example.com\n\nBuy.\n";
    const std::string ham = "Subject: lunch\nFrom: b@example.org\n\nNoon?\n";
    server.Deliver(spam);
    server.Deliver(ham);
    TestClient<TImap> imap(server.ImapPort());
    imap.Open();
    TImapPass pass(imap, registry_, Settings());
    pass.Open();
    const TImapPassCounts first = pass.Run();
    EXPECT_EQ(first.Examined, 2u);
    EXPECT_EQ(first.Removed, 1u);
    EXPECT_EQ(first.UnseenLeft, 1u) << "nothing was marked read";
    imap.Idle();  // as the watch on the folder does: the pass runs once new mail is announced
    server.Deliver(spam);
    EXPECT_EQ(imap.IdleWait(10000), 2u);
    imap.Done();
    const TImapPassCounts later = pass.Run();
    EXPECT_EQ(later.Examined, 1u);
    EXPECT_EQ(later.Removed, 1u);
    EXPECT_EQ(pass.Run().Examined, 0u);
    imap.Logout();
    const std::vector<std::string> files = server.MessageFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadFileBytes(files[0]), ham);
    EXPECT_EQ(files[0].find(":2,S"), std::string::npos);
    std::string crlf;
    for (const char ch : spam) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string record = DeletionStamp(FixedTime()) + "\r\n" + crlf;
    EXPECT_EQ(ReadFileBytes(log_), record + record);
}

}  // namespace
