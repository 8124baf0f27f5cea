// Decodes encoded words with the system's converter (iconv) opened afresh for each run of words:
// nothing about the charset names a message asks for is kept, so no table grows with the input.
#include "filter/header_decode.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>

namespace {

// Longer charset names are never looked up.
constexpr size_t kMaxCharsetName = 64;

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

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The word that starts at text[at] ("=?"), when it has the form of one.
std::optional<EncodedWord> WordAt(std::string_view text, size_t at) {
    const size_t q1 = text.find('?', at + 2);
    if (q1 == std::string_view::npos || q1 == at + 2 || q1 + 2 >= text.size()) return {};
    const std::string_view charset = text.substr(at + 2, q1 - at - 2);
    if (charset.find_first_of(" \t=") != std::string_view::npos) return {};
    const char encoding = AsciiUpper(text[q1 + 1]);
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

// The charset name without its language tag, when it may be looked up: a MIME token (printable
// ASCII without blanks or specials) of at most kMaxCharsetName bytes.
std::optional<std::string> CharsetName(std::string_view charsetAndTag) {
    static constexpr std::string_view kSpecials = "()<>@,;:\"/[]?.=";
    for (const char c : charsetAndTag) {
        if (c <= ' ' || c > '~' || kSpecials.find(c) != std::string_view::npos) return {};
    }
    const std::string_view name = charsetAndTag.substr(0, charsetAndTag.find('*'));
    if (name.empty() || name.size() > kMaxCharsetName) return {};
    return std::string(name);
}

struct CloseConverter {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, CloseConverter>;

Converter OpenConverter(const std::string& charset) {
    const iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return Converter(cd);
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char upper = AsciiUpper(c);
    if (upper >= 'A' && upper <= 'F') return upper - 'A' + 10;
    return -1;
}

// "_" is a blank and "=" with two hex digits a byte; an "=" without them stays. Bytes outside
// printable ASCII (blanks aside) make it no Q text.
std::optional<std::string> DecodeQ(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!IsBlank(c) && (c <= ' ' || c > '~')) return {};
        const int high = c == '=' && i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low >= 0) {
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            bytes += c == '_' ? ' ' : c;
        }
    }
    return bytes;
}

// A word's charset name and its text's bytes, when it can be decoded.
struct Piece {
    std::string charset;
    std::string bytes;
};

std::optional<Piece> Decode(const EncodedWord& word) {
    std::optional<std::string> charset = CharsetName(word.charset);
    if (!charset) return {};
    std::optional<std::string> bytes =
        word.encoding == 'B' ? DecodeBase64(word.payload) : DecodeQ(word.payload);
    if (!bytes) return {};
    return Piece{std::move(*charset), std::move(*bytes)};
}

bool SameCharset(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

// Bytes the charset cannot read become "?"; what is left of a cut-off character too.
void AppendConverted(std::string& out, iconv_t cd, std::string bytes) {
    char* in = bytes.data();
    size_t inLeft = bytes.size();
    char buffer[1024];
    for (;;) {
        char* outAt = buffer;
        size_t outLeft = sizeof buffer;
        const bool flush = inLeft == 0;
        const size_t done = flush ? iconv(cd, nullptr, nullptr, &outAt, &outLeft)
                                  : iconv(cd, &in, &inLeft, &outAt, &outLeft);
        const int error = errno;
        out.append(buffer, static_cast<size_t>(outAt - buffer));
        if (done != static_cast<size_t>(-1)) {
            if (flush) return;
        } else if (error != E2BIG) {
            if (flush) return;
            out += '?';
            const size_t skip = error == EILSEQ ? 1 : inLeft;
            in += skip;
            inLeft -= skip;
        }
    }
}

// Adjacent decodable words in one charset, converted together so a character may span them.
struct Run {
    std::string charset;
    Converter converter;
    std::string bytes;
};

void Flush(std::string& out, std::optional<Run>& run) {
    if (!run) return;
    AppendConverted(out, static_cast<iconv_t>(run->converter.get()), std::move(run->bytes));
    run.reset();
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
    std::string out;
    std::optional<Run> run;
    size_t done = 0;  // text before this is in out or run
    for (auto word = NextWord(text, 0); word; word = NextWord(text, done)) {
        const std::string_view gap = text.substr(done, word->begin - done);
        std::optional<Piece> piece = Decode(*word);
        const bool joins = piece && run && AllBlank(gap);
        if (joins && SameCharset(run->charset, piece->charset)) {
            run->bytes += piece->bytes;
        } else {
            Converter converter = piece ? OpenConverter(piece->charset) : nullptr;
            Flush(out, run);
            if (!joins || !converter) out += gap;
            if (converter)
                run = Run{std::move(piece->charset), std::move(converter), std::move(piece->bytes)};
            else
                out += text.substr(word->begin, word->end - word->begin);
        }
        done = word->end;
    }
    Flush(out, run);
    out += text.substr(done);
    return out;
}
