// The IMAP pass against a scripted server (the exact commands of first and later passes, each
// way of removing, the log written before any command touches a message) and against a real
// Dovecot.
#include "filter/imap_pass.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "file_size_limit.h"
#include "filter/deletion_stamp.h"
#include "filter/examined_record.h"
#include "filter/fetched_message.h"
#include "filter/imap_record.h"
#include "filter/kill_list_store.h"
#include "filter/pass_lock.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/files.h"
#include "support/imap_script.h"
#include "support/net_access.h"
#include "support/scoped_env.h"
#include "support/test_values.h"

namespace {

using S = ScriptedPop3Server;

const std::string kHam = "Subject: lunch\r\n\r\nNoon?\r\n";
const std::string kSpam = "Subject: cheap pills\r\n\r\nBuy.";  // no CR LF at its end
// The fixed clock's day, 7 days back: where the first pass starts looking.
const std::string kSince = "29-Nov-2026";

// A session's start: the greeting and SELECT answered with the UIDVALIDITY (none for 0).
Steps Selected(const std::string& capabilities, uint32_t validity,
               const std::string& access = "READ-WRITE", int exists = 2) {
    const std::string code =
        validity ? "* OK [UIDVALIDITY " + std::to_string(validity) + "] v\r\n" : "";
    return {S::Send("* PREAUTH [CAPABILITY IMAP4rev1" + capabilities + "] hi\r\n"), S::ReadLine(),
            S::Send("* " + std::to_string(exists) + " EXISTS\r\n" + code + "A1 OK [" + access +
                    "] done\r\n")};
}

// A first pass from A2: the highest UID is 12, the unseen or recent are found.
TImapExchange FirstPass(const std::string& found, const std::string& fetchSet,
                        const std::string& fetched) {
    return {{"UID SEARCH UID *", "* SEARCH 12\r\n"},
            {"UID SEARCH OR UNSEEN SINCE " + kSince, "* SEARCH " + found + "\r\n"},
            {"UID FETCH " + fetchSet + " (UID BODY.PEEK[])", fetched}};
}

const TImapTurn kUnseen = {"UID SEARCH UNSEEN UNDELETED", "* SEARCH 11\r\n"};

// A whole session: its start, then the exchange from A2.
Steps Session(const std::string& capabilities, uint32_t validity, const TImapExchange& exchange) {
    return Selected(capabilities, validity) + ImapAnswers(exchange, 2);
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
    // Passes over one new connection; the counts of each.
    std::vector<TImapPassCounts> Passes(uint16_t port, int runs = 1,
                                        const std::optional<TImapPassSettings>& settings = {}) {
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

const std::string kSelect = "A1 SELECT \"INBOX\"\r\n";

struct RemovalCase {
    std::string name;
    std::string capabilities;
    std::string moveTo;
    TImapExchange removal;  // from A5
    bool flagged = false;   // only flagged for deletion, not removed
};

// A first pass over two messages, the second condemned, removed in each way the server's
// capabilities allow; the log record is whole on disk whenever a command comes after the
// FETCH.
TEST_F(ImapPassTest, FirstPassRemovesTheCondemnedAsTheServerAllows) {
    const TImapTurn stored = {"UID STORE 12 +FLAGS.SILENT (\\Deleted)", ""};
    const TImapTurn expunged = {"UID EXPUNGE 12", ""}, copied = {"UID COPY 12 \"Junk\"", ""};
    const std::string record = DeletionStamp(FixedTime()) + "\r\n" + kSpam + "\r\n";
    const std::vector<RemovalCase> cases = {
        {"uidplus", " UIDPLUS", "", {stored, expunged}},
        {"gmail",
         " UIDPLUS MOVE LIST-EXTENDED SPECIAL-USE X-GM-EXT-1",
         "",
         {{"LIST \"\" \"*\" RETURN (SPECIAL-USE)", "* LIST (\\Trash) \"/\" \"[Gmail]/Trash\"\r\n"},
          {"UID MOVE 12 \"[Gmail]/Trash\"", ""}}},
        {"move to trash",
         " MOVE",
         "",
         {{"LIST \"\" \"*\"", "* LIST () \"/\" INBOX\r\n* LIST (\\Trash) \"/\" Trash\r\n"},
          {"UID MOVE 12 \"Trash\"", ""}}},
        {"neither: flagged", "", "", {stored}, true},
        {"move to with MOVE", " MOVE UIDPLUS", "Entwürfe", {{"UID MOVE 12 \"Entw&APw-rfe\"", ""}}},
        {"move to with COPY", " UIDPLUS", "Junk", {copied, stored, expunged}},
        {"move to, copy only: flagged", "", "Junk", {copied, stored}, true},
    };
    for (const RemovalCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(cache_);
        std::filesystem::remove(log_);
        std::vector<size_t> logSizes;
        const S::Step logSize = S::Call([&] { logSizes.push_back(ReadFileBytes(log_).size()); });
        const TImapExchange first =
            FirstPass("11 12", "11:12", ImapFetched(1, 11, kHam) + ImapFetched(2, 12, kSpam));
        const int unseenTag = 5 + static_cast<int>(c.removal.size());
        S server(Selected(c.capabilities, 7) + ImapAnswers(first, 2) +
                 ImapAnswers(c.removal, 5, logSize) + ImapAnswers({kUnseen}, unseenTag));
        const TImapPassCounts counts = Passes(server.Port(), 1, Settings(c.moveTo)).at(0);
        EXPECT_EQ(server.Received(), kSelect + ImapSent(first, 2) + ImapSent(c.removal, 5) +
                                         ImapSent({kUnseen}, unseenTag));
        EXPECT_EQ(counts.Examined, 2u);
        EXPECT_EQ(counts.Condemned, 1u);
        EXPECT_EQ(counts.Removed, c.flagged ? 0u : 1u);
        EXPECT_EQ(counts.LeftFlagged, c.flagged);
        EXPECT_EQ(counts.UnseenLeft, 1u);
        EXPECT_EQ(ReadFileBytes(log_), record);
        EXPECT_EQ(logSizes, std::vector<size_t>(c.removal.size(), record.size()));
    }
}

// Later passes fetch only what is new ("n:*" also names the last message, below n: left
// alone); a new UIDVALIDITY or another kill list makes the folder new again. Without
// UIDVALIDITY nothing is stored: each session starts as the first, and only its own later
// passes go on from where it stopped. A read-only folder is refused at once, and so is moving
// the condemned into the folder they are in.
TEST_F(ImapPassTest, LaterPassesTakeOnlyNewUids) {
    const TImapExchange first =
        FirstPass("11", "11", ImapFetched(1, 11, kHam)) + TImapExchange{kUnseen};
    const TImapExchange nothingNew = {{"UID SEARCH UID 13:*", "* SEARCH 12\r\n"}, kUnseen};
    const TImapExchange newMail = {{"UID SEARCH UID 13:*", "* SEARCH 13\r\n"},
                                   {"UID FETCH 13 (UID BODY.PEEK[])", ImapFetched(3, 13, kSpam)},
                                   {"UID STORE 13 +FLAGS.SILENT (\\Deleted)", ""},
                                   {"UID EXPUNGE 13", ""},
                                   kUnseen};
    S server(Session(" UIDPLUS", 7, first) + Steps{S::Close()} +
             Session(" UIDPLUS", 7, nothingNew + newMail) + Steps{S::Close()} +
             Session(" UIDPLUS", 8, first) + Steps{S::Close()} + Session(" UIDPLUS", 8, first));
    Passes(server.Port());
    const std::vector<TImapPassCounts> later = Passes(server.Port(), 2);
    EXPECT_EQ(later[0].Examined, 0u);
    EXPECT_EQ(later[1].Examined, 1u);
    EXPECT_EQ(later[1].Removed, 1u);
    Passes(server.Port());
    SaveKillList(registry_, {"Subject: = dear"});  // the record of UIDVALIDITY 8 is not for it
    Passes(server.Port());
    const std::string firstSent = kSelect + ImapSent(first, 2);
    EXPECT_EQ(server.Received(),
              firstSent + kSelect + ImapSent(nothingNew + newMail, 2) + firstSent + firstSent);

    const TImapExchange noValidity = first + nothingNew;
    S other(Session("", 0, noValidity) + Steps{S::Close()} + Session("", 0, first) +
            Steps{S::Close()} + Selected("", 7, "READ-ONLY"));
    Passes(other.Port(), 2);
    Passes(other.Port());
    EXPECT_THROW(Passes(other.Port()), EProtocolError);
    TestClient<TImap> unconnected(other.Port());
    EXPECT_THROW(TImapPass(unconnected, registry_, Settings("inbox")).Open(), EProtocolError);
    EXPECT_EQ(other.Received(), kSelect + ImapSent(noValidity, 2) + firstSent + kSelect);
    EXPECT_FALSE(std::filesystem::exists(
        ImapRecord::FileFor(cache_, "127.0.0.1", other.Port(), "joe", "INBOX")));
}

// A folder larger than a search window is searched a window of message numbers at a time
// (overlapping when UIDs are collected, not when counted), and no further than a pass takes.
TEST_F(ImapPassTest, LargeFoldersAreSearchedInWindows) {
    const TImapExchange exchange = {
        {"UID SEARCH UID *", "* SEARCH 19\r\n"},
        {"UID SEARCH 1:4 OR UNSEEN SINCE " + kSince, "* SEARCH 11 12\r\n"},
        {"UID SEARCH 3:6 OR UNSEEN SINCE " + kSince, "* SEARCH 12 14\r\n"},
        {"UID FETCH 11:12 (UID BODY.PEEK[])", ImapFetched(1, 11, kHam)},
        {"UID SEARCH 1:4 UNSEEN UNDELETED", "* SEARCH 11\r\n"},
        {"UID SEARCH 5:8 UNSEEN UNDELETED", "* SEARCH 14\r\n"},
        {"UID SEARCH 9:* UNSEEN UNDELETED", "* SEARCH\r\n"}};
    S server(Selected(" UIDPLUS", 7, "READ-WRITE", 9) + ImapAnswers(exchange, 2));
    TImapPassSettings settings = Settings();
    settings.SearchWindow = 4;
    settings.MaxPerPass = 2;
    const TImapPassCounts counts = Passes(server.Port(), 1, settings).at(0);
    EXPECT_EQ(server.Received(), kSelect + ImapSent(exchange, 2));
    EXPECT_TRUE(counts.MoreWaiting);
    EXPECT_EQ(counts.UnseenLeft, 2u);
    const std::string key = ExaminedRecord::KillListKey({"Subject: = cheap"});
    EXPECT_EQ(ImapRecord::Load(
                  ImapRecord::FileFor(cache_, "127.0.0.1", server.Port(), "joe", "INBOX"), key),
              (TImapMark{7, 14}))
        << "the next pass starts at the first left out";
}

// A log that fails mid-answer: the answer is still read to its end (the connection stays in
// step), nothing is flagged or expunged, nothing is left in the log.
TEST_F(ImapPassTest, LogFailureTouchesNothing) {
    const TImapExchange first =
        FirstPass("11 12", "11:12", ImapFetched(1, 12, kSpam) + ImapFetched(2, 11, kHam)) +
        TImapExchange{{"UID SEARCH ALL", "* SEARCH\r\n"}};
    S server(Session(" UIDPLUS", 7, first));
    TestClient<TImap> imap(server.Port());
    imap.Greet();
    TImapPass pass(imap, registry_, Settings());
    pass.Open();
    {
        const FileSizeLimit limit(16);
        EXPECT_THROW(pass.Run(), EWriteError);
    }
    EXPECT_EQ(imap.UidSearch("ALL").size(), 0u) << "the connection is still in step";
    EXPECT_EQ(server.Received(), kSelect + ImapSent(first, 2));
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

// A record altered on disk would make passes skip mail: it counts for nothing.
TEST(ImapRecordTest, AnAlteredRecordHoldsNothing) {
    TempFolder folder;
    const std::string file = folder / "cache/record";
    ASSERT_TRUE(ImapRecord::Save(file, "k", {7, 13}));
    EXPECT_EQ(ImapRecord::Load(file, "k"), (TImapMark{7, 13}));
    std::string bytes = ReadFileBytes(file);
    WriteFileBytes(file, bytes.replace(bytes.find("below 13"), 8, "below 99"));
    EXPECT_EQ(ImapRecord::Load(file, "k"), std::nullopt);
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

// The client reads Dovecot's folder, and its messages byte for byte; then delivered spam goes at
// the first pass and at a later one on the same connection; the rest is left unread; the log
// holds the condemned as Dovecot sent them.
TEST_F(ImapPassTest, DovecotRemovesOnlyTheCondemnedAndLeavesThemUnread) {
    DovecotOptions options;
    options.imap = true;
    DovecotServer server("joe", "pw", options);
    const std::string spam = "Subject: cheap pills\nFrom: a@example.com\n\nBuy.\n";
    const std::string ham = "Subject: lunch\nFrom: b@example.org\n\nNoon?\n.\n(x) {3}\n";
    const auto crlf = [](const std::string& text) {
        std::string lines;
        for (const char ch : text) lines += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        return lines;
    };
    server.Deliver(spam);
    server.Deliver(ham);
    TestClient<TImap> imap(server.ImapPort());
    imap.Open();
    const TImapFolderState state = imap.Select("INBOX");
    EXPECT_EQ(state.Exists, 2u);
    EXPECT_NE(state.UidValidity, 0u);
    EXPECT_TRUE(state.ReadWrite);
    std::vector<std::string> got;
    imap.UidFetchMessages(imap.UidSearch("ALL"),
                          [&](uint32_t, std::string_view m) { got.emplace_back(m); });
    EXPECT_EQ(got, (std::vector<std::string>{crlf(spam), crlf(ham)}));
    TImapPassSettings settings = Settings();
    settings.SearchWindow = 1;  // the server takes searches by windows too (the bench the rest)
    TImapPass pass(imap, registry_, settings);
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
    const std::string record = DeletionStamp(FixedTime()) + "\r\n" + crlf(spam);
    EXPECT_EQ(ReadFileBytes(log_), record + record);
}

}  // namespace
