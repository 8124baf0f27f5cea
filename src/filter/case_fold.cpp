#include "filter/case_fold.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

struct Mapping {
    char32_t from;
    char32_t to;
};

// Where simple case folding differs from glib's lower case, single code points.
constexpr std::array<Mapping, 23> kSingles{{
    {0x00B5, 0x03BC}, {0x0130, 0x0130}, {0x017F, 0x0073}, {0x0345, 0x03B9}, {0x03C2, 0x03C3},
    {0x03D0, 0x03B2}, {0x03D1, 0x03B8}, {0x03D5, 0x03C6}, {0x03D6, 0x03C0}, {0x03F0, 0x03BA},
    {0x03F1, 0x03C1}, {0x03F5, 0x03B5}, {0x1C80, 0x0432}, {0x1C81, 0x0434}, {0x1C82, 0x043E},
    {0x1C83, 0x0441}, {0x1C84, 0x0442}, {0x1C85, 0x0442}, {0x1C86, 0x044A}, {0x1C87, 0x0463},
    {0x1C88, 0xA64B}, {0x1E9B, 0x1E61}, {0x1FBE, 0x03B9},
}};

// ... and whole ranges: Cherokee folds to its capitals, Roman numerals and circled letters
// (no letters to glib) to their small forms.
struct Shift {
    char32_t first;
    char32_t last;
    char32_t to;  // where first goes
};
constexpr std::array<Shift, 5> kShifts{{
    {0x13A0, 0x13F5, 0x13A0},
    {0x13F8, 0x13FD, 0x13F0},
    {0x2160, 0x216F, 0x2170},
    {0x24B6, 0x24CF, 0x24D0},
    {0xAB70, 0xABBF, 0x13A0},
}};

char32_t FoldCodePoint(char32_t c) {
    for (const Mapping& m : kSingles) {
        if (m.from == c) return m.to;
    }
    for (const Shift& s : kShifts) {
        if (c >= s.first && c <= s.last) return s.to + (c - s.first);
    }
    return static_cast<char32_t>(g_unichar_tolower(c));
}

// The length of the valid UTF-8 sequence at text[at] and its code point; 0 when there is none.
size_t DecodeUtf8(std::string_view text, size_t at, char32_t& c) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || at + length > text.size()) return 0;
    c = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
    return length;
}

char FoldLatin1(uint8_t b) {
    const bool capital = (b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7);
    return static_cast<char>(capital ? b + 0x20 : b);
}

void AppendUtf8(std::string& out, char32_t c) {
    char bytes[6];
    out.append(bytes, static_cast<size_t>(g_unichar_to_utf8(static_cast<gunichar>(c), bytes)));
}

// Folds one character (or stray byte) of text at `at` into out; returns how many bytes it took.
size_t FoldNext(std::string_view text, size_t at, std::string& out) {
    const auto b = static_cast<uint8_t>(text[at]);
    char32_t c = 0;
    const size_t length = b < 0x80 ? 0 : DecodeUtf8(text, at, c);
    if (length == 0) {
        out += FoldLatin1(b);
        return 1;
    }
    AppendUtf8(out, FoldCodePoint(c));
    return length;
}

}  // namespace

std::string FoldCase(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (size_t at = 0; at < text.size();) at += FoldNext(text, at, folded);
    return folded;
}

bool FoldedStartsWith(std::string_view text, std::string_view foldedPrefix) {
    std::string piece;
    size_t at = 0;
    while (!foldedPrefix.empty()) {
        if (at == text.size()) return false;
        piece.clear();
        at += FoldNext(text, at, piece);
        const size_t n = std::min(piece.size(), foldedPrefix.size());
        if (foldedPrefix.substr(0, n) != std::string_view(piece).substr(0, n)) return false;
        foldedPrefix.remove_prefix(n);
    }
    return true;
}
