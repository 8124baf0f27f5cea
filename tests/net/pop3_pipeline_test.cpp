// The pipeline of RETR, DELE and QUIT and the CAPA reader against a scripted peer: what goes
// out in one write, what each reply reads as, and when a failed session is in step again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/pop3_pipeline.h"
#include "support/net_access.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;
using P = TPop3Pipeline;

// A client past the greeting of a server that reads `lines` commands, then plays `replies`
// (and hangs up when `hangUp`).
struct PipelineRun {
    PipelineRun(int lines, const std::string& replies, bool hangUp = false)
        : server(Script(lines, replies, hangUp)), pop(server.Port()) {
        pop.Connect();
        pop.CheckReply();
    }
    ~PipelineRun() { pop.CloseWithoutQuit(); }
    static std::vector<S::Step> Script(int lines, const std::string& replies, bool hangUp) {
        std::vector<S::Step> steps{S::Send("+OK hi\r\n")};
        steps.insert(steps.end(), static_cast<size_t>(lines), S::ReadLine());
        steps.push_back(S::Send(replies));
        steps.push_back(hangUp ? S::Close() : S::ReadToEnd());
        return steps;
    }
    S server;
    TestPop3 pop;
    P pipeline{pop};
};

// One write carries every queued command; each reply reads as its command's outcome, a
// refusal keeps the session in step, and the answered QUIT closes it.
TEST(Pop3PipelineTest, QueuedCommandsGoInOneWriteAndRepliesReadInOrder) {
    PipelineRun run(3, "+OK\r\nSubject: s\r\n.\r\n-ERR no such message\r\n+OK bye\r\n");
    run.pipeline.Retrieve(1);
    run.pipeline.Delete(2);
    run.pipeline.Quit();
    EXPECT_EQ(run.pipeline.Queued(), 3u);
    run.pipeline.Flush();
    EXPECT_EQ(run.pipeline.Owed(), 3u);

    const P::TReply retrieved = run.pipeline.ReadNext();
    EXPECT_EQ(retrieved.Command, P::TCommand::Retrieve);
    EXPECT_EQ(retrieved.Number, 1);
    EXPECT_EQ(retrieved.Outcome, P::TOutcome::Retrieved);
    EXPECT_EQ(run.pop.MailText, TLineBuffer{"Subject: s"});

    const P::TReply refused = run.pipeline.ReadNext();
    EXPECT_EQ(refused.Command, P::TCommand::Delete);
    EXPECT_EQ(refused.Outcome, P::TOutcome::Refused);
    try {
        std::rethrow_exception(refused.Refusal);
    } catch (const EProtocolError& e) {
        EXPECT_EQ(e.ErrorCode, kRefusedReply);
        EXPECT_EQ(e.Message(), "-ERR no such message");
    }

    EXPECT_EQ(run.pipeline.ReadNext().Outcome, P::TOutcome::Done);
    EXPECT_EQ(run.pop.SocketHandle, -1);
    EXPECT_EQ(run.server.Lines(), (std::vector<std::string>{"RETR 1", "DELE 2", "QUIT"}));
    EXPECT_EQ(run.server.Ahead(), (std::vector<bool>{true, true, false}));
}

// After a failure the owed replies are read, refusals included, and the session may end with
// QUIT; a reply that cannot be read, or a QUIT already sent, leaves it out of step.
TEST(Pop3PipelineTest, DrainSaysWhetherTheSessionIsInStepAgain) {
    {
        PipelineRun run(2, "-ERR gone\r\n+OK\r\n");
        run.pipeline.Retrieve(1);
        run.pipeline.Delete(1);
        run.pipeline.Flush();
        run.pipeline.Retrieve(2);  // queued after the failure: never sent
        std::vector<P::TOutcome> seen;
        EXPECT_TRUE(run.pipeline.Drain([&](const P::TReply& r) { seen.push_back(r.Outcome); }));
        EXPECT_EQ(seen, (std::vector<P::TOutcome>{P::TOutcome::Refused, P::TOutcome::Done}));
        EXPECT_EQ(run.pipeline.Queued(), 0u);
    }
    {
        PipelineRun run(2, "+OK\r\ncut", true);
        run.pipeline.Retrieve(1);
        run.pipeline.Retrieve(2);
        run.pipeline.Flush();
        EXPECT_THROW(run.pipeline.ReadNext(), EProtocolError);
        EXPECT_FALSE(run.pipeline.Drain([](const P::TReply&) {}));
    }
    {
        PipelineRun run(2, "+OK\r\n");
        run.pipeline.Delete(1);
        run.pipeline.Quit();
        run.pipeline.Flush();
        EXPECT_FALSE(run.pipeline.Drain([](const P::TReply&) {}));
    }
}

// Every CAPA reader shares one limit: a list longer than any server sends ends the
// connection, as a reply over a bound does, instead of being believed.
TEST(Pop3CapabilitiesTest, OneReaderWithOneLimit) {
    std::string many = "+OK\r\n";
    for (size_t i = 0; i <= TPop3::kMaxCapabilities; ++i) many += "X" + std::to_string(i) + "\r\n";
    const struct {
        std::string reply;
        std::vector<std::string> names;
        bool lost;
    } cases[] = {
        {"+OK\r\nuidl\r\nSASL PLAIN\r\n\r\n.\r\n", {"UIDL", "SASL"}, false},
        {"-ERR no\r\n", {}, false},
        {many + ".\r\n", {}, true},
    };
    for (const auto& c : cases) {
        PipelineRun run(1, c.reply);
        try {
            EXPECT_EQ(run.pop.Capabilities(), c.names) << c.reply.substr(0, 20);
            EXPECT_FALSE(c.lost) << c.reply.substr(0, 20);
        } catch (const EProtocolError& e) {
            EXPECT_TRUE(c.lost && e.ConnectionLost && e.ErrorCode == kBrokenReply);
        }
    }
}

}  // namespace
