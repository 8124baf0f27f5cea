// The one place that uses GMime (and so glib's converters); it only ever sees encoded words.
#include "filter/header_decode.h"

#include <gmime/gmime.h>

#include <map>
#include <mutex>
#include <optional>

namespace {

struct EncodedWord {
    size_t begin = 0;
    size_t end = 0;            // past its closing "?="
    std::string_view charset;  // with a language tag, if any
    char encoding = 0;         // 'B' or 'Q'
    std::string_view payload;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The word that starts at text[at] ("=?"), when it has the form of one.
std::optional<EncodedWord> WordAt(std::string_view text, size_t at) {
    const size_t q1 = text.find('?', at + 2);
    if (q1 == std::string_view::npos || q1 == at + 2 || q1 + 2 >= text.size()) return {};
    const std::string_view charset = text.substr(at + 2, q1 - at - 2);
    if (charset.find_first_of(" \t=") != std::string_view::npos) return {};
    const char encoding = static_cast<char>(g_ascii_toupper(text[q1 + 1]));
    if ((encoding != 'B' && encoding != 'Q') || text[q1 + 2] != '?') return {};
    const size_t q3 = text.find('?', q1 + 3);
    if (q3 == std::string_view::npos || q3 + 1 >= text.size() || text[q3 + 1] != '=') return {};
    return EncodedWord{at, q3 + 2, charset, encoding, text.substr(q1 + 3, q3 - q1 - 3)};
}

std::optional<EncodedWord> NextWord(std::string_view text, size_t from) {
    for (size_t at = text.find("=?", from); at != std::string_view::npos;
         at = text.find("=?", at + 1)) {
        if (auto word = WordAt(text, at)) return word;
    }
    return {};
}

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// Whether the system's converter knows the charset (the language tag aside). Asked once each.
bool KnownCharset(std::string_view charsetAndTag) {
    const std::string charset(charsetAndTag.substr(0, charsetAndTag.find('*')));
    if (charset.empty()) return false;
    static std::mutex guard;
    static std::map<std::string, bool> known;
    const std::lock_guard lock(guard);
    const auto [it, fresh] = known.try_emplace(charset, false);
    if (fresh) {
        const iconv_t cd = g_mime_iconv_open("UTF-8", charset.c_str());
        it->second = cd != reinterpret_cast<iconv_t>(-1);
        if (it->second) g_mime_iconv_close(cd);
    }
    return it->second;
}

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Blanks (left by unfolding) are skipped and missing padding is forgiven; any other stray
// character, or a lone digit at the end, is no base64.
std::optional<std::string> DecodeBase64(std::string_view text) {
    std::string bytes;
    uint32_t bits = 0;
    int count = 0;
    bool padding = false;
    for (const char c : text) {
        if (IsBlank(c)) continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        const int digit = Base64Digit(c);
        if (digit < 0 || padding) return {};
        bits = (bits << 6) | static_cast<uint32_t>(digit);
        if (++count % 4 == 0) {
            bytes += static_cast<char>(bits >> 16);
            bytes += static_cast<char>(bits >> 8);
            bytes += static_cast<char>(bits);
            bits = 0;
        }
    }
    if (count % 4 == 1) return {};
    if (count % 4 == 2) bytes += static_cast<char>(bits >> 4);
    if (count % 4 == 3) {
        bytes += static_cast<char>(bits >> 10);
        bytes += static_cast<char>(bits >> 2);
    }
    return bytes;
}

std::string QEncoded(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        if (g_ascii_isalnum(c)) {
            text += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            text += {'=', kHex[b >> 4], kHex[b & 15]};
        }
    }
    return text;
}

// The word as GMime is to decode it, or nothing when it cannot be decoded. B words are handed
// over as Q: GMime joins adjacent B words by their base64 text, so padding inside the first
// cut off the rest, and it drops a B word without its padding.
std::optional<std::string> Decodable(const EncodedWord& word) {
    if (!KnownCharset(word.charset)) return {};
    const std::string head = "=?" + std::string(word.charset) + "?Q?";
    if (word.encoding == 'Q') {
        for (const char c : word.payload) {
            if (!IsBlank(c) && (c <= ' ' || c > '~')) return {};
        }
        return head + std::string(word.payload) + "?=";
    }
    const std::optional<std::string> bytes = DecodeBase64(word.payload);
    if (!bytes) return {};
    return head + QEncoded(*bytes) + "?=";
}

void AppendDecoded(std::string& out, const std::string& run) {
    if (run.empty()) return;
    char* decoded = g_mime_utils_header_decode_text(nullptr, run.c_str());
    out += decoded;
    g_free(decoded);
}

bool AllBlank(std::string_view text) {
    for (const char c : text) {
        if (!IsBlank(c)) return false;
    }
    return true;
}

}  // namespace

std::string DecodeHeaderText(std::string_view text) {
    if (text.find("=?") == std::string_view::npos) return std::string(text);
    InitOnce();
    std::string out;
    std::string run;  // decodable words joined so far, a blank between each
    size_t done = 0;  // text before this is in out or run
    for (auto word = NextWord(text, 0); word; word = NextWord(text, done)) {
        const std::string_view gap = text.substr(done, word->begin - done);
        const std::optional<std::string> decodable = Decodable(*word);
        if (decodable && !run.empty() && AllBlank(gap)) {
            run += ' ' + *decodable;
        } else {
            AppendDecoded(out, run);
            run.clear();
            out += gap;
            if (decodable)
                run = *decodable;
            else
                out += text.substr(word->begin, word->end - word->begin);
        }
        done = word->end;
    }
    AppendDecoded(out, run);
    out += text.substr(done);
    return out;
}
