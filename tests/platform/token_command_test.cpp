#include "platform/token_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "child_test_support.h"

using namespace std::chrono_literals;
using test_support::WriteScript;

namespace {

// The message the command fails with, or a test failure when it succeeds.
std::string FailureOf(const std::string& line, std::chrono::milliseconds limit = 5s) {
    try {
        RunTokenCommand(line, limit);
        ADD_FAILURE() << "no failure";
    } catch (const ETokenCommandError& e) {
        return e.Message();
    }
    return {};
}

struct TokenCase {
    const char* name;
    const char* script;  // body of the helper, called with the word "a b" as $1
    const char* token;   // expected token, or null when it must fail
    const char* error;   // expected message when it fails
};

const TokenCase Cases[] = {
    {"first line, blanks and CR trimmed", "printf '  tok-%s\\r\\nsecond\\n' \"$1\"", "tok-a b",
     nullptr},
    {"large output is drained", "yes tok | head -c 1000000", "tok", nullptr},
    {"failing, with its stderr", "echo 'no such account' >&2; echo 'more' >&2; exit 3", nullptr,
     "The token command failed (exit 3): no such account"},
    {"failing, silent", "exit 4", nullptr, "The token command failed (exit 4)"},
    {"killed by a signal", "kill -TERM $$", nullptr, "The token command failed (signal 15)"},
    {"no output", "echo 'not logged in' >&2", nullptr,
     "The token command printed no token: not logged in"},
    {"empty first line", "echo; echo tok", nullptr, "The token command printed no token"},
};

TEST(TokenCommand, OutcomesOfTheHelper) {
    TempFolder folder;
    const std::string helper = folder / "helper";
    for (const auto& c : Cases) {
        SCOPED_TRACE(c.name);
        WriteScript(helper, c.script);
        const std::string line = "'" + helper + "' 'a b'";
        if (c.token)
            EXPECT_EQ(RunTokenCommand(line, 5s), c.token);
        else
            EXPECT_EQ(FailureOf(line), c.error);
    }
    EXPECT_EQ(test_support::ZombieChildren(), 0);
}

TEST(TokenCommand, ThatCannotStartSaysWhy) {
    EXPECT_EQ(FailureOf("/nonexistent/token-helper --user x"),
              "The token command could not be started: /nonexistent/token-helper: No such file "
              "or directory");
    EXPECT_THROW(RunTokenCommand("   "), ETokenCommandError);
}

// A helper that hangs is ended with what it started, within the bound, and leaves no zombie.
TEST(TokenCommand, TimeOutKillsTheWholeCommand) {
    TempFolder folder;
    WriteScript(folder / "helper", "echo 'waiting for the agent' >&2; sleep infinity & echo $! >'" +
                                       folder / "pid" + "'; wait");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf(folder / "helper", 300ms),
              "The token command did not finish within 300 ms: waiting for the agent");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(test_support::ZombieChildren(), 0);
    const std::string sleeper = ReadFileBytes(folder / "pid");
    ASSERT_FALSE(sleeper.empty());
    // Killed: gone, or a zombie until init reaps it.
    const std::string statPath = "/proc/" + std::to_string(std::stoi(sleeper)) + "/stat";
    EXPECT_TRUE(test_support::WaitFor(
        [&] {
            const std::string stat = ReadFileBytes(statPath);
            return stat.empty() || stat.find(") Z ") != std::string::npos;
        },
        5s));
}

}  // namespace
