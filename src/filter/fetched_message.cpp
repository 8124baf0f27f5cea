#include "filter/fetched_message.h"

#include "filter/deletion_stamp.h"

// A line ends at CR LF; a lone CR or LF inside it is left out. Most lines have none, and go to
// the buffer straight from the message.
void FetchedLines(std::string_view message, TLineBuffer& lines) {
    lines.clear();
    std::string joined;
    while (!message.empty()) {
        const size_t end = message.find("\r\n");
        const std::string_view line = message.substr(0, end);
        const bool last = end == std::string_view::npos;
        message.remove_prefix(last ? message.size() : end + 2);
        if (line.find_first_of("\r\n") == std::string_view::npos) {
            if (!last || !line.empty()) lines.push_back(line);
            continue;
        }
        joined.clear();
        for (const char c : line)
            if (c != '\r' && c != '\n') joined += c;
        // Bytes after the last line end: the server would have ended them for a retrieval.
        if (!last || !joined.empty()) lines.push_back(joined);
    }
}

std::string FetchedRecord(std::time_t when, std::string_view message) {
    std::string record = DeletionStamp(when) + "\r\n";
    record += message;
    if (!message.ends_with("\r\n")) record += "\r\n";
    return record;
}
