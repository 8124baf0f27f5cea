#include "filter/match.h"

#include "base/trim.h"
#include "filter/case_fold.h"
#include "filter/filter_rule.h"
#include "filter/seen_lines.h"

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

// The message as the options show it: with decoded headers, the header block unfolded and
// decoded, then the lines from the empty line on as they are; else just the lines.
struct Seen {
    TLineBuffer headers;
    const TLineBuffer& lines;
    size_t bodyStart = 0;

    Seen(const TLineBuffer& message, const TMatchOptions& options) : lines(message) {
        if (options.DecodeHeaders) headers = DecodedHeaders(lines, bodyStart);
    }
    template <class F>
    bool Any(F&& f) const {
        for (const std::string_view line : headers) {
            if (f(line)) return true;
        }
        for (size_t i = bodyStart; i < lines.size(); ++i) {
            if (f(lines[i])) return true;
        }
        return false;
    }
};

// With IgnoreCase the rule's pieces are folded once, and a line only as far as the test needs:
// its start for every line, its value only for a candidate.
bool MatchSeen(const Seen& seen, const std::string& rule, bool ignoreCase) {
    FilterParts parts = SplitFilter(rule);
    std::string header = Trim(parts.header);
    if (header.empty()) return false;
    const bool contains = parts.op == "=";
    if (!contains && parts.op != "<>") return false;
    if (ignoreCase) {
        header = FoldCase(header);
        parts.text = FoldCase(parts.text);
    }
    return seen.Any([&](std::string_view line) {
        if (ignoreCase ? !FoldedStartsWith(line, header) : !line.starts_with(header)) return false;
        // A "doesn't contain" rule is decided by each candidate line on its own.
        const std::string_view value = ValueOf(line);
        return Occurs(parts.text, ignoreCase ? FoldCase(value) : value) == contains;
    });
}

}  // namespace

bool MatchFilter(const TLineBuffer& lines, const std::string& rule, const TMatchOptions& options) {
    return MatchSeen(Seen(lines, options), rule, options.IgnoreCase);
}

std::optional<size_t> FirstCondemningRule(const TLineBuffer& lines, const TStringList& killList,
                                          const TMatchOptions& options) {
    if (killList.empty()) return {};
    const Seen seen(lines, options);
    for (size_t i = 0; i < killList.size(); ++i) {
        if (MatchSeen(seen, killList[i], options.IgnoreCase)) return i;
    }
    return {};
}

bool MatchFilters(const TLineBuffer& lines, const TStringList& killList,
                  const TMatchOptions& options) {
    return FirstCondemningRule(lines, killList, options).has_value();
}
