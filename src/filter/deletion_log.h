#pragma once

// The deletion log, open for one kill pass: appended to, and locked against every other program
// that honours advisory locks, until it is closed.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

using TDeletionClock = std::function<std::time_t()>;

class TDeletionLog {
  public:
    // Opens the file at the end, or creates it when it does not exist. Raises EFOpenError
    // "Cannot open file %s" (also while another program holds it, and for anything but a
    // regular file: a pipe or a device is refused without waiting) or EFCreateError
    // "Cannot create file %s".
    explicit TDeletionLog(const std::string& storedPath, TDeletionClock clock = {});
    ~TDeletionLog();
    TDeletionLog(const TDeletionLog&) = delete;
    TDeletionLog& operator=(const TDeletionLog&) = delete;

    // Writes the block at the end in one piece and makes it durable; EWriteError "Stream write
    // error" when that fails, with nothing of the block left behind in a regular file.
    void Append(std::string_view block);

    std::time_t Now() const;
    const std::string& Path() const { return path_; }

    // A path chosen by browsing may come wrapped in double quotes; the file is the one inside.
    static std::string FilePath(const std::string& storedPath);

  private:
    std::string path_;
    TDeletionClock clock_;
    int fd_ = -1;
};
