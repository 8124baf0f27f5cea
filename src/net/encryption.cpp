#include "net/encryption.h"

#include <cctype>

std::optional<std::string> NormalizeFingerprint(const std::string& text) {
    std::string hex;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isxdigit(u)) {
            hex += static_cast<char>(std::toupper(u));
        } else if (c != ':' && !std::isspace(u)) {
            return std::nullopt;
        }
    }
    if (hex.size() != 64) return std::nullopt;
    std::string pairs;
    for (size_t i = 0; i < hex.size(); i += 2) {
        if (i != 0) pairs += ':';
        pairs.append(hex, i, 2);
    }
    return pairs;
}
