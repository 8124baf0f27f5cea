// Runs under tests/support/keyring-session.sh, which says in VORNASK_KEYRING whether the
// private session bus has a keyring ("present") or none ("absent").
#include "platform/keyring.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace std::chrono_literals;

namespace {

std::string Fixture() {
    const char* value = std::getenv("VORNASK_KEYRING");
    return value ? value : "";
}

// What secret-tool finds under the attributes other programs see.
std::string LookUpFromOutside(const std::string& key) {
    const std::string command = "secret-tool lookup server Vornask user '" + key + "'";
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    return text;
}

TEST(KeyringKey, NamesTheAccount) {
    EXPECT_EQ(KeyringKey(TKeyringItem::Password, "alice", "pop.example.com", 995),
              "password:alice@pop.example.com:995");
    EXPECT_EQ(KeyringKey(TKeyringItem::OAuth, "bob@example.com", "::1", 110),
              "oauth:bob@example.com@::1:110");
}

// Write, overwrite, read, remove, and the item then missing; the item is the one other
// programs find under the service name and the key.
TEST(Keyring, RoundTrip) {
    if (Fixture() != "present") GTEST_SKIP() << "needs keyring-session.sh";
    const TKeyring keyring;
    const std::string key = KeyringKey(TKeyringItem::Password, "alice", "127.0.0.1", 2110);
    std::string secret;
    EXPECT_EQ(keyring.Read(key, secret).Status, TKeyringStatus::NotFound);

    ASSERT_TRUE(keyring.Write(key, "first").IsOk());
    ASSERT_TRUE(keyring.Write(key, "p\xC3\xA4ss w\xC3\xB6rd").IsOk());
    const auto read = keyring.Read(key, secret);
    EXPECT_TRUE(read.IsOk()) << read.Message;
    EXPECT_EQ(secret, "p\xC3\xA4ss w\xC3\xB6rd");
    EXPECT_EQ(LookUpFromOutside(key), "p\xC3\xA4ss w\xC3\xB6rd");

    EXPECT_TRUE(keyring.Remove(key).IsOk());
    secret = "untouched";
    const auto gone = keyring.Read(key, secret);
    EXPECT_EQ(gone.Status, TKeyringStatus::NotFound);
    EXPECT_FALSE(gone.Message.empty());
    EXPECT_EQ(secret, "untouched");
}

// No Secret Service on the bus: every call says so at once, with a message, and hands out
// nothing.
TEST(Keyring, UnavailableWithoutService) {
    if (Fixture() != "absent") GTEST_SKIP() << "needs keyring-session.sh --no-keyring";
    const TKeyring keyring;
    const std::string key = KeyringKey(TKeyringItem::OAuth, "alice", "127.0.0.1", 2110);
    const auto start = std::chrono::steady_clock::now();
    std::string secret = "untouched";
    for (const auto& result :
         {keyring.Write(key, "x"), keyring.Read(key, secret), keyring.Remove(key)}) {
        EXPECT_EQ(result.Status, TKeyringStatus::Unavailable);
        EXPECT_NE(result.Message.find("keyring"), std::string::npos) << result.Message;
    }
    EXPECT_EQ(secret, "untouched");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
