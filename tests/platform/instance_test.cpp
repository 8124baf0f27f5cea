// One running program per user, display and settings: the guard's socket, a later start's
// request, and what a crash leaves behind.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/single_instance.h"
#include "support/files.h"
#include "support/scoped_env.h"

namespace {

class Instance : public testing::Test {
  protected:
    TempFolder runtime;  // made 0700, as a session's runtime folder is
    ScopedEnv env{"XDG_RUNTIME_DIR", runtime.Path()};
};

// Runs the event loop until done() or five seconds have passed.
bool Within(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

}  // namespace

TEST_F(Instance, LaterStartAsksTheFirstAndEnds) {
    TSingleInstance first("hive\n:1");
    int requests = 0;
    QObject::connect(&first, &TSingleInstance::Requested, [&] { ++requests; });
    ASSERT_EQ(first.Claim(), TInstanceClaim::First);
    EXPECT_EQ(QFileInfo(first.SocketPath()).path().toStdString(), runtime.Path());

    for (int start = 1; start <= 2; ++start) {
        TSingleInstance later("hive\n:1");
        EXPECT_EQ(later.Claim(), TInstanceClaim::Running);
        EXPECT_TRUE(Within([&] { return requests == start; })) << start;
    }
    // Another settings file or display is another mailbox's watcher.
    TSingleInstance other("other hive\n:1");
    EXPECT_EQ(other.Claim(), TInstanceClaim::First);
    EXPECT_NE(other.SocketPath(), first.SocketPath());
}

// A socket left by a program that crashed answers nobody: the next start takes its place.
TEST_F(Instance, SocketLeftByACrashDoesNotBlock) {
    const QString path = TSingleInstance("hive").SocketPath();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // bound, never listening, and left in place
    ASSERT_TRUE(QFileInfo::exists(path));

    TSingleInstance start("hive");
    EXPECT_EQ(start.Claim(), TInstanceClaim::First);
    TSingleInstance later("hive");
    EXPECT_EQ(later.Claim(), TInstanceClaim::Running);
}

// A runtime folder others may enter is passed over for the user's own folder in the temporary
// folder; the guard stays off whatever waits there under its name (a folder another user made
// first, a link, a folder open to others) and falls back to the cache.
TEST_F(Instance, RuntimeFolderOpenToOthersIsPassedOver) {
    ASSERT_EQ(::chmod(runtime.Path().c_str(), 0755), 0);
    TempFolder temporary, home;
    ::chmod(temporary.Path().c_str(), 01777);
    ScopedEnv tmpdir("TMPDIR", temporary.Path());
    ScopedEnv cacheHome("XDG_CACHE_HOME", std::nullopt);
    ScopedEnv homeEnv("HOME", home.Path());
    const std::string guard = temporary / ("vornask-" + std::to_string(::geteuid()));
    const std::string cache = home / ".cache/vornask";
    const struct {
        const char* name;
        std::function<bool()> prepare;  // false: not possible for this user
        std::string folder;
    } cases[] = {
        {"nothing there", [] { return true; }, guard},
        {"another user's",
         [&] {
             // Only root can give a folder away (and 65534 itself would give it to itself).
             return ::geteuid() == 0 && ::mkdir(guard.c_str(), 0700) == 0 &&
                    ::chown(guard.c_str(), 65534, 65534) == 0;
         },
         cache},
        {"a link to a private folder",
         [&] { return ::symlink(home.Path().c_str(), guard.c_str()) == 0; }, cache},
        {"open to others",
         [&] { return ::mkdir(guard.c_str(), 0777) == 0 && ::chmod(guard.c_str(), 0777) == 0; },
         cache},
    };
    for (const auto& [name, prepare, folder] : cases) {
        SCOPED_TRACE(name);
        std::filesystem::remove_all(guard);
        std::filesystem::remove_all(home / ".cache");
        if (!prepare()) {
            EXPECT_NE(::geteuid(), 0u) << "could not prepare";
            continue;
        }
        TSingleInstance start("hive-taken-temporary");
        EXPECT_EQ(QFileInfo(start.SocketPath()).path().toStdString(), folder);
        struct stat st {};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(start.Claim(), TInstanceClaim::First);
        TSingleInstance later("hive-taken-temporary");
        EXPECT_EQ(later.Claim(), TInstanceClaim::Running);
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
