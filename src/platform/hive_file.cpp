#include "platform/hive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "base/durable_file.h"
#include "base/unique_fd.h"
#include "platform/registry_format.h"

namespace {

std::string SystemError() {
    return std::strerror(errno);
}

std::string Folder(const std::string& path);

// An exclusive flock on the hive's folder, held for the life of the object. The folder outlives
// every atomic replacement of the hive, and locking it leaves no file behind for the user.
class HiveLock {
  public:
    explicit HiveLock(const std::string& hivePath)
        : fd_(::open(Folder(hivePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_.Get() < 0)
            throw EHiveWriteFailed("Cannot open the hive's folder: " + SystemError());
        while (::flock(fd_.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) throw EHiveWriteFailed("Cannot lock the hive: " + SystemError());
        }
    }

  private:
    TUniqueFd fd_;
};

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void MakeFolders(const std::string& folder) {
    for (size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            throw EHiveWriteFailed("Cannot create folder " + part + ": " + SystemError());
        }
        if (at == std::string::npos) return;
    }
}

bool ReadAll(int fd, std::string& text) {
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) return true;
        text.append(buffer, static_cast<size_t>(count));
    }
}

std::string TimeTag() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
    return buffer;
}

// The damaged file could not be moved aside either (errno says why): it stays as it is.
[[noreturn]] void RefuseUnmovable(const std::string& damaged, const std::string& reason) {
    throw ERegistryException("The settings file " + damaged + " is damaged (" + reason +
                             ") and could not be moved aside (" + SystemError() +
                             "); it was left as it is.");
}

}  // namespace

struct HiveFile::Batch {
    explicit Batch(const std::string& path) : Lock(path) {}
    HiveLock Lock;
    RegistryHive Hive;
    bool Changed = false;
};

HiveFile::HiveFile(std::string path) : path_(std::move(path)) {}

HiveFile::~HiveFile() = default;

void HiveFile::BeginBatch() {
    if (batch_) return;
    MakeFolders(Folder(path_));
    auto batch = std::make_unique<Batch>(path_);
    batch->Hive = LoadLocked(true);
    batch_ = std::move(batch);
}

void HiveFile::EndBatch() {
    std::unique_ptr<Batch> batch = std::move(batch_);  // ends (and unlocks) however this ends
    if (batch && batch->Changed) Write(batch->Hive);
}

std::optional<HiveFile::Identity> HiveFile::CurrentIdentity() const {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) return std::nullopt;
    return Identity{info.st_dev, info.st_ino, info.st_size,
                    info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                    info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
}

const RegistryHive& HiveFile::Load() {
    if (batch_) return batch_->Hive;
    return LoadLocked(false);
}

const RegistryHive& HiveFile::LoadLocked(bool locked) {
    std::optional<Identity> identity = CurrentIdentity();
    if (identity && identity == cachedIdentity_) return cached_;
    TUniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (fd.Get() < 0 && errno == ENOENT) {
        cached_ = {};
        cachedIdentity_.reset();
        return cached_;
    }
    if (fd.Get() < 0 || !ReadAll(fd.Get(), text)) {
        throw EHiveUnreadable("Cannot read the settings file " + path_ + ": " + SystemError());
    }
    try {
        cached_ = ParseHive(text);
    } catch (const EHiveSyntax& error) {
        cachedIdentity_.reset();
        if (locked) MoveAside(error.Message());
        // Decide under the lock: another copy of the program may be moving it right now.
        std::optional<HiveLock> lock;
        try {
            lock.emplace(path_);
        } catch (const EHiveWriteFailed& lockError) {
            throw ERegistryException("The settings file " + path_ + " is damaged (" +
                                     error.Message() + ") and was left as it is (" +
                                     lockError.Message() + ").");
        }
        return LoadLocked(true);
    }
    cachedIdentity_ = identity;
    return cached_;
}

void HiveFile::MoveAside(const std::string& reason) {
    const std::string damaged = WriteTarget();
    const std::string base = damaged + ".damaged-" + TimeTag();
    std::string aside = base;
    for (int n = 1;
         ::renameat2(AT_FDCWD, damaged.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) != 0;
         ++n) {
        if (errno != EEXIST || n > 99) RefuseUnmovable(damaged, reason);
        aside = base + "-" + std::to_string(n);
    }
    cached_ = {};
    cachedIdentity_.reset();
    throw ERegistryException("The settings file " + damaged + " was damaged (" + reason +
                             ") and could not be used. It has been kept as " + aside +
                             ", and Vornask starts again with no stored settings or kill list.");
}

std::string HiveFile::WriteTarget() const {
    // Write through a symbolic link to the file it names, so the link stays a link.
    char* real = ::realpath(path_.c_str(), nullptr);
    if (!real) return path_;
    std::string target = real;
    std::free(real);
    return target;
}

void HiveFile::Update(const std::function<bool(RegistryHive&)>& change) {
    if (batch_) {
        if (change(batch_->Hive)) batch_->Changed = true;
        return;
    }
    MakeFolders(Folder(path_));
    HiveLock lock(path_);
    RegistryHive hive = LoadLocked(true);
    if (change(hive)) Write(hive);
}

void HiveFile::Write(const RegistryHive& hive) {
    const std::string target = WriteTarget();
    const TUniqueFd folder(::open(Folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::string name = target.substr(target.rfind('/') + 1);
    if (folder.Get() < 0 || !ReplaceFileDurably(folder.Get(), name, SerialiseHive(hive)))
        throw EHiveWriteFailed("Cannot write " + target + ": " + SystemError());
    cachedIdentity_.reset();
}
