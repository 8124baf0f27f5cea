#include "filter/seen_lines.h"

#include <string>

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

}  // namespace

TLineBuffer DecodedHeaders(const TLineBuffer& lines, size_t& bodyStart) {
    TLineBuffer headers;
    std::string header;
    size_t i = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        if (i > 0 && Continues(lines[i])) {
            header += lines[i];
            continue;
        }
        if (i > 0) headers.push_back(Decoded(header));
        header.assign(lines[i]);
    }
    if (i > 0) headers.push_back(Decoded(header));
    bodyStart = i;
    return headers;
}
