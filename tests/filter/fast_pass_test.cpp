// The fast check against a private Dovecot (next to the classic check on the same mailbox),
// and against a scripted peer for the exact commands and the failures mid-window.
#include "filter/fast_pass.h"

#include <gtest/gtest.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "file_size_limit.h"
#include "filter/deletion_stamp.h"
#include "filter/examined_record.h"
#include "filter/fast_session.h"
#include "filter/kill_list_store.h"
#include "filter/kill_pass.h"
#include "net/pop3.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/files.h"
#include "support/net_access.h"
#include "support/pop3_script.h"
#include "support/scoped_env.h"
#include "support/test_values.h"

namespace {

using Script = ScriptedPop3Server;

const std::string kSpam = "From: spam@example.com\nSubject: Hi\n\nBuy.\n";
const std::string kHam = "From: ann@example.org\nSubject: Lunch\n\nNoon?\n";
const std::string kPills = "From: bob@example.org\nSubject: cheap pills\n\nReally.\n";

class FastPassTest : public testing::Test {
  protected:
    // One fast check; returns the count left and "" or "!" + the error text.
    std::pair<int32_t, std::string> Fast(uint16_t port, const std::string& user = "joe",
                                         const std::string& pw = "pw", size_t maxReply = 0) {
        TestPop3 pop3(port, user, pw);
        if (maxReply) pop3.MaxReplyBytes = maxReply;
        TFastCheck check(pop3, registry_, log_, cache_, FixedTime);
        int32_t count = -1;
        try {
            check.Login();
            count = check.Listed();
            check.Run(count);
        } catch (const std::exception& e) {
            leftOpen_ = pop3.HasSocket();
            return {count, std::string("!") + e.what()};
        }
        leftOpen_ = pop3.HasSocket();
        return {count, ""};
    }
    std::string RecordFile(uint16_t port, const std::string& user = "joe") {
        return ExaminedRecord::FileFor(cache_, "127.0.0.1", port, user);
    }

    ScopedEnv locale_{"LC_ALL", "C"};
    TempFolder folder_;
    TRegistry registry_{folder_ / "registry.reg"};
    std::string log_ = folder_ / "deleted.log";
    std::string cache_ = folder_ / "cache/vornask";
    bool leftOpen_ = false;  // whether the last Fast left its connection open
};

// --- Against Dovecot -------------------------------------------------------------------

class FastPassDovecotTest : public FastPassTest {
  protected:
    FastPassDovecotTest() : server_("joe", "pw") {
        for (const std::string* m : {&kSpam, &kHam, &kPills, &kHam}) server_.Deliver(*m);
        SaveKillList(registry_, {"From: = spam@", "Subject: = cheap"});
    }
    std::pair<int32_t, std::string> Fast() {
        ++sessions_;
        return FastPassTest::Fast(server_.Port());
    }
    // The messages retrieved by the last session, from Dovecot's logout line, which it writes
    // after the session has ended.
    int LastRetrieved() {
        const std::vector<std::string> lines = server_.AwaitLogLines("retr=", sessions_);
        return lines.size() < sessions_ || lines.empty()
                   ? -1
                   : std::stoi(lines.back().substr(lines.back().find("retr=") + 5));
    }

    DovecotServer server_;
    size_t sessions_ = 0;  // fast checks run against server_
};

TEST_F(FastPassDovecotTest, DeletesAndLogsExactlyWhatTheClassicCheckDoes) {
    DovecotServer classic("joe", "pw");
    for (const std::string* m : {&kSpam, &kHam, &kPills, &kHam}) classic.Deliver(*m);
    const std::string classicLog = folder_ / "classic.log";
    TestPop3 pop3(classic.Port());
    pop3.Login();
    pop3.ReadHeaders();
    pop3.Logout();
    auto count = static_cast<int32_t>(pop3.MailText.size());
    KillPass(pop3, registry_, classicLog, count, FixedTime);

    EXPECT_EQ(Fast(), std::make_pair(count, std::string()));
    EXPECT_EQ(ReadFileBytes(log_), ReadFileBytes(classicLog));
    EXPECT_EQ(server_.MessageFiles().size(), classic.MessageFiles().size());
    EXPECT_EQ(count, 2);
    EXPECT_EQ(LastRetrieved(), 4);
}

TEST_F(FastPassDovecotTest, ARepeatRetrievesNothingAndANewMessageIsExamined) {
    Fast();
    const std::string firstLog = ReadFileBytes(log_);
    EXPECT_EQ(Fast(), std::make_pair(2, std::string()));
    EXPECT_EQ(LastRetrieved(), 0);
    EXPECT_EQ(ReadFileBytes(log_), firstLog);

    server_.Deliver(kPills);
    server_.Deliver(kHam);
    EXPECT_EQ(Fast(), std::make_pair(3, std::string()));
    EXPECT_EQ(LastRetrieved(), 2);
    EXPECT_EQ(server_.MessageFiles().size(), 3u);
    const std::string record = ReadFileBytes(log_).substr(firstLog.size());
    EXPECT_NE(record.find("Subject: cheap pills\r\n"), std::string::npos);
    EXPECT_EQ(Fast().first, 3);
    EXPECT_EQ(LastRetrieved(), 0);
}

TEST_F(FastPassDovecotTest, AChangedKillListOrALostRecordExaminesEverythingAgain) {
    const std::string record = RecordFile(server_.Port());
    const std::function<void()> spoil[] = {
        [&] {
            SaveKillList(registry_, {"From: = spam@", "Subject: = cheaper"});
        },
        [&] { std::filesystem::remove(record); },
        [&] {
            std::string bytes = ReadFileBytes(record);
            bytes[bytes.size() / 2] ^= 1;
            WriteFileBytes(record, bytes);
        },
        [&] { WriteFileBytes(record, ReadFileBytes(record).substr(0, 20)); },
    };
    for (const auto& damage : spoil) {
        Fast();
        ASSERT_TRUE(std::filesystem::exists(record));
        damage();
        EXPECT_EQ(Fast().second, "");
        EXPECT_EQ(LastRetrieved(), 2);  // both kept messages, examined again
    }
}

TEST_F(FastPassDovecotTest, ALogThatCannotBeWrittenDeletesNothingAndRecordsNothing) {
    WriteFileBytes(log_, "x");
    {
        FileSizeLimit full(1);
        EXPECT_EQ(Fast(), std::make_pair(4, std::string("!Stream write error")));
    }
    EXPECT_EQ(ReadFileBytes(log_), "x");
    EXPECT_EQ(server_.MessageFiles().size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(RecordFile(server_.Port())));
}

// More condemned text than is held back sends DELEs while RETR replies are still owed.
TEST_F(FastPassDovecotTest, DeletionsSentMidWindowKeepTheRepliesInStep) {
    const std::string body(20 * 1024, 'x');
    Fast();
    const std::string before = ReadFileBytes(log_);
    // Written straight into the maildir: one delivery each would take far longer.
    const std::string mailNew = server_.Dir() + "/mail/joe/Maildir/new/";
    for (int n = 0; n < 260; ++n)
        WriteFileBytes(mailNew + "1700000000.M" + std::to_string(n) + "P1.bulk",
                       "From: spam@example.com\n\n" + body + "\n");
    EXPECT_EQ(Fast(), std::make_pair(2, std::string()));
    EXPECT_EQ(server_.MessageFiles().size(), 2u);
    const std::string record =
        DeletionStamp(FixedTime()) + "\r\nFrom: spam@example.com\r\n\r\n" + body + "\r\n";
    std::string all;
    for (int n = 0; n < 260; ++n) all += record;
    EXPECT_TRUE(ReadFileBytes(log_) == before + all);
}

// --- Against a scripted server ---------------------------------------------------------

// Appends the server's side of commands answered in order. Batched: every line is read
// before the first reply, as the client sent them at once.
void Exchange(Steps& steps, const std::vector<std::string>& replies, bool batched) {
    for (size_t i = 0; i < replies.size(); ++i) {
        steps.push_back(Script::ReadLine());
        if (!batched) steps.push_back(Script::Send(replies[i]));
    }
    for (size_t i = 0; batched && i < replies.size(); ++i)
        steps.push_back(Script::Send(replies[i]));
}

std::string Message(int n, bool spam) {
    return "+OK\r\nFrom: " + std::string(spam ? "spam@x" : "ann@y") + "\r\n\r\nbody " +
           std::to_string(n) + "\r\n.\r\n";
}
std::string Record(int n) {
    return DeletionStamp(FixedTime()) + "\r\nFrom: spam@x\r\n\r\nbody " + std::to_string(n) +
           "\r\n";
}
// The greeting and the answer to CAPA.
Steps Greeted(const std::string& capa) {
    return {Script::Send("+OK hi\r\n"), Script::ReadLine(), Script::Send(capa)};
}
const char* const kListing = "+OK\r\n1 30\r\n2 30\r\n3 30\r\n.\r\n";
const char* const kUids = "+OK\r\n1 u1\r\n2 u2\r\n3 u3\r\n.\r\n";

class FastPassScriptedTest : public FastPassTest {
  protected:
    FastPassScriptedTest() { SaveKillList(registry_, {"From: = spam@"}); }
};

// Message 2 is condemned; how the session runs depends on what CAPA offers.
TEST_F(FastPassScriptedTest, CommandsGoOneAtATimeUnlessThePeerPipelines) {
    struct Case {
        const char* capa;
        bool pipelined;
        bool uidl;
    } cases[] = {{"+OK\r\nUIDL\r\nTOP\r\n.\r\n", false, true},
                 {"-ERR what?\r\n", false, false},
                 {"+OK\r\npipelining\r\n.\r\n", true, false},
                 {"+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capa);
        Steps s = Greeted(c.capa);
        std::vector<std::string> login{"+OK\r\n", "+OK\r\n", kListing};
        if (c.uidl) login.push_back(kUids);
        Exchange(s, login, c.pipelined);
        if (c.pipelined) {
            Exchange(s, {Message(1, false), Message(2, true), Message(3, false)}, true);
            Exchange(s, {"+OK\r\n", "+OK bye\r\n"}, true);
        } else {
            Exchange(
                s,
                {Message(1, false), Message(2, true), "+OK\r\n", Message(3, false), "+OK bye\r\n"},
                false);
        }
        ScriptedPop3Server server(std::move(s));
        std::filesystem::remove(log_);

        EXPECT_EQ(Fast(server.Port()), std::make_pair(2, std::string()));
        EXPECT_FALSE(leftOpen_);  // closed by the answered QUIT
        EXPECT_EQ(server.Received(),
                  std::string("CAPA\r\nUSER joe\r\nPASS pw\r\nLIST\r\n") +
                      (c.uidl ? "UIDL\r\n" : "") +
                      (c.pipelined ? "RETR 1\r\nRETR 2\r\nRETR 3\r\nDELE 2\r\nQUIT\r\n"
                                   : "RETR 1\r\nRETR 2\r\nDELE 2\r\nRETR 3\r\nQUIT\r\n"));
        std::vector<bool> ahead = server.Ahead();
        if (c.pipelined) {
            // CAPA alone; the login, the RETRs, and DELE with QUIT once every message was
            // judged, each in one write.
            std::vector<bool> expected{false, true, true, c.uidl};
            if (c.uidl) expected.push_back(false);
            expected.insert(expected.end(), {true, true, false, true, false});
            EXPECT_EQ(ahead, expected);
        } else {
            EXPECT_EQ(std::count(ahead.begin(), ahead.end(), true), 0);
        }
        EXPECT_EQ(ReadFileBytes(log_), Record(2));
        EXPECT_EQ(std::filesystem::exists(RecordFile(server.Port())), c.uidl);
    }
}

// A record holding every id may only spare messages whose ids the server gave clearly.
TEST_F(FastPassScriptedTest, OnlyClearUniqueIdsSpareAMessage) {
    const std::pair<const char*, std::vector<int>> cases[] = {
        {kUids, {}},
        {"+OK\r\n1 u1\r\n2 u1\r\n3 u3\r\n.\r\n", {1, 2}},  // one id for two messages
        {"+OK\r\n1 u1\r\nx u2\r\n3 u3\r\n.\r\n", {1, 2, 3}},
        {"+OK\r\n1 u1\r\n3 u3\r\n.\r\n", {2}},
        {"+OK\r\n3 u3\r\n1 u1\r\n2 u1\r\n.\r\n", {1, 2}},             // in any order
        {"+OK\r\n1 u1\r\n1 u2\r\n3 u3\r\n.\r\n", {1, 2, 3}},          // two ids for one message
        {"+OK\r\n1 u1\r\n2 u2\r\n3 u3\r\n4 u4\r\n.\r\n", {1, 2, 3}},  // more ids than messages
        {"-ERR not now\r\n", {1, 2, 3}}};
    for (const auto& [uidl, examined] : cases) {
        SCOPED_TRACE(uidl);
        Steps s = Greeted("+OK\r\nUIDL\r\n.\r\n");
        Exchange(s, {"+OK\r\n", "+OK\r\n", kListing, uidl}, false);
        std::string expected = "CAPA\r\nUSER joe\r\nPASS pw\r\nLIST\r\nUIDL\r\n";
        for (int n : examined) {
            Exchange(s, {Message(n, false)}, false);
            expected += "RETR " + std::to_string(n) + "\r\n";
        }
        Exchange(s, {"+OK bye\r\n"}, false);
        ScriptedPop3Server server(std::move(s));
        ExaminedRecord::Save(RecordFile(server.Port()),
                             ExaminedRecord::KillListKey({"From: = spam@"}), {"u1", "u2", "u3"});

        EXPECT_EQ(Fast(server.Port()), std::make_pair(3, std::string()));
        EXPECT_EQ(server.Received(), expected + "QUIT\r\n");
    }
}

// A message listed larger than a reply may be is not retrieved, logged or deleted.
TEST_F(FastPassScriptedTest, AMessageListedBeyondTheReplyBoundIsLeftAlone) {
    Steps s = Greeted("+OK\r\n.\r\n");
    Exchange(s, {"+OK\r\n", "+OK\r\n", "+OK\r\n1 30\r\n2 5000\r\n3 30\r\n.\r\n"}, false);
    Exchange(s, {Message(1, true), "+OK\r\n", Message(3, false), "+OK bye\r\n"}, false);
    ScriptedPop3Server server(std::move(s));

    EXPECT_EQ(Fast(server.Port(), "joe", "pw", 1000), std::make_pair(2, std::string()));
    EXPECT_EQ(server.Received(),
              "CAPA\r\nUSER joe\r\nPASS pw\r\nLIST\r\nRETR 1\r\nDELE 1\r\nRETR 3\r\nQUIT\r\n");
    EXPECT_EQ(ReadFileBytes(log_), Record(1));
}

// A login that fails at any step closes the session at once, so the mailbox is not held
// locked; a refusal that only means "not now" says so, as in the classic login.
TEST_F(FastPassScriptedTest, AFailedLoginClosesTheSessionAndTellsATemporaryRefusal) {
    // The replies to USER, PASS and LIST up to the failing one; none: the greeting fails.
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{}, false},
        {{"-ERR [IN-USE] locked\r\n"}, true},
        {{"+OK\r\n", "-ERR [AUTH] no\r\n"}, false},
        {{"+OK\r\n", "+OK\r\n", "+OK\r\n1 x\r\n.\r\n"}, false}};
    for (const auto& [replies, temporary] : cases) {
        Steps s = replies.empty() ? Steps{Script::Send("-ERR busy\r\n")}
                                  : Greeted("+OK\r\nUIDL\r\n.\r\n");
        Exchange(s, replies, false);
        s.push_back(Script::ReadToEnd());
        ScriptedPop3Server server(std::move(s));
        TestPop3 pop3(server.Port());
        TFastCheck check(pop3, registry_, log_, cache_, FixedTime);
        bool temporaryRefusal = false;
        try {
            check.Login();
            ADD_FAILURE() << "logged in";
        } catch (const EProtocolError& e) {
            temporaryRefusal = e.TemporaryRefusal;
        } catch (const std::exception&) {
        }
        EXPECT_EQ(temporaryRefusal, temporary);
        EXPECT_EQ(pop3.SocketHandle, -1);
        EXPECT_EQ(server.Received().find("QUIT"), std::string::npos);
    }
}

// One command at a time, the connection lost after the first DELE: a message is logged as
// deleted only when its DELE went out.
TEST_F(FastPassScriptedTest, WithoutPipeliningNoRecordIsLoggedAheadOfItsDele) {
    Steps s = Greeted("-ERR what?\r\n");
    Exchange(
        s, {"+OK\r\n", "+OK\r\n", kListing, Message(1, false), Message(2, true), Message(3, true)},
        false);
    s.insert(s.end(), {Script::ReadLine(), Script::Close()});
    ScriptedPop3Server server(std::move(s));

    EXPECT_NE(Fast(server.Port()).second, "");
    const std::string received = server.Received(), log = ReadFileBytes(log_);
    for (int n : {2, 3}) {
        EXPECT_EQ(log.find(Record(n)) != std::string::npos,
                  received.find("DELE " + std::to_string(n)) != std::string::npos)
            << n;
    }
}

const char* const kPipelinedLogin = "+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n";

// Messages 1 and 2 are condemned and their replies have come in when the connection drops in
// the middle of message 3: their batch waits for message 3, so nothing is logged or deleted,
// and the record must stay.
TEST_F(FastPassScriptedTest, ADropInTheWindowDeletesNothingAndKeepsTheRecord) {
    Steps s = Greeted(kPipelinedLogin);
    Exchange(s, {"+OK\r\n", "+OK\r\n", kListing, kUids}, true);
    Exchange(s, {Message(1, true), Message(2, true), "+OK\r\nFrom: ann@y\r\n"}, true);
    s.push_back(Script::Close());
    ScriptedPop3Server server(std::move(s));
    ASSERT_TRUE(ExaminedRecord::Save(RecordFile(server.Port()),
                                     ExaminedRecord::KillListKey({"From: = spam@"}), {"u9"}));
    const std::string before = ReadFileBytes(RecordFile(server.Port()));

    EXPECT_EQ(Fast(server.Port()), std::make_pair(3, std::string("!")));
    EXPECT_FALSE(leftOpen_);
    EXPECT_EQ(server.Received().find("DELE"), std::string::npos);
    EXPECT_EQ(server.Received().find("QUIT"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(log_), "");
    EXPECT_EQ(ReadFileBytes(RecordFile(server.Port())), before);
}

// A reply that makes no sense leaves the session out of step: it is closed at once, and no
// QUIT (then or when the client goes) can make a deletion of it final.
TEST_F(FastPassScriptedTest, AGarbledReplyClosesTheSessionWithoutQuit) {
    const std::string login = "CAPA\r\nUSER joe\r\nPASS pw\r\nLIST\r\n";
    struct Case {
        const char* capa;
        std::vector<std::string> replies;  // after the listing, up to the garbled one
        std::string received;              // after the login
        std::string log;
    } cases[] = {
        {kPipelinedLogin,
         {kUids, Message(1, true), "what?\r\n"},
         "UIDL\r\nRETR 1\r\nRETR 2\r\nRETR 3\r\n",
         ""},
        {"-ERR\r\n", {Message(1, true), "what?\r\n"}, "RETR 1\r\nDELE 1\r\n", Record(1)},
        {"-ERR\r\n",
         {Message(1, false), Message(2, false), Message(3, false), "bye?\r\n"},
         "RETR 1\r\nRETR 2\r\nRETR 3\r\nQUIT\r\n",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received);
        const bool pipelined = c.capa == kPipelinedLogin;
        Steps s = Greeted(c.capa);
        Exchange(s, {"+OK\r\n", "+OK\r\n", kListing}, pipelined);
        if (pipelined) {
            Exchange(s, {c.replies[0]}, true);                             // UIDL
            for (int n = 1; n <= 3; ++n) s.push_back(Script::ReadLine());  // the RETRs
            s.push_back(Script::Send(c.replies[1] + c.replies[2]));
        } else {
            Exchange(s, c.replies, false);
        }
        s.push_back(Script::ReadToEnd());
        ScriptedPop3Server server(std::move(s));
        std::filesystem::remove(log_);

        EXPECT_EQ(Fast(server.Port()).second.substr(0, 1), "!");
        EXPECT_FALSE(leftOpen_);
        EXPECT_EQ(server.Received(), login + c.received);
        EXPECT_EQ(ReadFileBytes(log_), c.log);
    }
}

// More condemned messages than the window holds. Once half the window is read, the DELEs of
// the messages judged so far go in one write with the RETR that refills it, their records
// written first; the rest go with QUIT once every message is judged. After a refused DELE or
// RETR nothing new goes: the DELEs already sent stand and every deleted message is logged.
TEST_F(FastPassScriptedTest, CondemnedMessagesGoInBatchesWithTheWindowsRefill) {
    const int count = TFastSession::kWindowCommands + 1, half = count / 2;
    struct Case {
        const char* name;
        int refusedRetr;  // 0: none
        int refusedDele;
        int32_t left;
        int logged;  // records 1 to logged, in order
    } cases[] = {{"none refused", 0, 0, 0, count},
                 {"DELE in the first batch refused", 0, 1, count - half + 1, half},
                 {"RETR after the first batch refused", half + 88, 0, count - half, half}};
    const auto lines = [](const char* command, int from, int to) {
        std::string text;
        for (int n = from; n <= to; ++n) text += command + std::to_string(n) + "\r\n";
        return text;
    };
    const auto okOrRefused = [](int n, int refused, const std::string& ok) {
        return n == refused ? std::string("-ERR no ") + std::to_string(n) + "\r\n" : ok;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string listing = "+OK\r\n", retrieved, deleted, records;
        for (int n = 1; n <= count; ++n) {
            listing += std::to_string(n) + " 30\r\n";
            if (n < count) retrieved += okOrRefused(n, c.refusedRetr, Message(n, true));
            if (n <= half) deleted += okOrRefused(n, c.refusedDele, "+OK\r\n");
            if (n <= c.logged) records += Record(n);
        }
        const bool refused = c.refusedRetr || c.refusedDele;
        Steps s = Greeted("+OK\r\nPIPELINING\r\n.\r\n");
        Exchange(s, {"+OK\r\n", "+OK\r\n", listing + ".\r\n"}, true);
        for (int n = 1; n < count; ++n) s.push_back(Script::ReadLine());
        s.push_back(Script::Send(retrieved));
        for (int n = 0; n <= half; ++n) s.push_back(Script::ReadLine());  // DELEs, RETR count
        s.push_back(Script::Send(deleted + Message(count, true)));
        std::string last = "+OK bye\r\n";
        for (int n = half + 1; !refused && n <= count; ++n) {
            s.push_back(Script::ReadLine());
            last = "+OK\r\n" + last;
        }
        Exchange(s, {last}, false);
        ScriptedPop3Server server(std::move(s));
        std::filesystem::remove(log_);

        const auto [left, error] = Fast(server.Port());
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(error,
                  refused ? "!-ERR no " + std::to_string(c.refusedRetr + c.refusedDele) : "");
        EXPECT_TRUE(server.Received() ==
                    "CAPA\r\nUSER joe\r\nPASS pw\r\nLIST\r\n" + lines("RETR ", 1, count - 1) +
                        lines("DELE ", 1, half) + lines("RETR ", count, count) +
                        (refused ? "" : lines("DELE ", half + 1, count)) + "QUIT\r\n");
        EXPECT_TRUE(ReadFileBytes(log_) == records);
        // Every write's lines but its last were sent ahead.
        std::vector<bool> expected(4 + count - 1, true);
        expected[0] = expected[3] = expected.back() = false;
        expected.insert(expected.end(), half, true);
        expected.push_back(false);  // RETR count
        if (!refused) expected.insert(expected.end(), count - half, true);
        expected.push_back(false);  // QUIT
        EXPECT_TRUE(server.Ahead() == expected);
    }
}

// Four messages, 1 kept and 2 to 4 condemned, all RETRs in flight when the server refuses
// RETR 3, or then DELE 3 of the batch that went with QUIT. A message condemned but not yet
// sent for deletion stays, unlogged; the DELEs in flight stand.
TEST_F(FastPassScriptedTest, ARefusalEndsWithTheDeletionsAlreadySent) {
    const char* const listing = "+OK\r\n1 30\r\n2 30\r\n3 30\r\n4 30\r\n.\r\n";
    struct Case {
        std::string retr3;
        std::vector<std::string> deles;  // the replies to DELE 2 to 4; none: not sent
        int32_t left;
        std::string log;
        const char* error;
    } cases[] = {{"-ERR gone\r\n", {}, 4, "", "!-ERR gone"},
                 {Message(3, true),
                  {"+OK\r\n", "-ERR no\r\n", "+OK\r\n"},
                  2,
                  Record(2) + Record(3) + Record(4),
                  "!-ERR no"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.retr3);
        Steps s = Greeted(kPipelinedLogin);
        Exchange(s, {"+OK\r\n", "+OK\r\n", listing, "+OK\r\n1 u1\r\n2 u2\r\n3 u3\r\n4 u4\r\n.\r\n"},
                 true);
        Exchange(s, {Message(1, false), Message(2, true), c.retr3, Message(4, true)}, true);
        std::vector<std::string> replies = c.deles;
        replies.push_back("+OK bye\r\n");
        Exchange(s, replies, true);
        ScriptedPop3Server server(std::move(s));
        std::filesystem::remove(log_);

        const auto [left, error] = Fast(server.Port());
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(server.Received(),
                  "CAPA\r\nUSER joe\r\nPASS pw\r\nLIST\r\nUIDL\r\n"
                  "RETR 1\r\nRETR 2\r\nRETR 3\r\nRETR 4\r\n" +
                      std::string(c.deles.empty() ? "" : "DELE 2\r\nDELE 3\r\nDELE 4\r\n") +
                      "QUIT\r\n");
        EXPECT_EQ(ReadFileBytes(log_), c.log);
        const std::string key = ExaminedRecord::KillListKey({"From: = spam@"});
        EXPECT_EQ(ExaminedRecord::Load(RecordFile(server.Port()), key),
                  std::set<std::string>{"u1"});
    }
}

}  // namespace

// The window the fast check and the dry run both retrieve through.
TEST(RetrievalWindow, BoundsCommandsAndBytesAndRefillsOnceHalfEmpty) {
    const auto fill = [](TRetrievalWindow& window, size_t answered,
                         const std::vector<int64_t>& sizes) {
        std::vector<size_t> sent;
        window.Fill(
            answered, sizes.size(), [&](size_t i) { return sizes[i]; },
            [&](size_t i) { sent.push_back(i); });
        return sent;
    };
    // Without pipelining one retrieval at a time.
    TRetrievalWindow single(false);
    EXPECT_EQ(fill(single, 0, {10, 10}), std::vector<size_t>{0});
    EXPECT_FALSE(single.RefillDue(0, 2));
    single.Answered(10);
    EXPECT_TRUE(single.RefillDue(1, 2));

    // Pipelined: the command bound, refilled once half of it is answered.
    TRetrievalWindow many(true);
    const std::vector<int64_t> tiny(TRetrievalWindow::kCommands + 1, 1);
    EXPECT_EQ(fill(many, 0, tiny).size(), TRetrievalWindow::kCommands);
    EXPECT_FALSE(many.RefillDue(TRetrievalWindow::kCommands / 2 - 1, tiny.size()));
    EXPECT_TRUE(many.RefillDue(TRetrievalWindow::kCommands / 2, tiny.size()));

    // The byte bound: a larger message still goes alone; a negative size counts as none.
    TRetrievalWindow bytes(true);
    const std::vector<int64_t> sizes = {TRetrievalWindow::kBytes + 1, 1, -5};
    EXPECT_EQ(fill(bytes, 0, sizes), std::vector<size_t>{0});
    EXPECT_FALSE(bytes.RefillDue(0, sizes.size()));
    bytes.Answered(sizes[0]);
    EXPECT_TRUE(bytes.RefillDue(1, sizes.size()));
    EXPECT_EQ(fill(bytes, 1, sizes), (std::vector<size_t>{1, 2}));
    EXPECT_FALSE(bytes.RefillDue(1, sizes.size()));  // nothing left to send
}
