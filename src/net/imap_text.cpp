#include "net/imap_text.h"

#include <algorithm>

#include "base/base64.h"

namespace {

// The code points of a UTF-8 text; nothing when it is not UTF-8.
std::optional<std::vector<uint32_t>> CodePoints(std::string_view text) {
    std::vector<uint32_t> points;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC2 ? 1
                                         : -1;
        if (extra < 0 || lead > 0xF4 || text.size() - i <= static_cast<size_t>(extra))
            return std::nullopt;
        uint32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            point = (point << 6) | (next & 0x3F);
        }
        points.push_back(point);
        i += static_cast<size_t>(extra) + 1;
    }
    return points;
}

// A run of code points outside printable ASCII in UTF-16, base64 with "," for "/" and no "=".
std::string Shifted(const std::vector<uint32_t>& run) {
    std::string utf16;
    const auto unit = [&utf16](uint32_t u) {
        utf16 += static_cast<char>(u >> 8);
        utf16 += static_cast<char>(u & 0xFF);
    };
    for (uint32_t point : run) {
        if (point < 0x10000) {
            unit(point);
        } else {
            unit(0xD800 + ((point - 0x10000) >> 10));
            unit(0xDC00 + ((point - 0x10000) & 0x3FF));
        }
    }
    std::string text = Base64Encode(utf16);
    std::erase(text, '=');
    std::replace(text.begin(), text.end(), '/', ',');
    return "&" + text + "-";
}

bool Printable(uint32_t point) {
    return point >= 0x20 && point <= 0x7E;
}

}  // namespace

std::optional<std::string> ImapQuoted(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0' || static_cast<unsigned char>(c) > 127)
            return std::nullopt;
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

void ImapAddString(std::vector<std::string>& pieces, std::string_view text) {
    if (const std::optional<std::string> quoted = ImapQuoted(text)) {
        pieces.back() += *quoted;
        return;
    }
    pieces.emplace_back(text);
    pieces.emplace_back();
}

std::string ImapFolderName(std::string_view utf8) {
    const std::optional<std::vector<uint32_t>> points = CodePoints(utf8);
    if (!points) return std::string(utf8);
    std::string name;
    std::vector<uint32_t> run;
    for (uint32_t point : *points) {
        if (Printable(point)) {
            if (!run.empty()) name += Shifted(run);
            run.clear();
            name += point == '&' ? "&-" : std::string(1, static_cast<char>(point));
        } else {
            run.push_back(point);
        }
    }
    if (!run.empty()) name += Shifted(run);
    return name;
}

std::vector<std::string> ImapUidSets(std::vector<uint32_t> uids, size_t maxChars) {
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    std::vector<std::string> sets;
    std::string set;
    for (size_t i = 0; i < uids.size();) {
        size_t j = i;
        while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) ++j;
        std::string piece = std::to_string(uids[i]);
        if (j > i) piece += ":" + std::to_string(uids[j]);
        if (!set.empty() && set.size() + 1 + piece.size() > maxChars) {
            sets.push_back(set);
            set.clear();
        }
        set += (set.empty() ? "" : ",") + piece;
        i = j + 1;
    }
    if (!set.empty()) sets.push_back(std::move(set));
    return sets;
}

std::string ImapDate(int year, int month, int day) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return std::to_string(day) + "-" + kMonths[std::clamp(month, 1, 12) - 1] + "-" +
           std::to_string(year);
}

std::string_view ImapWithoutTag(std::string_view line) {
    const size_t blank = line.find(' ');
    if (!line.starts_with('A') || blank == std::string_view::npos || blank < 2) return line;
    for (size_t i = 1; i < blank; ++i)
        if (line[i] < '0' || line[i] > '9') return line;
    return line.substr(blank + 1);
}
