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

// One rule over lines already as the options show them; with IgnoreCase they are folded, and
// so the rule's header and text are folded here too.
bool MatchSeen(const TLineBuffer& lines, const std::string& rule, bool ignoreCase) {
    FilterParts parts = SplitFilter(rule);
    std::string header = Trim(parts.header);
    if (header.empty()) return false;
    const bool contains = parts.op == "=";
    if (!contains && parts.op != "<>") return false;
    if (ignoreCase) {
        header = FoldCase(header);
        parts.text = FoldCase(parts.text);
    }
    for (const std::string_view line : lines) {
        if (!line.starts_with(header)) continue;
        // A "doesn't contain" rule is decided by each candidate line on its own.
        if (Occurs(parts.text, ValueOf(line)) == contains) return true;
    }
    return false;
}

// The lines to match: the message's own for the classic matching, else as the options show it.
const TLineBuffer& Seen(const TLineBuffer& lines, const TMatchOptions& options,
                        TLineBuffer& prepared) {
    if (options.Classic()) return lines;
    prepared = SeenLines(lines, options);
    return prepared;
}

}  // namespace

bool MatchFilter(const TLineBuffer& lines, const std::string& rule, const TMatchOptions& options) {
    TLineBuffer prepared;
    return MatchSeen(Seen(lines, options, prepared), rule, options.IgnoreCase);
}

bool MatchFilters(const TLineBuffer& lines, const TStringList& killList,
                  const TMatchOptions& options) {
    if (killList.empty()) return false;
    TLineBuffer prepared;
    const TLineBuffer& seen = Seen(lines, options, prepared);
    for (const std::string& rule : killList) {
        if (MatchSeen(seen, rule, options.IgnoreCase)) return true;
    }
    return false;
}
