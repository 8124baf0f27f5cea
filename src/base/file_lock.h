#pragma once

// An exclusive advisory lock on an open file, against other threads of this program and other
// programs alike, waited for up to a bound rather than refused at once.

#include <chrono>

class TFileLock {
  public:
    enum class TState { Held, TimedOut, Failed };

    // Waits up to `wait` for the lock. In this program one such lock is held at a time, whatever
    // the file: a thread waits for the other threads' locks without polling, then for other
    // programs' with flock.
    TFileLock(int fd, std::chrono::milliseconds wait);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    TState State() const { return state_; }

  private:
    int fd_;
    TState state_ = TState::Failed;
};
