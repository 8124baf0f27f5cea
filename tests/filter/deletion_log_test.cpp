#include "filter/deletion_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "base/unique_fd.h"
#include "filter/deletion_log_error.h"
#include "filter/deletion_stamp.h"
#include "support/files.h"
#include "support/scoped_env.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

std::tm At(int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 6;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_wday = 0;
    return local;
}

TEST(DeletionStamp, UsesTheLocaleFormatsAndTheDateAloneAtMidnight) {
    EXPECT_EQ(FormatDeletionTime(At(18, 1, 23), "C"), "12/06/26 18:01:23");
    EXPECT_EQ(FormatDeletionTime(At(0, 0, 0), "C"), "12/06/26");
    EXPECT_EQ(FormatDeletionTime(At(0, 0, 1), "C"), "12/06/26 00:00:01");
    EXPECT_EQ(FormatDeletionTime(At(12, 0, 0), "no_SUCH.locale"), "12/06/26 12:00:00");
}

TEST(DeletionStamp, FollowsTheUsersLcTime) {
    TempFolder locales;
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (locales / "de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot build a German locale here";
    std::string stamp;
    {
        ScopedEnv locPath("LOCPATH", locales.Path());
        ScopedEnv all("LC_ALL", "de_DE.UTF-8");
#if defined(__SANITIZE_ADDRESS__)
        __lsan::ScopedDisabler glibcKeepsTheLocPathList;  // only with LOCPATH set
#endif
        stamp = FormatDeletionTime(At(18, 1, 23));
    }
    EXPECT_EQ(stamp, "06.12.2026 18:01:23");
}

TEST(DeletionLog, OpensThePathInsideOnePairOfQuotes) {
    EXPECT_EQ(TDeletionLog::FilePath("\"/tmp/my log\""), "/tmp/my log");
    EXPECT_EQ(TDeletionLog::FilePath("\"\"/tmp/x\"\""), "\"/tmp/x\"");
    EXPECT_EQ(TDeletionLog::FilePath("\"/tmp/x"), "\"/tmp/x");
    EXPECT_EQ(TDeletionLog::FilePath("\""), "\"");
    EXPECT_EQ(TDeletionLog::FilePath("/tmp/x"), "/tmp/x");
}

// A second pass may open the log while the first holds it; a pass that deletes nothing must not
// fail for it. A new log is the user's alone.
TEST(DeletionLog, AppendsBesideASecondHolder) {
    TempFolder folder;
    const std::string path = folder / "log";
    {
        TDeletionLog log(path, [] { return std::time_t(5); });
        EXPECT_EQ(log.Now(), 5);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        log.Append("old\r\n");
        TDeletionLog second(path);
        second.Append("second\r\n");
        log.Append("new\r\n");
    }
    EXPECT_EQ(ReadFileBytes(path), "old\r\nsecond\r\nnew\r\n");
    EXPECT_THROW(TDeletionLog folderLog(folder.Path()), EFCreateError);
    EXPECT_THROW(TDeletionLog missing(folder / "none/log"), EFCreateError);
}

// A pipe would block the open until a reader comes; a device is no log either.
TEST(DeletionLog, RefusesAnythingButARegularFileWithoutWaiting) {
    TempFolder folder;
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null")}) {
        try {
            TDeletionLog log(path);
            ADD_FAILURE() << path;
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message(), "Cannot open file " + path);
        }
    }
}

namespace fs = std::filesystem;
using TFault = EDeletionLogError::TFault;

// As in /tmp: a shared sticky folder, where "nobody" (played with root's chown) plants a file
// or a link at `at`; the user's own files sit in home/ beside it.
TEST(DeletionLog, RefusesWhatAnotherUserPlantedOrMayWrite) {
    const struct {
        const char *what, *at, *link;  // no link: a file of that mode
        mode_t mode;
        bool theirs;
        const char* open;
        std::optional<TFault> fault;  // none: the log is used, and the record goes to receiver
        const char* receiver;
    } rows[] = {
        {"their 0666 file", "log", nullptr, 0666, true, "log", TFault::ForeignOwner, nullptr},
        {"others may write", "log", nullptr, 0602, false, "log", TFault::OthersMayWrite, nullptr},
        {"the group may write", "log", nullptr, 0620, false, "log", TFault::OthersMayWrite,
         nullptr},
        {"their link to ours", "log", "../home/.bashrc", 0, true, "log", TFault::ForeignLink,
         nullptr},
        {"their dangling link", "log", "../home/new", 0, true, "log", TFault::ForeignLink, nullptr},
        {"their folder link", "logs", "../home", 0, true, "logs/.bashrc", TFault::ForeignLink,
         nullptr},
        {"our link", "log", "../home/mine.log", 0, false, "log", std::nullopt, "home/mine.log"},
        {"our dangling link", "log", "../home/new", 0, false, "log", std::nullopt, "home/new"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.theirs && ::geteuid() != 0) continue;  // no other user to play
        TempFolder top;
        fs::create_directory(top / "home");
        fs::create_directory(top / "shared");
        ::chmod((top / "shared").c_str(), 01777);
        WriteFileBytes(top / "home/.bashrc", "keep\n");
        WriteFileBytes(top / "home/mine.log", "mine\n");
        ::chmod((top / "home/mine.log").c_str(), 0600);
        const std::string planted = top / "shared/" + row.at, path = top / "shared/" + row.open;
        if (row.link) fs::create_symlink(row.link, planted);
        if (!row.link) WriteFileBytes(planted, ""), ::chmod(planted.c_str(), row.mode);
        ASSERT_TRUE(!row.theirs || ::lchown(planted.c_str(), 65534, 65534) == 0);
        try {
            TDeletionLog(path).Append("spam\r\n");
            EXPECT_FALSE(row.fault);
        } catch (const EDeletionLogError& e) {
            EXPECT_EQ(e.Fault, row.fault);
            EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
        }
        EXPECT_EQ(ReadFileBytes(top / "home/.bashrc"), "keep\n");
        struct stat st {};
        const std::string receiver = row.receiver ? top / row.receiver : top / "home/new";
        EXPECT_EQ(::stat(receiver.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600,
                  !!row.receiver);
        EXPECT_EQ(ReadFileBytes(receiver).ends_with("spam\r\n"), !!row.receiver);
    }
}

// A record of one writer, long enough to take more than one write if it were not whole.
std::string Record(int writer, int n) {
    return "[" + std::to_string(writer) + " " + std::to_string(n) + "]\r\n" +
           std::string(100 + (n * 997) % 20000, char('a' + writer)) + "\r\n";
}

void AppendRecords(const std::string& path, int writer, int count) {
    TDeletionLog log(path);
    for (int n = 0; n < count; ++n) log.Append(Record(writer, n));
}

// Each record whole, each writer's in its order, none lost, nothing else.
void ExpectWholeRecords(const std::string& bytes, int writers, int count) {
    std::vector<int> next(writers, 0);
    for (size_t at = 0; at < bytes.size();) {
        int w = 0;
        while (w < writers && !std::string_view(bytes).substr(at).starts_with(Record(w, next[w])))
            ++w;
        ASSERT_LT(w, writers) << "a torn or foreign record at " << at;
        at += Record(w, next[w]++).size();
    }
    EXPECT_EQ(next, std::vector<int>(writers, count));
}

// Two programs with two threads each, as two checks of two mailboxes at once.
TEST(DeletionLogSharing, RecordsStayWholeAcrossThreadsAndPrograms) {
    TempFolder folder;
    const std::string path = folder / "log";
    constexpr int kRecords = 150;
    pid_t children[2] = {};
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] != 0) continue;
        // A writer's failure ends the child abnormally.
        std::thread first(AppendRecords, path, child * 2, kRecords);
        std::thread second(AppendRecords, path, child * 2 + 1, kRecords);
        first.join();
        second.join();
        ::_exit(0);
    }
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ExpectWholeRecords(ReadFileBytes(path), 4, kRecords);
}

// A writer that finds the log locked waits for it; past its bound it gives up, writing nothing.
TEST(DeletionLogSharing, AWriterWaitsForAHeldLockWithinItsBound) {
    TempFolder folder;
    const std::string path = folder / "log";
    TDeletionLog patient(path);
    TDeletionLog impatient(path, {}, std::chrono::milliseconds(200));
    const TUniqueFd other(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(other.Get(), LOCK_EX), 0);

    std::atomic<bool> done = false;
    std::thread waiting([&] {
        patient.Append("patient\r\n");
        done = true;
    });
    try {
        impatient.Append("impatient\r\n");
        ADD_FAILURE() << "written under another program's lock";
    } catch (const EDeletionLogError& e) {
        EXPECT_EQ(e.Fault, TFault::Locked);
        EXPECT_EQ(e.Message(),
                  "The deletion log " + path + " stayed locked by another program for 1 s");
    }
    EXPECT_FALSE(done);
    EXPECT_EQ(ReadFileBytes(path), "");
    ::flock(other.Get(), LOCK_UN);
    waiting.join();
    EXPECT_EQ(ReadFileBytes(path), "patient\r\n");
}

}  // namespace
