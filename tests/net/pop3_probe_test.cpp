// The connection test's probe against scripted peers: what it asks a plain server, how a
// wait is cancelled from another thread, and a pin that is not a fingerprint.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "net/pop3_probe.h"
#include "support/free_port.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;
using Clock = std::chrono::steady_clock;

struct Probe : TPop3Probe {
    explicit Probe(uint16_t port) {
        Hostname = "127.0.0.1";
        Port = port;
    }
};

// A plain probe asks CAPA so that it can advise STARTTLS, and a server that cannot answer it
// still passes.
TEST(ProbeTest, PlainProbeAsksWhetherStlsIsOffered) {
    const struct {
        const char* capa;
        bool offers;
    } cases[] = {
        {"+OK\r\nTOP\r\nstls\r\n.\r\n", true},
        {"+OK\r\nTOP\r\nSTLSX\r\n.\r\n", false},
        {"-ERR what?\r\n", false},
    };
    for (const auto& c : cases) {
        S server({S::Send("+OK ready\r\n"), S::ReadLine(), S::Send(c.capa), S::ReadLine(),
                  S::Send("+OK bye\r\n"), S::ReadToEnd()});
        Probe probe(server.Port());
        const TProbeReport report = probe.Run();
        EXPECT_EQ(report.OffersStls, c.offers) << c.capa;
        EXPECT_EQ(report.Encryption, TEncryption::None);
        EXPECT_EQ(report.Greeting, "+OK ready");
        EXPECT_EQ(server.Lines(), (std::vector<std::string>{"CAPA", "QUIT"})) << c.capa;
    }
}

// A server that accepts and never answers: Cancel from another thread ends the wait at once
// and closes the socket; a probe cancelled before it starts does not connect at all.
TEST(ProbeTest, CancelEndsTheWaitAtOnce) {
    S server({S::ReadToEnd()});
    Probe probe(server.Port());
    auto run = std::async(std::launch::async, [&probe] { probe.Run(); });
    while (server.Connections() == 0) std::this_thread::yield();
    const auto start = Clock::now();
    probe.Cancel();
    ASSERT_EQ(run.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_THROW(run.get(), ETcpIpError);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(server.Received(), "");  // returns once the client has closed

    Probe early(FreeLoopbackPort());
    early.Cancel();
    try {
        early.Run();
        FAIL() << "probed";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.ErrorCode, ECANCELED);
    }
}

// Dropping a pin that does not parse would let the system's store decide instead: the
// connection is refused before any socket is opened, for a check as for the probe.
TEST(ProbeTest, UnreadablePinRefusesBeforeConnecting) {
    for (const char* pin : {"AB:CD", "SHA1 Fingerprint=AB:CD:EF", "xyz"}) {
        std::vector<std::string> trace;
        Probe probe(FreeLoopbackPort());
        probe.Encryption = TEncryption::TlsOnConnect;
        probe.TrustedCertificate = pin;
        probe.OnLog = [&trace](const std::string& text, bool) { trace.push_back(text); };
        try {
            probe.Run();
            ADD_FAILURE() << pin << ": probed";
        } catch (const ETlsError& e) {
            EXPECT_EQ(e.Fault, ETlsError::TFault::UnreadablePin) << pin;
        }
        TPop3 pop;
        pop.Port = probe.Port;
        pop.Hostname = "127.0.0.1";
        pop.TrustedCertificate = pin;
        pop.OnLog = probe.OnLog;
        EXPECT_THROW(pop.Login(), ETlsError) << pin;
        EXPECT_EQ(trace, std::vector<std::string>{}) << pin;  // no socket was opened
    }
}

}  // namespace
