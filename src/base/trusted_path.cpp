#include "base/trusted_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

namespace {

// As many links as the kernel itself follows on one path.
constexpr int kMaxLinks = 40;

std::deque<std::string> Parts(const std::string& path) {
    std::deque<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos) slash = path.size();
        if (slash > at && path.compare(at, slash - at, ".") != 0)
            parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

int OpenStart(const std::string& path) {
    return ::open(path.rfind('/', 0) == 0 ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Only this user's own links and the system's are followed.
bool Trusted(const struct stat& link) {
    return link.st_uid == ::geteuid() || link.st_uid == 0;
}

// The text of the link open at fd (O_PATH | O_NOFOLLOW): read from the very link whose owner
// was checked, so it cannot be swapped in between.
bool ReadLink(int fd, std::string& target) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(fd, "", buffer.data(), buffer.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) < buffer.size()) {
            target.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void Replace(int& fd, int next) {
    if (fd >= 0) ::close(fd);
    fd = next;
}

}  // namespace

TTrustedEntry ResolveTrustedPath(const std::string& path, TTrustedPathFault& fault) {
    fault = TTrustedPathFault::Unreachable;
    std::deque<std::string> parts = Parts(path);
    int folder = OpenStart(path);
    int links = 0;
    if (parts.empty()) parts.push_back(".");  // "/" or "": the folder itself
    while (folder >= 0) {
        const std::string name = parts.front();
        parts.pop_front();
        const int entry = ::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (entry < 0 && errno == ENOENT && parts.empty()) {
            fault = TTrustedPathFault::None;  // a file still to be made
            return {folder, name};
        }
        struct stat st {};
        if (entry < 0 || ::fstat(entry, &st) != 0) {
            if (entry >= 0) ::close(entry);
            break;
        }
        if (S_ISLNK(st.st_mode)) {
            std::string target;
            const bool read = Trusted(st) && ++links <= kMaxLinks && ReadLink(entry, target);
            ::close(entry);
            if (!Trusted(st)) {
                fault = TTrustedPathFault::ForeignLink;
                break;
            }
            if (!read || target.empty()) {
                if (read) errno = ENOENT;
                if (links > kMaxLinks) errno = ELOOP;
                break;
            }
            std::deque<std::string> more = Parts(target);
            parts.insert(parts.begin(), more.begin(), more.end());
            if (target[0] == '/') Replace(folder, OpenStart(target));
            if (parts.empty()) parts.push_back(".");
            continue;
        }
        if (parts.empty()) {
            ::close(entry);
            fault = TTrustedPathFault::None;
            return {folder, name};
        }
        if (!S_ISDIR(st.st_mode)) {
            ::close(entry);
            errno = ENOTDIR;
            break;
        }
        Replace(folder, entry);
    }
    const int error = errno;
    if (folder >= 0) ::close(folder);
    errno = error;
    return {};
}
