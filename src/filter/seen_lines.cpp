#include "filter/seen_lines.h"

#include <string>

#include "filter/case_fold.h"
#include "filter/header_decode.h"

namespace {

bool Continues(std::string_view line) {
    return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

// A line without a colon names no header and is left as it is.
std::string Decoded(const std::string& header) {
    const size_t colon = header.find(':');
    if (colon == std::string::npos) return header;
    return header.substr(0, colon + 1) +
           DecodeHeaderText(std::string_view(header).substr(colon + 1));
}

class Collector {
  public:
    Collector(TLineBuffer& seen, bool fold) : seen_(seen), fold_(fold) {}
    void Add(std::string_view line) { seen_.push_back(fold_ ? FoldCase(line) : std::string(line)); }

  private:
    TLineBuffer& seen_;
    bool fold_;
};

// Adds the header block's headers, unfolded and decoded; returns the index of the line after it.
size_t AddHeaders(const TLineBuffer& lines, Collector& seen) {
    std::string header;
    size_t i = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        if (i > 0 && Continues(lines[i])) {
            header += lines[i];
            continue;
        }
        if (i > 0) seen.Add(Decoded(header));
        header.assign(lines[i]);
    }
    if (i > 0) seen.Add(Decoded(header));
    return i;
}

}  // namespace

TLineBuffer SeenLines(const TLineBuffer& lines, const TMatchOptions& options) {
    TLineBuffer seen;
    Collector collector(seen, options.IgnoreCase);
    const size_t body = options.DecodeHeaders ? AddHeaders(lines, collector) : 0;
    for (size_t i = body; i < lines.size(); ++i) collector.Add(lines[i]);
    return seen;
}
