#include "base/file_lock.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

namespace {

std::timed_mutex& ThisProgramsLock() {
    static std::timed_mutex lock;
    return lock;
}

// Polls flock until the deadline: a blocking flock cannot be given one.
TFileLock::TState LockFile(int fd, std::chrono::steady_clock::time_point deadline) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return TFileLock::TState::Held;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return TFileLock::TState::Failed;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return TFileLock::TState::TimedOut;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

}  // namespace

TFileLock::TFileLock(int fd, std::chrono::milliseconds wait) : fd_(fd) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    if (!ThisProgramsLock().try_lock_until(deadline)) {
        state_ = TState::TimedOut;
        return;
    }
    state_ = LockFile(fd_, deadline);
    if (state_ != TState::Held) ThisProgramsLock().unlock();
}

TFileLock::~TFileLock() {
    if (state_ != TState::Held) return;
    ::flock(fd_, LOCK_UN);
    ThisProgramsLock().unlock();
}
