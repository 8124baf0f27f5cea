#include "net/encryption.h"

#include <cctype>
#include <string_view>

namespace {

// What `openssl x509 -fingerprint -sha256` prints before the pairs, in any case.
constexpr std::string_view kOpensslPrefix = "sha256 fingerprint=";

// The text without the prefix the openssl command prints, if it has one.
std::string_view WithoutPrefix(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    if (text.size() < kOpensslPrefix.size()) return text;
    for (size_t i = 0; i < kOpensslPrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != kOpensslPrefix[i]) return text;
    }
    return text.substr(kOpensslPrefix.size());
}

}  // namespace

std::optional<std::string> NormalizeFingerprint(const std::string& text) {
    std::string hex;
    for (char c : WithoutPrefix(text)) {
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

bool IsBlank(const std::string& text) {
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    return true;
}
