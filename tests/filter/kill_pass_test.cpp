// The kill pass against a private Dovecot, and against a scripted peer for the failures a real
// server will not produce on demand.
#include "filter/kill_pass.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "file_size_limit.h"
#include "filter/kill_list_store.h"
#include "net/pop3.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/files.h"
#include "support/pop3_script.h"
#include "support/scoped_env.h"
#include "support/test_values.h"

namespace {

using Script = ScriptedPop3Server;

const std::string kSpamFrom =
    "From: Seller <spam@example.com>\nTo: joe@example.org\nSubject: Hi\n\nBuy.\n";
const std::string kHam =
    "From: Ann <ann@example.org>\nTo: joe@example.org\nSubject: Lunch\n\nNoon?\n";
const std::string kSpamSubject = "From: Bob <bob@example.org>\nSubject: cheap pills\n\nReally.\n";

const char* const kStamp = "[Message has been deleted at 12/06/26 18:01:23]\r\n";

std::string Record(const std::string& message) {
    std::string out = kStamp;
    for (size_t at = 0; at < message.size();) {
        const size_t end = message.find('\n', at);
        out += message.substr(at, end - at) + "\r\n";
        at = end + 1;
    }
    return out;
}

class KillPassTest : public testing::Test {
  protected:
    void Connect(TPop3& pop3, uint16_t port, size_t waiting) {
        pop3.Hostname = "127.0.0.1";
        pop3.Port = port;
        pop3.UserName = "joe";
        pop3.Password = "pw";
        pop3.MailText.assign(waiting, "header line");
        mailCount_ = static_cast<int32_t>(waiting);
    }
    void Pass(TPop3& pop3, const std::string& logFile) {
        KillPass(pop3, registry_, logFile, mailCount_, FixedTime);
    }
    std::string PassError(TPop3& pop3, const std::string& logFile) {
        try {
            Pass(pop3, logFile);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no error";
    }

    ScopedEnv locale_{"LC_ALL", "C"};
    TempFolder folder_;
    TRegistry registry_{folder_ / "registry.reg"};
    int32_t mailCount_ = 0;
};

class KillPassDovecotTest : public KillPassTest {
  protected:
    KillPassDovecotTest() : server_("joe", "pw") {
        for (const std::string* m : {&kSpamFrom, &kHam, &kSpamSubject, &kHam}) server_.Deliver(*m);
    }
    std::vector<std::string> MailboxSubjects() {
        std::vector<std::string> subjects;
        for (const std::string& file : server_.MessageFiles()) {
            const std::string text = ReadFileBytes(file);
            const size_t at = text.find("Subject: ");
            subjects.push_back(text.substr(at + 9, text.find('\n', at) - at - 9));
        }
        std::sort(subjects.begin(), subjects.end());
        return subjects;
    }

    DovecotServer server_;
};

TEST_F(KillPassDovecotTest, DeletesAndLogsCondemnedMessagesOnly) {
    SaveKillList(registry_, {"From: = spam@", "Subject: = cheap"});
    // A browsed path with a blank comes wrapped in quotes; the log is the file inside them.
    const std::string log = folder_ / "deleted mail.log";
    WriteFileBytes(log, "earlier\r\n");
    TPop3 pop3;
    Connect(pop3, server_.Port(), 4);
    Pass(pop3, "\"" + log + "\"");

    EXPECT_EQ(mailCount_, 2);
    EXPECT_EQ(MailboxSubjects(), (std::vector<std::string>{"Lunch", "Lunch"}));
    EXPECT_EQ(ReadFileBytes(log), "earlier\r\n" + Record(kSpamFrom) + Record(kSpamSubject));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "\"deleted mail.log\""));
    EXPECT_EQ(pop3.SocketHandle, -1);  // logged out
    // The last message was kept, so MailText holds it without a stamp.
    EXPECT_EQ(pop3.MailText.front(), "From: Ann <ann@example.org>");
}

TEST_F(KillPassDovecotTest, NoMatchStillCreatesTheLogAndNoLogStillDeletes) {
    const std::string log = folder_ / "new.log";
    TPop3 pop3;
    Connect(pop3, server_.Port(), 4);
    Pass(pop3, log);  // empty kill list
    EXPECT_EQ(mailCount_, 4);
    EXPECT_TRUE(std::filesystem::exists(log));
    EXPECT_EQ(ReadFileBytes(log), "");

    SaveKillList(registry_, {"Subject: = cheap"});
    Connect(pop3, server_.Port(), 4);
    Pass(pop3, "");
    EXPECT_EQ(mailCount_, 3);
    EXPECT_EQ(MailboxSubjects(), (std::vector<std::string>{"Hi", "Lunch", "Lunch"}));
    EXPECT_EQ(ReadFileBytes(log), "");
}

// Spam whose subject is only readable decoded: the box decides, and the log keeps the raw
// message either way.
TEST_F(KillPassDovecotTest, DecodedHeadersCondemnEncodedSpamAndLogTheRawMessage) {
    const std::string encoded =
        "From: =?utf-8?B?U8OkbGxlcg==?= <s@example.com>\nSubject: =?UTF-8?Q?CHEAP?=\n"
        "\t=?UTF-8?B?IHdhdGNoZXM=?=\n\nBuy.\n";
    server_.Deliver(encoded);
    SaveKillList(registry_, {"Subject: = cheap watches"});
    const std::string log = folder_ / "log.txt";
    TPop3 pop3;
    Connect(pop3, server_.Port(), 5);
    Pass(pop3, log);
    EXPECT_EQ(mailCount_, 5);
    EXPECT_EQ(server_.MessageFiles().size(), 5u);

    Connect(pop3, server_.Port(), 5);
    KillPass(pop3, registry_, log, mailCount_, FixedTime, {true, true});
    EXPECT_EQ(mailCount_, 4);
    EXPECT_EQ(MailboxSubjects(), (std::vector<std::string>{"Hi", "Lunch", "Lunch", "cheap pills"}));
    EXPECT_EQ(ReadFileBytes(log), Record(encoded));
}

TEST_F(KillPassDovecotTest, AFullDiskKeepsTheMessage) {
    SaveKillList(registry_, {"From: = spam@"});
    const std::string log = folder_ / "full.log";
    WriteFileBytes(log, "x");
    TPop3 pop3;
    Connect(pop3, server_.Port(), 4);
    {
        FileSizeLimit full(1);
        EXPECT_EQ(PassError(pop3, log), "Stream write error");
    }
    EXPECT_EQ(ReadFileBytes(log), "x");
    EXPECT_EQ(mailCount_, 4);
    EXPECT_EQ(server_.MessageFiles().size(), 4u);
    EXPECT_EQ(pop3.SocketHandle, -1);
}

TEST_F(KillPassTest, ALogThatCannotBeOpenedStopsThePassBeforeAnyConnection) {
    ScriptedPop3Server server({Script::Send("+OK ready\r\n"), Script::ReadToEnd()});
    SaveKillList(registry_, {"From: = spam@"});
    TPop3 pop3;
    Connect(pop3, server.Port(), 1);

    const std::string missing = folder_ / "no such folder/log.txt";
    EXPECT_EQ(PassError(pop3, missing), "Cannot create file " + missing);

    const std::string shared = folder_ / "shared.log";
    WriteFileBytes(shared, "");
    ::chmod(shared.c_str(), 0666);
    EXPECT_EQ(PassError(pop3, shared), "Other users may write to the deletion log " + shared);

    EXPECT_EQ(server.Connections(), 0);
    EXPECT_EQ(mailCount_, 1);
}

TEST_F(KillPassTest, ARefusedDeleteEndsThePassAfterItsRecordAndStillQuits) {
    Steps script = LoginSteps("1 9\r\n2 9\r\n3 9\r\n4 9\r\n");
    for (int n = 1; n <= 3; ++n) {
        script.push_back(Script::ReadLine());
        script.push_back(
            Script::Send("+OK\r\nFrom: spam@x\r\n\r\nbody " + std::to_string(n) + "\r\n.\r\n"));
        script.push_back(Script::ReadLine());
        script.push_back(Script::Send(n < 3 ? "+OK\r\n" : "-ERR no way\r\n"));
    }
    script.push_back(Script::ReadLine());
    script.push_back(Script::Send("+OK bye\r\n"));
    ScriptedPop3Server server(std::move(script));
    SaveKillList(registry_, {"From: = spam@"});
    const std::string log = folder_ / "log.txt";
    TPop3 pop3;
    Connect(pop3, server.Port(), 4);

    try {
        Pass(pop3, log);
        FAIL() << "the refused DELE went unreported";
    } catch (const EProtocolError& e) {
        EXPECT_EQ(e.Message(), "-ERR no way");
        EXPECT_EQ(e.ErrorCode, 500);
    }
    EXPECT_EQ(mailCount_, 2);
    const std::string expected = std::string(kStamp) + "From: spam@x\r\n\r\nbody 1\r\n" + kStamp +
                                 "From: spam@x\r\n\r\nbody 2\r\n" + kStamp +
                                 "From: spam@x\r\n\r\nbody 3\r\n";
    EXPECT_EQ(ReadFileBytes(log), expected);
    EXPECT_EQ(pop3.MailText.front(), std::string(kStamp).substr(0, strlen(kStamp) - 2));
    const std::vector<std::string> lines = server.Lines();
    EXPECT_EQ(lines, (std::vector<std::string>{"USER joe", "PASS pw", "LIST", "RETR 1", "DELE 1",
                                               "RETR 2", "DELE 2", "RETR 3", "DELE 3", "QUIT"}));
}

// Message 2 is listed larger than any reply may be: it is neither retrieved nor deleted, and
// the pass goes on with message 3.
TEST_F(KillPassTest, AMessageListedAboveTheReplyCapIsSkipped) {
    const std::string huge = std::to_string(kMaxReplyBytes + 1);
    ScriptedPop3Server server(
        Then(LoginSteps("1 9\r\n2 " + huge + "\r\n3 9\r\n"),
             {Script::ReadLine(), Script::Send("+OK\r\nFrom: ann@x\r\n.\r\n"), Script::ReadLine(),
              Script::Send("+OK\r\nFrom: spam@x\r\n.\r\n"), Script::ReadLine(),
              Script::Send("+OK\r\n"), Script::ReadLine(), Script::Send("+OK bye\r\n")}));
    SaveKillList(registry_, {"From: = spam@"});
    TPop3 pop3;
    Connect(pop3, server.Port(), 3);
    Pass(pop3, "");
    EXPECT_EQ(mailCount_, 2);
    EXPECT_EQ(server.Lines(), (std::vector<std::string>{"USER joe", "PASS pw", "LIST", "RETR 1",
                                                        "RETR 3", "DELE 3", "QUIT"}));
}

TEST_F(KillPassTest, AFailedQuitOfAnOpenSessionIsTheErrorReported) {
    ScriptedPop3Server server(
        Then(LoginSteps("1 9\r\n"), {Script::ReadLine(), Script::Send("-ERR gone\r\n"),
                                     Script::ReadLine(), Script::Send("-ERR quit refused\r\n")}));
    TPop3 pop3;
    Connect(pop3, server.Port(), 1);
    EXPECT_EQ(PassError(pop3, ""), "-ERR quit refused");
    EXPECT_EQ(mailCount_, 1);
    EXPECT_EQ(server.Lines().back(), "QUIT");
}

// A refused login closes its own connection: there is no session to quit, and the refusal
// is what the caller hears.
TEST_F(KillPassTest, ARefusedLoginIsTheErrorReported) {
    ScriptedPop3Server server({Script::Send("+OK ready\r\n"), Script::ReadLine(),
                               Script::Send("+OK\r\n"), Script::ReadLine(),
                               Script::Send("-ERR [AUTH] Authentication failed.\r\n"),
                               Script::ReadToEnd()});
    TPop3 pop3;
    Connect(pop3, server.Port(), 1);
    EXPECT_EQ(PassError(pop3, ""), "-ERR [AUTH] Authentication failed.");
    EXPECT_EQ(server.Received(), "USER joe\r\nPASS pw\r\n");
}

TEST_F(KillPassTest, WithoutASessionTheOriginalErrorIsKept) {
    TPop3 pop3;
    Connect(pop3, 1, 1);
    pop3.Hostname = "host.invalid";
    EXPECT_EQ(PassError(pop3, ""), "Couldn't resolve hostname host.invalid");
}

}  // namespace
