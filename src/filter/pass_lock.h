#pragma once

// Keeps passes over one folder from overlapping: threads of this program (a timed check and
// the watch on the folder) and other programs (a check from the command line) alike. Held for
// a whole pass, so it is not base's TFileLock, of which this program holds one at a time and
// which the deletion log takes for each record.

#include <chrono>
#include <memory>
#include <string>

#include "base/exception.h"
#include "base/unique_fd.h"

// Another pass over the same folder went on past the wait.
class EPassBusy : public Exception {
  public:
    using Exception::Exception;
};

class TPassLock {
  public:
    // Waits up to `wait` for the lock of the file at path (a lock file of its own, created
    // 0600 and never through a link). A lock file that cannot be made or locked at all only
    // leaves other programs unguarded against: this program's threads still wait for each
    // other. Raises EPassBusy when the wait runs out; `what` names the folder in its message.
    TPassLock(const std::string& path, std::chrono::milliseconds wait, const std::string& what);
    ~TPassLock();
    TPassLock(const TPassLock&) = delete;
    TPassLock& operator=(const TPassLock&) = delete;

  private:
    struct TShared;
    // The one mutex per lock file while any pass uses it.
    static std::shared_ptr<TShared> SharedFor(const std::string& path);

    std::shared_ptr<TShared> shared_;
    TUniqueFd file_;
    bool flocked_ = false;
};
