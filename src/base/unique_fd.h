#pragma once

// A file descriptor closed on every way out.

#include <unistd.h>

class TUniqueFd {
  public:
    explicit TUniqueFd(int fd) : fd_(fd) {}
    ~TUniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};
