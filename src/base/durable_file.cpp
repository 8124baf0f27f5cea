#include "base/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>

#include "base/write_all.h"

namespace {

// A new file beside name under a name nobody can have foreseen; -1 when none can be made.
int CreateAside(int folder, const std::string& name, std::string& aside) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const uint64_t tag = (uint64_t{random()} << 32) ^ random();
        aside = "." + name + "." + std::to_string(tag);
        const int fd = ::openat(folder, aside.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The old file's permission bits, so that a replacement keeps them; 0600 when there is none.
mode_t ModeToKeep(int folder, const std::string& name) {
    struct stat old {};
    if (::fstatat(folder, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(old.st_mode))
        return 0600;
    return old.st_mode & 07777;
}

bool WriteSynced(int fd, std::string_view bytes, mode_t mode) {
    return (mode == 0600 || ::fchmod(fd, mode) == 0) && WriteAll(fd, bytes) && ::fsync(fd) == 0;
}

}  // namespace

bool ReplaceFileDurably(int folder, const std::string& name, std::string_view bytes) {
    std::string aside;
    const int out = CreateAside(folder, name, aside);
    if (out < 0) return false;
    bool ok = WriteSynced(out, bytes, ModeToKeep(folder, name));
    int error = errno;
    if (::close(out) != 0 && ok) {  // a write that did not reach the disk
        ok = false;
        error = errno;
    }
    if (ok && ::renameat(folder, aside.c_str(), folder, name.c_str()) == 0) {
        ::fsync(folder);
        return true;
    }
    if (ok) error = errno;
    ::unlinkat(folder, aside.c_str(), 0);
    errno = error;
    return false;
}
