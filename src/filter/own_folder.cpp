#include "filter/own_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "base/durable_file.h"
#include "base/unique_fd.h"

namespace {

// The folder, when it is a real directory (not a link) of this user's that neither its group
// nor others may write; -1 otherwise.
int OpenTrusted(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

namespace OwnFolder {

std::pair<std::string, std::string> Split(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool Make(const std::string& folder) {
    for (size_t at = 1; at != std::string::npos;) {
        at = folder.find('/', at + 1);
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

std::optional<std::string> Read(const std::string& folder, const std::string& name,
                                size_t maxBytes) {
    const TUniqueFd dir(OpenTrusted(folder));
    if (!dir) return std::nullopt;
    // Non-blocking, so that a pipe in the file's place is refused rather than waited on.
    const TUniqueFd in(
        ::openat(dir.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!in || ::fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > maxBytes) {
        return std::nullopt;
    }
    std::string bytes;
    char block[1 << 16];
    for (;;) {
        const ssize_t count = ::read(in.Get(), block, sizeof block);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;
        if (count == 0) return bytes;
        bytes.append(block, static_cast<size_t>(count));
        if (bytes.size() > maxBytes) return std::nullopt;  // grown while read
    }
}

bool Replace(const std::string& folder, const std::string& name, const std::string& bytes) {
    const TUniqueFd dir(OpenTrusted(folder));
    return dir && ReplaceFileDurably(dir.Get(), name, bytes);
}

int OpenOrCreate(const std::string& folder, const std::string& name) {
    const TUniqueFd dir(OpenTrusted(folder));
    if (!dir) return -1;
    const int fd = ::openat(dir.Get(), name.c_str(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace OwnFolder
