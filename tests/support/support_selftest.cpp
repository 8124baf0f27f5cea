// Checks the helpers themselves with a raw socket client, so later failures point at the code
// under test and not at the fixtures.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/dovecot_server.h"
#include "support/scoped_env.h"
#include "support/scripted_pop3_server.h"

namespace {

class RawClient {
  public:
    explicit RawClient(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() { close(fd_); }
    bool Connected() const { return connected_; }
    void Send(const std::string& s) { send(fd_, s.data(), s.size(), MSG_NOSIGNAL); }
    std::string Line() {
        std::string line;
        char c;
        while (recv(fd_, &c, 1, 0) == 1) {
            line.push_back(c);
            if (c == '\n') break;
        }
        return line;
    }

  private:
    int fd_;
    bool connected_ = false;
};

// A normal user's PATH leaves out /usr/sbin, where Debian puts the server.
TEST(DovecotServerTest, StartsWithANormalUsersPath) {
    ScopedEnv path("PATH", "/usr/local/bin:/usr/bin:/bin");
    EXPECT_NO_THROW(DovecotServer("dave", "pw"));
}

TEST(DovecotServerTest, ServesDeliveredMessagesAndCleansUp) {
    std::string dir;
    {
        DovecotServer server("carol", "pw");
        dir = server.Dir();
        EXPECT_EQ(server.MessageFiles().size(), 0u);
        std::string path = server.Deliver("Subject: one\n\nbody\n");
        ASSERT_EQ(server.MessageFiles(), std::vector<std::string>{path});

        RawClient client(server.Port());
        ASSERT_TRUE(client.Connected());
        EXPECT_EQ(client.Line().substr(0, 3), "+OK");
        client.Send("USER carol\r\nPASS pw\r\nSTAT\r\n");
        client.Line();
        EXPECT_EQ(client.Line(), "+OK Logged in.\r\n");
        EXPECT_EQ(client.Line().substr(0, 6), "+OK 1 ");
        client.Send("QUIT\r\n");
        client.Line();
    }
    EXPECT_FALSE(std::filesystem::exists(dir));
}

TEST(ScriptedPop3ServerTest, PlaysStepsPerConnectionAndRecordsLines) {
    using S = ScriptedPop3Server;
    S server({S::Send("+OK a\r\n"), S::ReadLine(), S::Send("-ERR b\r\n"), S::Close(),
              S::Send("+OK c\r\n"), S::ReadToEnd()});
    {
        RawClient first(server.Port());
        EXPECT_EQ(first.Line(), "+OK a\r\n");
        first.Send("USER x\r\n");
        EXPECT_EQ(first.Line(), "-ERR b\r\n");
        EXPECT_EQ(first.Line(), "");  // closed by the script
    }
    {
        RawClient second(server.Port());
        EXPECT_EQ(second.Line(), "+OK c\r\n");
        second.Send("QUIT\r\n");
    }
    EXPECT_EQ(server.Received(), "USER x\r\nQUIT\r\n");
    EXPECT_EQ(server.Lines(), std::vector<std::string>{"USER x"});
    EXPECT_EQ(server.Connections(), 2);
}

}  // namespace
