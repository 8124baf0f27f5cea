#include "app/password_line.h"

std::optional<std::string> ReadPasswordLine(std::istream& input) {
    std::streambuf* buffer = input.rdbuf();
    std::string line;
    bool ended = false;
    while (line.size() <= kMaxPasswordLineBytes) {
        const auto next = buffer->sbumpc();
        if (std::char_traits<char>::eq_int_type(next, std::char_traits<char>::eof())) break;
        const char c = std::char_traits<char>::to_char_type(next);
        if (c == '\n') {
            ended = true;
            break;
        }
        line += c;
    }
    if (line.empty() && !ended) {
        input.setstate(std::ios::eofbit);
        return std::nullopt;
    }
    if (line.size() > kMaxPasswordLineBytes)
        throw EPasswordLine("The line on standard input is longer than 64 KiB.");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\0') != std::string::npos)
        throw EPasswordLine("The line on standard input holds a NUL character.");
    if (line.find('\r') != std::string::npos)
        throw EPasswordLine("The line on standard input holds a carriage return inside it.");
    return line;
}
