// `vornask --check`, the real program without a display, against a private Dovecot. Runs under
// tests/support/keyring-session.sh, whose private home holds the hive the test writes and whose
// keyring holds the remembered password.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include "app/credential_source.h"
#include "app/keyring_record.h"
#include "app/settings.h"
#include "base/string_list.h"
#include "filter/kill_list_store.h"
#include "platform/keyring.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/files.h"
#include "support/oauth_server.h"

namespace {

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
    bool operator==(const TRun&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const TRun& run) {
        return out << run.Status << ", out: " << testing::PrintToString(run.Out)
                   << ", err: " << testing::PrintToString(run.Err);
    }
};

std::string Mail(const std::string& subject) {
    return "From: sender@example.org\nTo: vornask@example.org\nSubject: " + subject +
           "\n\nHello.\n";
}

class CheckCommand : public ::testing::Test {
  protected:
    // Settings pointing at the server, with a log.
    TSettings Settings(bool fastCheck = false) const {
        TSettings settings;
        settings.Mailboxes[0].Connection.Host = "127.0.0.1";
        settings.Mailboxes[0].Connection.Port = server.Port();
        settings.Mailboxes[0].User = server.User();
        settings.LogFile = logFile;
        settings.Mailboxes[0].FastCheck = fastCheck;
        return settings;
    }
    // The hive the program loads: the settings and one rule.
    static void WriteHive(const TSettings& settings) {
        TRegistry registry;
        SaveSettings(registry, settings);
        SaveKillList(registry, {"Subject: = cheap"});
    }

    // Keeps secret as the account's item of that kind; an empty secret removes the item.
    void Remember(TKeyringItem item, const std::string& secret) {
        const std::string key = KeyringKey(item, server.User(), "127.0.0.1", server.Port());
        if (secret.empty())
            TKeyring().Remove(key);
        else
            ASSERT_TRUE(TKeyring().Write(key, secret).IsOk());
    }
    void RememberPassword(const std::string& password) {
        Remember(TKeyringItem::Password, RecordText(TPasswordRecord{password, false}));
    }

    // Runs the program with no display; input, when given, is its standard input. A session
    // bus address, when given, replaces the keyring's.
    static TRun Check(const QStringList& arguments, const std::string& input = {},
                      const QString& bus = {}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        if (!bus.isEmpty()) environment.insert("DBUS_SESSION_BUS_ADDRESS", bus);
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VORNASK_PROGRAM), arguments);
        program.write(input.data(), static_cast<qint64>(input.size()));
        program.closeWriteChannel();
        if (!program.waitForFinished(60000)) program.kill();
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                program.readAllStandardOutput().toStdString(),
                program.readAllStandardError().toStdString()};
    }

    DovecotServer server;
    std::string logFile = server.Dir() + "/deleted.log";
};

// The remembered password, both kinds of check: the spam deleted and logged as the tray's check
// does it, the rest left, the tooltip's text on stdout.
TEST_F(CheckCommand, RemembersPasswordDeletesAndLogsSpam) {
    if (std::getenv("VORNASK_KEYRING") != std::string("present"))
        GTEST_SKIP() << "needs keyring-session.sh";
    RememberPassword(server.Password());
    for (const bool fastCheck : {false, true}) {
        SCOPED_TRACE(fastCheck ? "fast check" : "classic check");
        WriteHive(Settings(fastCheck));
        server.Deliver(Mail("cheap watches"));
        server.Deliver(Mail("minutes of the meeting"));

        EXPECT_EQ(Check({"--check"}),
                  (TRun{0, "You have mail!\n1 message waiting, 1 deleted.\n", ""}));
        const auto left = server.MessageFiles();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_NE(ReadFileBytes(left[0]).find("minutes of the meeting"), std::string::npos);
        const std::string log = ReadFileBytes(logFile);
        EXPECT_NE(log.find("[Message has been deleted at"), std::string::npos) << log;
        EXPECT_NE(log.find("Subject: cheap watches\r\n"), std::string::npos) << log;

        std::remove(left[0].c_str());
        std::remove(logFile.c_str());
    }
}

// --password-stdin takes the first line, its CR LF trimmed; a refused password fails with the
// server's words on stderr and deletes nothing.
TEST_F(CheckCommand, PasswordFromStandardInput) {
    WriteHive(Settings());
    EXPECT_EQ(Check({"--check", "--password-stdin"}, server.Password() + "\r\nrest\n"),
              (TRun{0, "No mail.\n0 messages waiting, 0 deleted.\n", ""}));

    server.Deliver(Mail("cheap watches"));
    EXPECT_EQ(Check({"--check", "--password-stdin"}, "not-the-password\n"),
              (TRun{1, "", "-ERR [AUTH] Authentication failed.\n"}));
    EXPECT_EQ(server.MessageFiles().size(), 1u);
    EXPECT_EQ(ReadFileBytes(logFile), "");

    EXPECT_EQ(Check({"--check", "--password-stdin"}),
              (TRun{1, "", "No password on standard input.\n"}));
}

// Three mailboxes, POP3 and IMAP, each with a typed password: all checked at once, the spam of
// each deleted (expunged on IMAP) and logged; the totals of what is left (the unseen messages on
// IMAP) and deleted, then a line each in mailbox order. A refusal in one fails the command but not
// the others' checks, and a refused IMAP login reads as the server's words without its tag;
// --mailbox checks one as a single mailbox is checked; an unknown one is a mistake on the command
// line.
TEST_F(CheckCommand, SeveralMailboxes) {
    DovecotServer home("home", "homepw");
    DovecotOptions options;
    options.imap = true;
    DovecotServer imap("imapuser", "imappw", options);
    TSettings settings = Settings();
    settings.Mailboxes[0].Name = "work";
    settings.Mailboxes.resize(3);
    const auto aim = [](TMailbox& mailbox, uint16_t port, const std::string& user) {
        mailbox.Connection.Host = "127.0.0.1";
        mailbox.Connection.Port = port;
        mailbox.User = user;
    };
    aim(settings.Mailboxes[1], home.Port(), home.User());
    aim(settings.Mailboxes[2], imap.ImapPort(), imap.User());
    settings.Mailboxes[2].Name = "imap";
    settings.Mailboxes[2].Connection.Protocol = TMailProtocol::Imap;
    WriteHive(settings);
    server.Deliver(Mail("cheap watches"));
    server.Deliver(Mail("minutes of the meeting"));
    home.Deliver(Mail("cheap pills"));
    imap.Deliver(Mail("cheap tickets"));
    imap.Deliver(Mail("agenda"));

    EXPECT_EQ(Check({"--check", "--password-stdin"}, "secret\nhomepw\nimappw\n"),
              (TRun{0,
                    "You have mail!\n2 messages waiting, 3 deleted.\nwork: 1 waiting, 1 deleted.\n"
                    "home@127.0.0.1: 0 waiting, 1 deleted.\nimap: 1 waiting, 1 deleted.\n",
                    ""}));
    EXPECT_EQ(server.MessageFiles().size(), 1u);
    EXPECT_EQ(home.MessageFiles().size(), 0u);
    const auto left = imap.MessageFiles();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(ReadFileBytes(left[0]).find("agenda"), std::string::npos);
    const std::string log = ReadFileBytes(logFile);
    for (const char* subject : {"cheap watches", "cheap pills", "cheap tickets"})
        EXPECT_NE(log.find("Subject: " + std::string(subject) + "\r\n"), std::string::npos) << log;

    home.Deliver(Mail("cheap pills"));
    const std::string failure = "home@127.0.0.1: -ERR [AUTH] Authentication failed.\n";
    EXPECT_EQ(
        Check({"--check", "--password-stdin"}, "secret\nwrong\nimappw\n"),
        (TRun{1,
              "You have mail!\n2 messages waiting, 0 deleted.\nwork: 1 waiting, 0 deleted.\n" +
                  failure + "imap: 1 waiting, 0 deleted.\n",
              failure}));
    EXPECT_EQ(home.MessageFiles().size(), 1u);

    EXPECT_EQ(Check({"--check", "--password-stdin", "--mailbox", "home@127.0.0.1"}, "homepw\n"),
              (TRun{0, "No mail.\n0 messages waiting, 1 deleted.\n", ""}));
    const TRun refused = Check({"--check", "--password-stdin"}, "secret\nhomepw\nwrong\n");
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err, "imap: NO [AUTHENTICATIONFAILED] Authentication failed.\n");
    EXPECT_EQ(Check({"--check", "--mailbox", "nowhere"}),
              (TRun{2, "",
                    "vornask: No mailbox is named 'nowhere'.\n"
                    "Try 'vornask --help' for more information.\n"}));
}

// Nothing remembered and nothing given: a clear failure, not the server's refusal of an empty
// password. No stored settings at all: the same, not the resolver's word on an empty name.
TEST_F(CheckCommand, NothingSetUp) {
    std::remove(TRegistry::DefaultHivePath().c_str());
    EXPECT_EQ(Check({"--check"}),
              (TRun{1, "", "No mail server is set: enter it in Mail Options.\n"}));
    WriteHive(Settings());
    EXPECT_EQ(Check({"--check"}), (TRun{1, "", std::string(kNoRememberedPasswordText) + "\n"}));
}

// What a check without a typed credential finds in the keyring, and what it says when that is
// nothing it may use. A refresh token the provider refused is forgotten.
TEST_F(CheckCommand, WhatTheKeyringHolds) {
    if (std::getenv("VORNASK_KEYRING") != std::string("present"))
        GTEST_SKIP() << "needs keyring-session.sh";
    const OAuthServer oauth({"--revoked-refresh", "rt-revoked"});
    const std::string signIn =
        RecordText(TSignInRecord{"rt-revoked", oauth.Url("/token"), "vornask-test"});
    const std::string plainPassword = RecordText(TPasswordRecord{server.Password(), false});
    struct Row {
        const char* name;
        bool oauth;
        std::string secret;  // of the item of the row's kind; empty: none
        std::string err;     // less its end of line
        QString bus;
    };
    const std::vector<Row> rows{
        {"nothing remembered", false, "", kNoRememberedPasswordText, {}},
        {"an older plain secret", false, server.Password(), kNoRememberedPasswordText, {}},
        {"kept for encryption, now plain",
         false,
         RecordText(TPasswordRecord{server.Password(), true}),
         kEncryptedOnlyText,
         {}},
        {"not signed in", true, "", kCheckNotSignedInText, {}},
        {"refresh refused",
         true,
         signIn,
         "Sign in again.\nThe provider refused the saved sign-in.",
         {}},
        {"no keyring", false, plainPassword, "", "unix:path=/nonexistent"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TSettings settings = Settings();
        if (row.oauth) {
            settings.Mailboxes[0].Connection.Authentication = TAuthentication::OAuth2;
            settings.Mailboxes[0].Connection.Encryption = TEncryption::Stls;
            settings.Mailboxes[0].OAuth = {
                oauth.Url("/authorize"), oauth.Url("/token"), "mail", "vornask-test", "", ""};
        }
        WriteHive(settings);
        const TKeyringItem item = row.oauth ? TKeyringItem::OAuth : TKeyringItem::Password;
        Remember(item, row.secret);
        server.Deliver(Mail("cheap watches"));
        const TRun run = Check({"--check"}, {}, row.bus);
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Out, "");
        if (row.bus.isEmpty())
            EXPECT_EQ(run.Err, row.err + "\n");
        else  // the reason is the keyring's own
            EXPECT_TRUE(run.Err.starts_with("The desktop keyring is not available (") &&
                        run.Err.ends_with("): use --password-stdin.\n"))
                << run.Err;
        EXPECT_EQ(server.MessageFiles().size(), 1u);
        std::remove(server.MessageFiles()[0].c_str());
    }
    std::string left;
    EXPECT_EQ(
        TKeyring()
            .Read(KeyringKey(TKeyringItem::OAuth, server.User(), "127.0.0.1", server.Port()), left)
            .Status,
        TKeyringStatus::NotFound);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);  // the keyring waits in an event loop
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
