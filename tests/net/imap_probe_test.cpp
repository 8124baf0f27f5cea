// Test connection's look at an IMAP server against scripted peers: the exact commands of each
// way it goes (never more than EXAMINE on the folder), and what the report says. The whole way
// to a count is the Connection page's test.
#include <gtest/gtest.h>

#include "net/imap_probe.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;

const S::Step kGreeting = S::Send("* OK hi\r\n");
const S::Step kCapabilities = S::Send("* CAPABILITY IMAP4rev1\r\nA1 OK\r\n");
const S::Step kLogout = S::Send("* BYE\r\nA9 OK\r\n");

}  // namespace

// A refused login or folder is a finding, not a failure, and the session still logs out.
TEST(ImapProbeTest, ExactCommandsAndFindings) {
    const struct {
        const char* name;
        std::vector<S::Step> script;
        bool signIn;
        std::string folder;
        std::string sent;  // every byte the probe sent
        std::string signInRefusal, shownFolder, folderRefusal;
        std::optional<uint32_t> count;
    } cases[] = {
        {"login refused",
         {kGreeting, S::ReadLine(), kCapabilities, S::ReadLine(),
          S::Send("A2 NO [AUTHENTICATIONFAILED] wrong\r\n"), S::ReadLine(), kLogout},
         true,
         "",
         "A1 CAPABILITY\r\nA2 LOGIN \"joe\" \"pw\"\r\nA3 LOGOUT\r\n",
         "NO [AUTHENTICATIONFAILED] wrong",
         "",
         "",
         std::nullopt},
        {"folder refused",
         {kGreeting, S::ReadLine(), kCapabilities, S::ReadLine(),
          S::Send("A2 OK [CAPABILITY IMAP4rev1] in\r\n"), S::ReadLine(),
          S::Send("A3 NO [NONEXISTENT] no such folder\r\n"), S::ReadLine(), kLogout},
         true,
         "Junk",
         "A1 CAPABILITY\r\nA2 LOGIN \"joe\" \"pw\"\r\nA3 EXAMINE \"Junk\"\r\nA4 LOGOUT\r\n",
         "",
         "Junk",
         "NO [NONEXISTENT] no such folder",
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        S server(c.script);
        TImapProbe probe;
        probe.Hostname = "127.0.0.1";
        probe.Port = server.Port();
        probe.UserName = "joe";
        probe.Password = "pw";
        probe.SignIn = c.signIn;
        probe.Folder = c.folder;
        const TProbeReport report = probe.Run();
        EXPECT_EQ(server.Received(), c.sent);
        EXPECT_EQ(probe.SocketHandle, -1);
        EXPECT_EQ(report.SignInRefusal, c.signInRefusal);
        EXPECT_EQ(report.Folder, c.shownFolder);
        EXPECT_EQ(report.FolderRefusal, c.folderRefusal);
        EXPECT_EQ(report.FolderMessages, c.count);
    }
}
