#include "filter/match.h"

#include "base/trim.h"
#include "filter/filter_rule.h"

namespace {

// An empty text occurs in nothing.
bool Occurs(const std::string& text, std::string_view value) {
    return !text.empty() && value.find(text) != std::string_view::npos;
}

// Everything after the line's first colon, or the whole line when it has none.
std::string_view ValueOf(std::string_view line) {
    const size_t colon = line.find(':');
    return colon == std::string_view::npos ? line : line.substr(colon + 1);
}

}  // namespace

bool MatchFilter(const TLineBuffer& lines, const std::string& rule) {
    const FilterParts parts = SplitFilter(rule);
    const std::string header = Trim(parts.header);
    if (header.empty()) return false;
    const bool contains = parts.op == "=";
    if (!contains && parts.op != "<>") return false;
    for (const std::string_view line : lines) {
        if (!line.starts_with(header)) continue;
        // A "doesn't contain" rule is decided by each candidate line on its own.
        if (Occurs(parts.text, ValueOf(line)) == contains) return true;
    }
    return false;
}

bool MatchFilters(const TLineBuffer& lines, const TStringList& killList) {
    for (const std::string& rule : killList) {
        if (MatchFilter(lines, rule)) return true;
    }
    return false;
}
