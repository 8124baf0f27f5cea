// Test connection's look at an IMAP server against scripted peers: the exact commands of each
// way it goes (never more than EXAMINE on the folder), and what the report says.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "net/imap_probe.h"
#include "support/scripted_pop3_server.h"

namespace {

using S = ScriptedPop3Server;

const S::Step kGreeting = S::Send("* OK [CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN] hi\r\n");
const S::Step kCapabilities =
    S::Send("* CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN IDLE\r\nA1 OK\r\n");

struct ProbeCase {
    const char* name;
    std::vector<S::Step> script;
    bool signIn;
    std::string folder;
    std::string sent;  // every byte the probe sent
    std::function<void(const TProbeReport&)> check;
};

}  // namespace

// Greeting, capabilities, sign-in and the folder's count; a refused login or folder is a
// finding, not a failure, and the session still logs out; without a credential nothing but
// CAPABILITY and LOGOUT is sent; PREAUTH needs no login.
TEST(ImapProbeTest, ExactCommandsAndFindings) {
    const std::string logout = "* BYE\r\n";
    const std::vector<ProbeCase> cases = {
        {"signed in, folder counted",
         {kGreeting, S::ReadLine(), kCapabilities, S::ReadLine(),
          S::Send("A2 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"), S::ReadLine(),
          S::Send("* 12 EXISTS\r\n* OK [UIDVALIDITY 5] v\r\nA3 OK [READ-ONLY] done\r\n"),
          S::ReadLine(), S::Send(logout + "A4 OK\r\n")},
         true,
         "Entw\xC3\xBC rfe",
         "A1 CAPABILITY\r\nA2 LOGIN \"joe\" \"pw\"\r\nA3 EXAMINE \"Entw&APw- rfe\"\r\n"
         "A4 LOGOUT\r\n",
         [](const TProbeReport& r) {
             EXPECT_EQ(r.Greeting, "* OK [CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN] hi");
             EXPECT_EQ(r.Capabilities,
                       (std::vector<std::string>{"IMAP4REV1", "STARTTLS", "AUTH=PLAIN", "IDLE"}));
             EXPECT_TRUE(r.OffersStls);
             EXPECT_TRUE(r.SignInTried);
             EXPECT_EQ(r.SignInRefusal, "");
             EXPECT_EQ(r.Folder, "Entw\xC3\xBC rfe");
             EXPECT_EQ(r.FolderMessages, 12u);
         }},
        {"login refused",
         {kGreeting, S::ReadLine(), kCapabilities, S::ReadLine(),
          S::Send("A2 NO [AUTHENTICATIONFAILED] wrong\r\n"), S::ReadLine(),
          S::Send(logout + "A3 OK\r\n")},
         true,
         "",
         "A1 CAPABILITY\r\nA2 LOGIN \"joe\" \"pw\"\r\nA3 LOGOUT\r\n",
         [](const TProbeReport& r) {
             EXPECT_EQ(r.SignInRefusal, "NO [AUTHENTICATIONFAILED] wrong");
             EXPECT_EQ(r.Folder, "");
         }},
        {"folder refused",
         {kGreeting, S::ReadLine(), kCapabilities, S::ReadLine(), S::Send("A2 OK in\r\n"),
          S::ReadLine(), S::Send("* CAPABILITY IMAP4rev1\r\nA3 OK\r\n"), S::ReadLine(),
          S::Send("A4 NO [NONEXISTENT] no such folder\r\n"), S::ReadLine(),
          S::Send(logout + "A5 OK\r\n")},
         true,
         "Junk",
         "A1 CAPABILITY\r\nA2 LOGIN \"joe\" \"pw\"\r\nA3 CAPABILITY\r\nA4 EXAMINE \"Junk\"\r\n"
         "A5 LOGOUT\r\n",
         [](const TProbeReport& r) {
             EXPECT_EQ(r.Folder, "Junk");
             EXPECT_EQ(r.FolderMessages, std::nullopt);
             EXPECT_EQ(r.FolderRefusal, "NO [NONEXISTENT] no such folder");
         }},
        {"no credential",
         {kGreeting, S::ReadLine(), S::Send("* CAPABILITY IMAP4rev1\r\nA1 OK\r\n"), S::ReadLine(),
          S::Send(logout + "A2 OK\r\n")},
         false,
         "",
         "A1 CAPABILITY\r\nA2 LOGOUT\r\n",
         [](const TProbeReport& r) {
             EXPECT_FALSE(r.SignInTried);
             EXPECT_FALSE(r.OffersStls);
             EXPECT_EQ(r.Folder, "");
         }},
        {"preauth",
         {S::Send("* PREAUTH ready\r\n"), S::ReadLine(),
          S::Send("* CAPABILITY IMAP4rev1\r\nA1 OK\r\n"), S::ReadLine(),
          S::Send("* 0 EXISTS\r\nA2 OK\r\n"), S::ReadLine(), S::Send(logout + "A3 OK\r\n")},
         false,
         "",
         "A1 CAPABILITY\r\nA2 EXAMINE \"INBOX\"\r\nA3 LOGOUT\r\n",
         [](const TProbeReport& r) {
             EXPECT_FALSE(r.SignInTried);
             EXPECT_EQ(r.Folder, "INBOX");
             EXPECT_EQ(r.FolderMessages, 0u);
         }},
    };
    for (const ProbeCase& c : cases) {
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
        c.check(report);
    }
}

// A server that breaks off during the sign-in is a failure of the test, not a finding, and
// the connection is closed.
TEST(ImapProbeTest, ABrokenSessionRaises) {
    S server({kGreeting, S::ReadLine(), kCapabilities, S::ReadLine(), S::Close()});
    TImapProbe probe;
    probe.Hostname = "127.0.0.1";
    probe.Port = server.Port();
    probe.SignIn = true;
    EXPECT_THROW(probe.Run(), EProtocolError);
    EXPECT_EQ(probe.SocketHandle, -1);
}
