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

// A runtime folder others may enter is not used; the user's own folder in the temporary
// folder is.
TEST_F(Instance, RuntimeFolderOpenToOthersIsPassedOver) {
    ASSERT_EQ(::chmod(runtime.Path().c_str(), 0755), 0);
    TSingleInstance start("hive-open-runtime");
    const QString folder = QFileInfo(start.SocketPath()).path();
    EXPECT_NE(folder.toStdString(), runtime.Path());
    struct stat st {};
    ASSERT_EQ(::lstat(folder.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(start.Claim(), TInstanceClaim::First);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
