#include "str_to_int.h"

#include "exception.h"

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

namespace {

// Hexadecimal takes any 32-bit pattern ($FFFFFFFF is -1); decimal must fit the signed range.
std::optional<int64_t> Magnitude(const std::string& text, size_t pos, bool hex) {
    if (pos >= text.size()) return std::nullopt;
    const int64_t base = hex ? 16 : 10;
    const int64_t limit = hex ? 0xFFFFFFFFLL : 2147483648LL;
    int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = HexDigit(text[pos]);
        if (digit < 0 || digit >= base) return std::nullopt;
        value = value * base + digit;
        if (value > limit) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<int32_t> TryStrToInt(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const bool hex = pos < text.size() && text[pos] == '$';
    if (hex) ++pos;
    const std::optional<int64_t> magnitude = Magnitude(text, pos, hex);
    if (!magnitude) return std::nullopt;
    int64_t value = *magnitude;
    if (hex) {
        value = static_cast<int32_t>(static_cast<uint32_t>(value));
    } else if (!negative && value > 2147483647LL) {
        return std::nullopt;
    }
    if (negative) value = -value;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

int32_t StrToInt(const std::string& text) {
    if (const std::optional<int32_t> value = TryStrToInt(text)) return *value;
    throw EConvertError("'" + text + "' is not a valid integer value");
}
