#include "filter/pass_lock.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

#include "filter/own_folder.h"

struct TPassLock::TShared {
    std::timed_mutex Mutex;
};

std::shared_ptr<TPassLock::TShared> TPassLock::SharedFor(const std::string& path) {
    static std::mutex mapMutex;
    static std::map<std::string, std::weak_ptr<TShared>> map;  // dropped when unused
    const std::lock_guard<std::mutex> guard(mapMutex);
    for (auto at = map.begin(); at != map.end();)
        at = at->second.expired() ? map.erase(at) : std::next(at);
    std::shared_ptr<TShared> shared = map[path].lock();
    if (!shared) {
        shared = std::make_shared<TShared>();
        map[path] = shared;
    }
    return shared;
}

namespace {

// Polls flock until the deadline: a blocking flock cannot be given one. False when the
// deadline passed; true when locked or when flock cannot work on this file at all.
bool LockFile(int fd, std::chrono::steady_clock::time_point deadline, bool& locked) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return locked = true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

}  // namespace

TPassLock::TPassLock(const std::string& path, std::chrono::milliseconds wait,
                     const std::string& what)
    : shared_(SharedFor(path)), file_([&path] {
          const auto [folder, name] = OwnFolder::Split(path);
          return OwnFolder::Make(folder) ? OwnFolder::OpenOrCreate(folder, name) : -1;
      }()) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const std::string busy = "Another check of " + what + " was still running after " +
                             std::to_string(std::chrono::ceil<std::chrono::seconds>(wait).count()) +
                             " s; this one was left out.";
    if (!shared_->Mutex.try_lock_until(deadline)) throw EPassBusy(busy);
    if (file_ && !LockFile(file_.Get(), deadline, flocked_)) {
        shared_->Mutex.unlock();
        throw EPassBusy(busy);
    }
}

TPassLock::~TPassLock() {
    if (flocked_) ::flock(file_.Get(), LOCK_UN);
    shared_->Mutex.unlock();
}
