#include "base/write_all.h"

#include <unistd.h>
#include <cerrno>

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t count = ::write(fd, data.data(), data.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        data.remove_prefix(static_cast<size_t>(count));
    }
    return true;
}
