#include "filter/fetched_message.h"

#include "filter/deletion_stamp.h"

void FetchedLines(std::string_view message, TLineBuffer& lines) {
    lines.clear();
    std::string line;
    bool afterCr = false;
    while (!message.empty()) {
        const size_t stop = message.find_first_of("\r\n");
        if (stop != 0) {
            line.append(message.substr(0, stop));
            afterCr = false;
        }
        if (stop == std::string_view::npos) break;
        if (message[stop] == '\r') {
            afterCr = true;
        } else if (afterCr) {
            lines.push_back(line);
            line.clear();
            afterCr = false;
        }
        message.remove_prefix(stop + 1);
    }
    // Bytes after the last line end: the server would have ended them for a retrieval.
    if (!line.empty()) lines.push_back(line);
}

std::string FetchedRecord(std::time_t when, std::string_view message) {
    std::string record = DeletionStamp(when) + "\r\n";
    record += message;
    if (!message.ends_with("\r\n")) record += "\r\n";
    return record;
}
