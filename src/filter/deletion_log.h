#pragma once

// The deletion log, open for one kill pass. Several passes (threads of this program, or other
// programs) may hold it open at once; each record is appended whole under an exclusive lock.

#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

using TDeletionClock = std::function<std::time_t()>;

class TDeletionLog {
  public:
    // How long an append waits for the lock another pass holds.
    static constexpr std::chrono::milliseconds kLockWait{10000};

    // Opens the file at the end, or creates it (0600, never through a link) when it does not
    // exist; no lock is taken yet. A link on the way is followed only when the user or root
    // owns it. Raises EDeletionLogError for a file or link of another user's and for a file
    // others may write; EFOpenError "Cannot open file %s" for anything but a regular file (a
    // pipe or a device is refused without waiting) or a file that cannot be opened; or
    // EFCreateError "Cannot create file %s".
    explicit TDeletionLog(const std::string& storedPath, TDeletionClock clock = {},
                          std::chrono::milliseconds lockWait = kLockWait);
    ~TDeletionLog();
    TDeletionLog(const TDeletionLog&) = delete;
    TDeletionLog& operator=(const TDeletionLog&) = delete;

    // Writes the block at the end in one piece under the lock and makes it durable. Raises
    // EDeletionLogError (Locked) when the lock stays taken past the wait, with nothing
    // written; EWriteError "Stream write error" when the write fails, with nothing of the block
    // left behind in a regular file.
    void Append(std::string_view block);

    std::time_t Now() const;
    const std::string& Path() const { return path_; }

    // A path chosen by browsing may come wrapped in double quotes; the file is the one inside.
    static std::string FilePath(const std::string& storedPath);

  private:
    std::string path_;
    TDeletionClock clock_;
    std::chrono::milliseconds lockWait_;
    int fd_ = -1;
};
