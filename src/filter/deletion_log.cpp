#include "filter/deletion_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "base/exception.h"
#include "base/trim.h"
#include "base/write_all.h"

namespace {

bool IsFileNotFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// A pipe, a device or a socket: never a log, and not to be opened at all.
bool IsSpecialFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode);
}

// Devices and pipes cannot be synced; that is no failure of the write.
bool Durable(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

}  // namespace

std::string TDeletionLog::FilePath(const std::string& storedPath) {
    return StripEnclosingQuotes(storedPath);
}

TDeletionLog::TDeletionLog(const std::string& storedPath, TDeletionClock clock)
    : path_(FilePath(storedPath)), clock_(std::move(clock)) {
    // Non-blocking, so a pipe or a device at the path cannot hold the pass at the open.
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (IsSpecialFile(path_)) throw EFOpenError("Cannot open file " + path_);
    if (IsFileNotFolder(path_)) {
        fd_ = ::open(path_.c_str(), flags);
        if (fd_ < 0) throw EFOpenError("Cannot open file " + path_);
    } else {
        // Deleted mail is private; never truncate, in case the file appeared meanwhile.
        fd_ = ::open(path_.c_str(), flags | O_CREAT, 0600);
        if (fd_ < 0) throw EFCreateError("Cannot create file " + path_);
    }
    // Checked again on what was opened: the path may have changed in between.
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd_, F_SETFL, O_APPEND) != 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        throw EFOpenError("Cannot open file " + path_);
    }
}

TDeletionLog::~TDeletionLog() {
    ::close(fd_);
}

std::time_t TDeletionLog::Now() const {
    return clock_ ? clock_() : std::time(nullptr);
}

void TDeletionLog::Append(std::string_view block) {
    struct stat info {};
    const bool regular = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    if (WriteAll(fd_, block) && Durable(fd_)) return;
    // A torn record would read as part of the next one; cut it off again.
    if (regular && ::ftruncate(fd_, info.st_size) != 0) {
        // The write error below is the one to report.
    }
    throw EWriteError("Stream write error");
}
