#include "filter/imap_search.h"

#include <algorithm>
#include <functional>

#include "net/imap.h"

namespace {

constexpr uint32_t kOverlap = 100;

// Calls take with each window's answer while it returns true. The last window runs to "*",
// the folder's last message whatever the number is by then.
void InWindows(TImap& imap, const std::string& criteria, uint32_t window, uint32_t overlap,
               const std::function<bool(std::vector<uint32_t>&&)>& take) {
    const uint64_t exists = imap.News.Exists;
    if (exists <= window) {
        take(imap.UidSearch(criteria));
        return;
    }
    const uint64_t step = window - std::min(overlap, window / 2);
    uint64_t first = 1;
    for (uint32_t n = 0; first <= exists && n < kMaxSearchWindows; ++n, first += step) {
        const uint64_t last = first + window - 1;
        const std::string set =
            std::to_string(first) + ":" + (last >= exists ? "*" : std::to_string(last));
        if (!take(imap.UidSearch(set + " " + criteria)) || last >= exists) return;
    }
}

}  // namespace

std::vector<uint32_t> ImapSearchAll(TImap& imap, const std::string& criteria, size_t enough,
                                    uint32_t window) {
    std::vector<uint32_t> found;
    InWindows(imap, criteria, window, kOverlap, [&](std::vector<uint32_t>&& part) {
        found.insert(found.end(), part.begin(), part.end());
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        return found.size() <= enough;
    });
    return found;
}

uint32_t ImapSearchCount(TImap& imap, const std::string& criteria, uint32_t window) {
    uint64_t count = 0;
    InWindows(imap, criteria, window, 0, [&](std::vector<uint32_t>&& part) {
        count += part.size();
        return true;
    });
    return static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX));
}
