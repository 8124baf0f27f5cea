// The connection layer against a scripted loopback peer: line framing, raw receive after a
// line, connection lifecycle, bounds on waiting and on line length, and name resolution.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "net/ip_misc.h"
#include "support/free_port.h"
#include "support/net_access.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

// Keeps test listings readable: the case's name instead of its raw bytes.
void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadLineTest : public testing::TestWithParam<LineCase> {};

// Sent whole and split into one-byte pieces, so both a full and an empty read-ahead are used.
TEST_P(ReadLineTest, FramesLinesOnlyAtCrLf) {
    for (bool bytewise : {false, true}) {
        std::vector<S::Step> script;
        if (bytewise) {
            for (char c : GetParam().bytes) script.push_back(S::Send(std::string(1, c)));
        } else {
            script.push_back(S::Send(GetParam().bytes));
        }
        script.push_back(S::Close());
        S server(script);
        TestConnection conn(server.Port());
        conn.Login();
        std::vector<std::string> lines;
        std::string line = "untouched";
        while (conn.ReadLine(line)) lines.push_back(line);
        EXPECT_EQ(lines, GetParam().lines) << (bytewise ? "bytewise" : "whole");
        EXPECT_EQ(line, lines.empty() ? "untouched" : lines.back()) << "cut line must not land";
        EXPECT_TRUE(conn.IsClosed());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ReadLineTest,
    testing::Values(LineCase{"Mixed", "xyz\r\n\r\nx\ny\r\nx\r\r\n", {"xyz", "", "xy", "x"}},
                    LineCase{"LoneCrDropped", "x\ry\r\n", {"xy"}},
                    LineCase{"NulKept", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
                    LineCase{"LfCrIsNoEnd", "a\n\rb\r\n", {"ab"}},
                    LineCase{"CutLineDropped", "one\r\nxy", {"one"}},
                    LineCase{"NothingAtAll", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionTest, ByteAfterLineStaysForReceive) {
    S server({S::Send("line\r\nAB")});
    TestConnection conn(server.Port());
    conn.Login();
    std::string line;
    ASSERT_TRUE(conn.ReadLine(line));
    char c = 0;
    int count = 0;
    conn.Receive(&c, 1, count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(c, 'A');
    ASSERT_FALSE(conn.ReadLine(line));
    EXPECT_EQ(line, "line");
}

TEST(ConnectionTest, FetchTakesEverythingUntilThePeerCloses) {
    const std::string bytes = "+OK\r\n" + std::string(100000, 'z');
    S server({S::Send(bytes)});
    TestConnection conn(server.Port());
    conn.Fetch();
    EXPECT_EQ(conn.Stream, bytes);
    EXPECT_NE(conn.SocketHandle, -1) << "left open";
}

TEST(ConnectionTest, LifecycleAndSecondLoginClosesFirstSocket) {
    S server({S::ReadToEnd(), S::Close(), S::Send("second\r\n")});
    TestConnection conn(server.Port());
    EXPECT_TRUE(conn.IsClosed());
    conn.Login();
    EXPECT_FALSE(conn.IsClosed());
    conn.SendText("first");
    conn.Login();  // the peer's ReadToEnd only ends when the first socket is closed
    std::string line;
    EXPECT_TRUE(conn.ReadLine(line));
    EXPECT_EQ(line, "second");
    conn.Logout();
    EXPECT_TRUE(conn.IsClosed());
    EXPECT_EQ(conn.SocketHandle, -1);
    EXPECT_EQ(server.Received(), "first");
    EXPECT_EQ(server.Connections(), 2);
}

TEST(ConnectionTest, TracesNameSocketAndByteCounts) {
    S server({S::ReadLine(), S::Send("ok\r\n")});
    TestConnection conn(server.Port());
    std::vector<std::string> traces;
    conn.OnLog = [&](const std::string& text, bool flag) {
        EXPECT_TRUE(flag);
        traces.push_back(text);
    };
    conn.Login();
    const std::string id = std::to_string(conn.SocketHandle);
    conn.SendText("hi\r\n");
    std::string line;
    conn.ReadLine(line);
    conn.Logout();
    EXPECT_EQ(traces, (std::vector<std::string>{
                          "Opened output socket " + std::to_string(server.Port()) +
                              " to host 127.0.0.1 successfully; ID " + id,
                          "Sent 4 bytes on socket ID " + id, "Received 4 bytes on socket ID " + id,
                          "Closed socket ID " + id}));
}

TEST(ConnectionTest, SendIntoClosedPeerDoesNotKillTheProcess) {
    S server({S::Close()});
    TestConnection conn(server.Port());
    conn.Login();
    std::string line;
    EXPECT_FALSE(conn.ReadLine(line));
    const std::string big(1 << 20, 'x');
    for (int i = 0; i < 5; ++i) conn.SendText(big);  // EPIPE, not SIGPIPE
    EXPECT_TRUE(conn.IsClosed());
}

// The second connection reuses the first one's socket number and must be bounded as well.
TEST(ConnectionTest, SilentPeerEndsTheReadLikeAClose) {
    S server({S::Send("one\r\n"), S::ReadToEnd(), S::Close(), S::ReadToEnd()});
    TestConnection conn(server.Port());
    conn.ReceiveTimeoutMs = 200;
    std::string line;
    conn.Login();
    ASSERT_TRUE(conn.ReadLine(line));
    conn.Logout();
    conn.Login();
    line = "old";
    const auto start = Clock::now();
    EXPECT_FALSE(conn.ReadLine(line));
    EXPECT_FALSE(conn.ReadLine(line));  // the connection stays ended: no second wait
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_EQ(line, "old");
    EXPECT_TRUE(conn.IsClosed());
}

// Dropped line ends count toward the line bound as much as kept text.
TEST(ConnectionTest, OverlongLineDropsTheConnection) {
    for (const std::string& first : {std::string(5000, 'a'), std::string(3000, '\n') + "x"}) {
        S server({S::Send(first + "\r\nnext\r\n"), S::ReadToEnd()});
        TestConnection conn(server.Port());
        conn.MaxLineLength = 1000;
        conn.Login();
        std::string line = "old";
        EXPECT_FALSE(conn.ReadLine(line));
        EXPECT_EQ(line, "old");
        EXPECT_TRUE(conn.IsClosed());
        EXPECT_FALSE(conn.ReadLine(line)) << "nothing after the drop";
    }
}

TEST(ConnectionTest, ManyLinesNeedFewReceiveCalls) {
    std::string bytes;
    for (int i = 0; i < 2000; ++i) bytes += "line number " + std::to_string(i) + "\r\n";
    S server({S::Send(bytes)});
    TestConnection conn(server.Port());
    conn.Login();
    std::string line;
    int lines = 0;
    while (conn.ReadLine(line)) ++lines;
    EXPECT_EQ(lines, 2000);
    EXPECT_LT(conn.ReceiveCalls, 2000u / 10);
}

// The socket of the failed connect is closed (and traced) before the failure is traced.
TEST(ConnectionTest, RefusedPortRaisesSocketError) {
    const uint16_t port = FreeLoopbackPort();
    TestConnection conn(port);
    std::vector<std::string> traces;
    conn.OnLog = [&](const std::string& text, bool) { traces.push_back(text); };
    try {
        conn.Login();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.Message(), "Error creating socket");
        EXPECT_EQ(e.ErrorCode, ECONNREFUSED);
    }
    EXPECT_EQ(conn.SocketHandle, -1);
    EXPECT_TRUE(conn.IsClosed());
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_TRUE(traces[0].starts_with("Closed socket ID ")) << traces[0];
    EXPECT_EQ(traces[1],
              "Failed to open output socket " + std::to_string(port) + " to host 127.0.0.1");
}

// A listener whose one-slot backlog is already full leaves further connects unanswered.
TEST(ConnectionTest, UnansweredConnectFailsAfterTheBound) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    TestConnection filler(ntohs(addr.sin_port));
    filler.Login();
    TestConnection conn(ntohs(addr.sin_port));
    conn.ConnectTimeoutMs = 300;
    const auto start = Clock::now();
    EXPECT_THROW(conn.Login(), ESocketError);
    EXPECT_LT(SecondsSince(start), 10.0);
    EXPECT_EQ(conn.SocketHandle, -1);
    close(listener);
}

// A number no encryption has (a newer version's, a damaged value) is refused before any
// connect: taken for plain text it would send the password in clear.
TEST(ConnectionTest, UnknownEncryptionIsRefusedBeforeConnecting) {
    S server({S::Send("+OK hi\r\n"), S::ReadLine(), S::Send("+OK\r\n"), S::ReadLine()});
    TestPop3 pop3(server.Port());
    pop3.Encryption = static_cast<TEncryption>(3);
    EXPECT_THROW(pop3.Login(), EEncryptionError);
    EXPECT_EQ(pop3.SocketHandle, -1);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_THROW(UsualPort(static_cast<TEncryption>(-1)), EEncryptionError);
    EXPECT_THROW(EncryptionFromNumber(3), EEncryptionError);
    EXPECT_EQ(EncryptionFromNumber(2), TEncryption::TlsOnConnect);
}

TEST(ResolveTest, NamesAndAddresses) {
    EXPECT_EQ(ResolveHost(""), 0xFFFFFFFFu);
    EXPECT_EQ(ResolveHost("192.168.1.5"), inet_addr("192.168.1.5"));
    EXPECT_EQ(IpToStr(ResolveHost("192.168.1.5")), "192.168.1.5");
    EXPECT_EQ(IpToStr(ResolveHost("localhost")), "127.0.0.1");
    EXPECT_EQ(ResolveHost("no-such-host.invalid"), 0xFFFFFFFFu);
    EXPECT_EQ(IpToStr(htonl(0x0A000001)), "10.0.0.1");
}

TEST(ResolveTest, UnresolvableNameFailsLoginWithoutTouchingTheSocket) {
    for (const std::string name : {"", "no-such-host.invalid"}) {
        TestConnection conn(110);
        conn.Hostname = name;
        try {
            conn.Login();
            FAIL() << "no error for '" << name << "'";
        } catch (const ESocketError&) {
            FAIL() << "wrong class";
        } catch (const ETcpIpError& e) {
            EXPECT_EQ(e.Message(), "Couldn't resolve hostname " + name);
        }
        EXPECT_EQ(conn.Address, 0xFFFFFFFFu);
        EXPECT_EQ(conn.SocketHandle, -1);
    }
}

}  // namespace
