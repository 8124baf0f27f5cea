// The pipeline against a scripted peer: when a failed session is in step again, and the CAPA
// reader. What goes out in one write and what each reply reads as: fast_pass_test.
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

// After a failure the owed replies are read, refusals included, and the session may end with
// QUIT; a reply that cannot be read, or a QUIT already sent, leaves it out of step.
TEST(Pop3PipelineTest, DrainSaysWhetherTheSessionIsInStepAgain) {
    const struct {
        std::string replies;
        bool hangUp, quit, inStep;
        std::vector<P::TOutcome> seen;
    } cases[] = {
        {"-ERR gone\r\n+OK\r\n", false, false, true, {P::TOutcome::Refused, P::TOutcome::Done}},
        {"+OK\r\ncut", true, false, false, {}},
        {"+OK\r\n", false, true, false, {}},
    };
    for (const auto& c : cases) {
        PipelineRun run(2, c.replies, c.hangUp);
        run.pipeline.Retrieve(1);
        c.quit ? run.pipeline.Quit() : run.pipeline.Delete(1);
        run.pipeline.Flush();
        run.pipeline.Retrieve(2);  // queued after the failure: never sent
        if (c.hangUp) {
            EXPECT_THROW(run.pipeline.ReadNext(), EProtocolError);
        }
        std::vector<P::TOutcome> seen;
        EXPECT_EQ(run.pipeline.Drain([&](const P::TReply& r) { seen.push_back(r.Outcome); }),
                  c.inStep);
        EXPECT_EQ(run.pipeline.Queued(), 0u);
        EXPECT_EQ(seen, c.seen);
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
