#include "app/launcher.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

#include "child_test_support.h"
#include "support/scoped_env.h"

using namespace test_support;
using namespace std::chrono_literals;

namespace {

void RunEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return WaitFor(done, limit, [] {
        RunEvents();
        std::this_thread::sleep_for(10ms);
    });
}

// Script lines that note the start in started, wait (about ten seconds at most) until the test
// creates go, and note the end in ended.
std::string StartWaitEnd(const TempFolder& scratch, const std::string& name) {
    const std::string go = scratch / (name + ".go");
    return "touch '" + scratch / (name + ".started") + "'; i=0; while [ ! -e '" + go +
           "' ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done; touch '" +
           scratch / (name + ".ended") + "'";
}

ELaunchError LaunchFailure(TLauncher& launcher) {
    try {
        launcher.Launch();
    } catch (const ELaunchError& error) {
        return error;
    }
    ADD_FAILURE() << "started " << launcher.ProgramName;
    return ELaunchError(999, "");
}

// A launcher whose finish reports are counted, with a scratch folder for its programs.
class Launcher : public testing::Test {
  protected:
    Launcher() {
        counting = QObject::connect(&launcher, &TLauncher::Finished, [this](TLauncher* from) {
            ++calls;
            sender = from;
        });
    }
    // Puts handler in place of the counting one.
    template <class F>
    void OnFinished(F handler) {
        QObject::disconnect(counting);
        QObject::connect(&launcher, &TLauncher::Finished, handler);
    }
    TempFolder scratch;
    TLauncher launcher;
    int calls = 0;
    TLauncher* sender = nullptr;
    QMetaObject::Connection counting;
};

}  // namespace

TEST(LaunchErrorMessage, OneTextPerCodeEmptyOtherwise) {
    EXPECT_EQ(LaunchErrorMessage(0), "Out of memory or executable file is corrupt");
    EXPECT_EQ(LaunchErrorMessage(5), "Sharing violation or netword error");
    EXPECT_EQ(LaunchErrorMessage(16),
              "Cannot load a second instance of an executable file containing multiple, "
              "non-read-only data segments");
    EXPECT_EQ(LaunchErrorMessage(31), "No association for specified file type");
    for (uint32_t code : {1u, 4u, 7u, 9u, 17u, 22u, 30u, 32u, 259u, 0xFFFFFFFFu})
        EXPECT_EQ(LaunchErrorMessage(code), "") << code;
}

TEST_F(Launcher, DefaultsAndFailedStarts) {
    WriteFile(scratch / "data.vornask-unknown", std::string("\x01\x02\x03\x00\xff", 5));
    const TLauncher fresh;
    EXPECT_TRUE(fresh.ProgramName.empty() && fresh.Parameters.empty() && fresh.StartDir.empty() &&
                !fresh.IsWatching());
    const std::tuple<std::string, uint32_t, const char*> cases[] = {
        {scratch / "missing", 2, "File was not found"},
        {scratch / "missing folder/prog", 3, "Path was not found"},
        {scratch / "data.vornask-unknown", 31, "No association for specified file type"},
    };
    for (const auto& [program, code, message] : cases) {
        launcher.ProgramName = program;
        const ELaunchError error = LaunchFailure(launcher);
        EXPECT_EQ(error.ErrorCode, code) << program;
        EXPECT_EQ(error.Message(), message);
        EXPECT_FALSE(launcher.IsWatching());
    }
}

TEST_F(Launcher, ReportsTheEndOnceAfterItCame) {
    WriteScript(scratch / "waits", StartWaitEnd(scratch, "waits"));
    launcher.ProgramName = scratch / "waits";
    launcher.Launch();
    ASSERT_TRUE(RunUntil([&] { return Exists(scratch / "waits.started"); }, 10s));
    RunUntil([] { return false; }, 1200ms);  // more than a poll period, while it cannot end
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(launcher.IsWatching());
    WriteFile(scratch / "waits.go", "");
    ASSERT_TRUE(RunUntil([&] { return calls > 0; }, 10s));
    EXPECT_TRUE(Exists(scratch / "waits.ended"));
    EXPECT_EQ(sender, &launcher);
    EXPECT_FALSE(launcher.IsWatching());  // no poll left to report it again
    RunEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ZombieChildren(), 0);
}

TEST_F(Launcher, ASecondLaunchReplacesTheWatchedProgram) {
    WriteScript(scratch / "first", StartWaitEnd(scratch, "first"));
    WriteScript(scratch / "second", StartWaitEnd(scratch, "second"));
    bool secondEndedWhenReported = false;
    OnFinished([&](TLauncher*) {
        ++calls;
        secondEndedWhenReported = Exists(scratch / "second.ended");
    });
    launcher.ProgramName = scratch / "first";
    launcher.Launch();
    launcher.ProgramName = scratch / "second";
    launcher.Launch();
    ASSERT_TRUE(RunUntil(
        [&] { return Exists(scratch / "first.started") && Exists(scratch / "second.started"); },
        10s));
    WriteFile(scratch / "second.go", "");
    ASSERT_TRUE(RunUntil([&] { return calls > 0; }, 10s));
    EXPECT_TRUE(secondEndedWhenReported);
    EXPECT_FALSE(launcher.IsWatching());
    // The first program ends later, unreported and reaped all the same.
    WriteFile(scratch / "first.go", "");
    EXPECT_TRUE(RunUntil([&] { return Exists(scratch / "first.ended"); }, 10s));
    EXPECT_TRUE(WaitFor([] { return ZombieChildren() == 0; }, 5s));
    RunEvents();
    EXPECT_EQ(calls, 1);
}

TEST_F(Launcher, FailedLaunchKeepsTheWatch) {
    WriteScript(scratch / "short", "sleep 0.5");
    launcher.ProgramName = scratch / "short";
    launcher.Launch();
    launcher.ProgramName = scratch / "missing";
    EXPECT_EQ(LaunchFailure(launcher).ErrorCode, 2u);
    EXPECT_TRUE(launcher.IsWatching());
    EXPECT_TRUE(RunUntil([&] { return calls == 1; }, 10s));
}

// Also: "exit 259" cannot mean "still running" here (exit statuses have 8 bits; it ends as 3).
TEST_F(Launcher, FinishHandlerMayLaunchAgain) {
    WriteScript(scratch / "quick", "exit 259");
    launcher.ProgramName = scratch / "quick";
    OnFinished([&](TLauncher* sender) {
        if (++calls == 1) sender->Launch();
    });
    launcher.Launch();
    EXPECT_TRUE(RunUntil([&] { return calls == 2; }, 10s));
    EXPECT_FALSE(launcher.IsWatching());
}

int main(int argc, char** argv) {
    // No desktop associations: documents of any type have no application here.
    TempFolder desktop;
    ScopedEnv config("XDG_CONFIG_HOME", desktop.Path());
    ScopedEnv data("XDG_DATA_HOME", desktop.Path());
    ScopedEnv configDirs("XDG_CONFIG_DIRS", desktop.Path());
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
