#include <fcntl.h>
#include <gtest/gtest.h>

#include <list>

#include <csignal>

#include "child_test_support.h"
#include "platform/process_start.h"
#include "platform/shell_words.h"
#include "support/scoped_env.h"

using namespace test_support;
using namespace std::chrono_literals;

namespace {

// Desktop associations of this test run: text/plain opens with a recording viewer script.
TempFolder* desktop = nullptr;
std::list<ScopedEnv> environment;  // what this run changed, put back at its end

std::string ViewerLog() {
    return *desktop / "viewer.log";
}

void SetUpDesktop() {
    desktop = new TempFolder;
    const std::string viewer = *desktop / "bin/viewer";
    WriteScript(viewer, "printf '%s\\n' \"$PWD\" \"$@\" > '" + ViewerLog() + "'");
    WriteFile(*desktop / "config/mimeapps.list",
              "[Default Applications]\ntext/plain=vornask-test-viewer.desktop\n");
    WriteFile(*desktop / "data/applications/vornask-test-viewer.desktop",
              "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + viewer + " %f\n");
    environment.emplace_back("XDG_CONFIG_HOME", *desktop / "config");
    environment.emplace_back("XDG_DATA_HOME", *desktop / "data");
    environment.emplace_back("XDG_DATA_DIRS",
                             "/usr/share");  // the MIME database, but no system defaults
    environment.emplace_back("XDG_CONFIG_DIRS", *desktop / "none");
}

TChildProcess Start(const std::string& file, const std::string& parameters = {},
                    const std::string& folder = {}) {
    return StartProgramOrDocument({file, parameters, folder});
}

bool EndsSoon(TChildProcess& child) {
    return WaitFor([&] { return child.HasEnded(); }, 10s);
}

uint32_t FailureCode(const TStartRequest& request) {
    try {
        StartProgramOrDocument(request);
    } catch (const EStartFailed& failure) {
        return failure.Code;
    }
    ADD_FAILURE() << "started: " << request.file;
    return 999;
}

}  // namespace

TEST(ShellWords, SplitLikeAShell) {
    struct Case {
        const char* text;
        std::vector<std::string> words;
    } cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"a b\t\tc ", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"'a \"b\" \\x' c", {"a \"b\" \\x", "c"}},
        {"a\\ b \\'", {"a b", "'"}},
        {R"("x\"y\\z\$ \n")", {R"(x"y\z$ \n)"}},
        {"a\"b c\"d", {"ab cd"}},
        {"'' \"\"", {"", ""}},
        {"\"left open", {"left open"}},
        {"--to=me 'two  blanks'", {"--to=me", "two  blanks"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitShellWords(c.text), c.words) << c.text;
}

TEST(StartFailure, CodesTellWhatWentWrong) {
    TempFolder scratch;
    WriteFile(scratch / "garbage", std::string("\x7f\x01\x02 not a program", 17), 0755);
    WriteScript(scratch / "ok", "exit 0");
    struct Case {
        TStartRequest request;
        uint32_t code;
    } cases[] = {
        {{scratch / "missing", "", ""}, 2},
        {{"\"" + scratch / "missing" + "\"", "", ""}, 2},
        {{"", "", ""}, 2},
        {{"\"\"", "", ""}, 2},
        {{"vornask-no-such-command-anywhere", "", ""}, 2},
        {{scratch / "no folder/prog", "", ""}, 3},
        {{scratch / "ok", "", scratch / "no folder"}, 3},
        {{scratch / "ok", "", scratch / "ok"}, 3},
        {{scratch / "garbage", "", ""}, 11},
    };
    for (const auto& c : cases) EXPECT_EQ(FailureCode(c.request), c.code) << c.request.file;
    EXPECT_EQ(ZombieChildren(), 0);  // the failed exec's child was reaped
}

TEST(StartProgram, GetsWordsFolderAndACleanStart) {
    TempFolder scratch;
    const std::string log = scratch / "log";
    // Working folder, arguments, then: session id, SIGPIPE ignored?, open descriptors.
    WriteScript(scratch / "my programs/report",
                "{ echo \"$PWD\"; for a in \"$@\"; do echo \"[$a]\"; done;"
                " cut -d' ' -f6 /proc/$$/stat; echo $$;"
                " grep SigIgn /proc/$$/status; ls /proc/$$/fd; } > '" +
                    log + "'");
    const int leaked = open("/dev/null", O_RDONLY);  // not close-on-exec
    auto child = Start("\"" + scratch / "my programs/report" + "\"", "one \"two words\" 'three'",
                       scratch.Path());
    close(leaked);
    ASSERT_TRUE(EndsSoon(child));
    std::istringstream out(ReadFileBytes(log));
    std::string line, session, pid, ignored;
    std::getline(out, line);
    EXPECT_EQ(line, scratch.Path());
    for (const char* word : {"[one]", "[two words]", "[three]"}) {
        std::getline(out, line);
        EXPECT_EQ(line, word);
    }
    std::getline(out, session);
    std::getline(out, pid);
    EXPECT_EQ(session, pid) << "runs in a session of its own";
    std::getline(out, ignored);
    const unsigned long mask = std::stoul(ignored.substr(ignored.find(':') + 1), nullptr, 16);
    EXPECT_EQ(mask & (1UL << (SIGPIPE - 1)), 0UL) << "SIGPIPE not ignored in the child";
    std::string fds;
    while (std::getline(out, line)) fds += line + " ";
    EXPECT_EQ(fds.find(" " + std::to_string(leaked) + " "), std::string::npos) << fds;
}

TEST(StartProgram, BareNameIsFoundOnPath) {
    TempFolder scratch;
    WriteScript(scratch / "bin/vornask-test-tool", "touch '" + scratch / "ran" + "'");
    std::optional<ScopedEnv> path(std::in_place, "PATH", scratch / "bin:" + std::getenv("PATH"));
    auto child = Start("vornask-test-tool");
    path.reset();
    ASSERT_TRUE(EndsSoon(child));
    EXPECT_TRUE(Exists(scratch / "ran"));
}

TEST(StartDocument, OpensWithTheDefaultApplication) {
    TempFolder scratch;
    WriteFile(scratch / "notes with blank.txt", "hello\n");
    std::filesystem::remove(ViewerLog());
    auto child = Start("\"" + scratch / "notes with blank.txt" + "\"", "", scratch.Path());
    EXPECT_GT(child.Pid(), 0);
    ASSERT_TRUE(EndsSoon(child));
    EXPECT_EQ(ReadFileBytes(ViewerLog()),
              scratch.Path() + "\n" + scratch / "notes with blank.txt\n");
    EXPECT_EQ(ZombieChildren(), 0);
}

// Whether no application is registered or the registered one will not start, the user is told
// there is no usable association (not a corrupt executable).
TEST(StartDocument, NoApplicationOrOneThatWillNotStartIsCode31) {
    TempFolder scratch;
    WriteFile(scratch / "data.vornask-unknown", std::string("\x01\x02\x03\x00\xff", 5));
    EXPECT_EQ(FailureCode({scratch / "data.vornask-unknown", "", ""}), 31u);
    WriteFile(scratch / "notes.txt", "hello\n");
    // GLib picks its launch helper once per process: the failing one is tried in a fresh one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto failingStart = [&] {
        setenv("GIO_LAUNCH_DESKTOP", "/nonexistent/launcher", 1);
        setenv("PATH", "/nonexistent", 1);
        std::exit(static_cast<int>(FailureCode({scratch / "notes.txt", "", ""})));
    };
    EXPECT_EXIT(failingStart(), testing::ExitedWithCode(31), "");
}

TEST(ChildProcess, ReapedWhetherWatchedOrDropped) {
    TempFolder scratch;
    WriteScript(scratch / "short", "exit 3");
    WriteScript(scratch / "longer", "sleep 0.5; touch '" + scratch / "done" + "'");
    auto watched = Start(scratch / "short");
    ASSERT_TRUE(EndsSoon(watched));
    EXPECT_TRUE(watched.HasEnded()) << "stays ended";
    {
        auto dropped = Start(scratch / "longer");
        EXPECT_FALSE(dropped.HasEnded());
    }  // dropped while running: it goes on and is reaped in the background
    EXPECT_TRUE(WaitFor([&] { return Exists(scratch / "done"); }, 10s));
    EXPECT_TRUE(WaitFor([] { return ZombieChildren() == 0; }, 5s));
}

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);  // as in the program itself
    SetUpDesktop();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    delete desktop;
    return result;
}
