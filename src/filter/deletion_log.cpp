#include "filter/deletion_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/file_lock.h"
#include "base/trim.h"
#include "base/trusted_path.h"
#include "base/unique_fd.h"
#include "base/write_all.h"
#include "filter/deletion_log_error.h"

namespace {

using TFault = EDeletionLogError::TFault;

// Non-blocking, so a pipe or a device swapped in at the path cannot hold the pass at the open.
constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

// Devices and pipes cannot be synced; that is no failure of the write.
bool Durable(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

[[noreturn]] void Refuse(TFault fault, const std::string& path) {
    switch (fault) {
        case TFault::ForeignOwner:
            throw EDeletionLogError(fault, "The deletion log " + path + " belongs to another user");
        case TFault::ForeignLink:
            throw EDeletionLogError(
                fault, "The deletion log " + path + " is reached through another user's link");
        case TFault::OthersMayWrite:
            throw EDeletionLogError(fault, "Other users may write to the deletion log " + path);
        case TFault::Locked:
            break;
    }
    throw EDeletionLogError(fault, "The deletion log " + path + " is locked");
}

// The existing file, or a new one made here and now (so no other user's file can stand in).
int OpenOrCreate(const TTrustedEntry& entry, const std::string& path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat st {};
        if (::fstatat(entry.Folder, entry.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) break;
            const int fd =
                ::openat(entry.Folder, entry.Name.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0600);
            if (fd >= 0) return fd;
            if (errno != EEXIST) throw EFCreateError("Cannot create file " + path);
            continue;  // made by someone else meanwhile: judged as an existing file
        }
        if (S_ISDIR(st.st_mode)) throw EFCreateError("Cannot create file " + path);
        if (!S_ISREG(st.st_mode)) break;
        const int fd = ::openat(entry.Folder, entry.Name.c_str(), kOpenFlags);
        if (fd >= 0) return fd;
        if (errno != ENOENT) break;  // ELOOP: a link put in its place meanwhile
    }
    throw EFOpenError("Cannot open file " + path);
}

// What was opened, judged on the open file itself: the path may have changed in between.
void CheckOpened(int fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        throw EFOpenError("Cannot open file " + path);
    if (info.st_uid != ::geteuid()) Refuse(TFault::ForeignOwner, path);
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) Refuse(TFault::OthersMayWrite, path);
    if (::fcntl(fd, F_SETFL, O_APPEND) != 0) throw EFOpenError("Cannot open file " + path);
}

}  // namespace

std::string TDeletionLog::FilePath(const std::string& storedPath) {
    return StripEnclosingQuotes(storedPath);
}

TDeletionLog::TDeletionLog(const std::string& storedPath, TDeletionClock clock,
                           std::chrono::milliseconds lockWait)
    : path_(FilePath(storedPath)), clock_(std::move(clock)), lockWait_(lockWait) {
    TTrustedPathFault fault{};
    const TTrustedEntry entry = ResolveTrustedPath(path_, fault);
    const TUniqueFd folder(entry.Folder);
    if (fault == TTrustedPathFault::ForeignLink) Refuse(TFault::ForeignLink, path_);
    if (fault != TTrustedPathFault::None) throw EFCreateError("Cannot create file " + path_);
    fd_ = OpenOrCreate(entry, path_);
    try {
        CheckOpened(fd_, path_);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

TDeletionLog::~TDeletionLog() {
    ::close(fd_);
}

std::time_t TDeletionLog::Now() const {
    return clock_ ? clock_() : std::time(nullptr);
}

void TDeletionLog::Append(std::string_view block) {
    const TFileLock lock(fd_, lockWait_);
    if (lock.State() == TFileLock::TState::TimedOut) {
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(lockWait_).count();
        throw EDeletionLogError(TFault::Locked, "The deletion log " + path_ +
                                                    " stayed locked by another program for " +
                                                    std::to_string(seconds) + " s");
    }
    // The end as it is under the lock, where this record begins.
    struct stat info {};
    const bool regular = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    if (lock.State() == TFileLock::TState::Held && WriteAll(fd_, block) && Durable(fd_)) return;
    // A torn record would read as part of the next one; cut it off again.
    if (lock.State() == TFileLock::TState::Held && regular && ::ftruncate(fd_, info.st_size) != 0) {
        // The write error below is the one to report.
    }
    throw EWriteError("Stream write error");
}
