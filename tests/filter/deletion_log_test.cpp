#include "filter/deletion_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <cstdlib>

#include "base/exception.h"
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

TEST(DeletionLog, AppendsAndRefusesASecondHolder) {
    TempFolder folder;
    const std::string path = folder / "log";
    WriteFileBytes(path, "old\r\n");
    {
        TDeletionLog log(path, [] { return std::time_t(5); });
        EXPECT_EQ(log.Now(), 5);
        log.Append("new\r\n");
        EXPECT_THROW(TDeletionLog second(path), EFOpenError);
    }
    TDeletionLog again(path);  // the lock went with the first log
    EXPECT_EQ(ReadFileBytes(path), "old\r\nnew\r\n");
    EXPECT_THROW(TDeletionLog folderLog(folder.Path()), EFCreateError);
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

}  // namespace
