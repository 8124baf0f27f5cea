#include "net/imap_parser.h"

#include <algorithm>
#include <cctype>

#include "net/net_errors.h"

namespace {

bool SameWord(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool IsStatusWord(std::string_view word) {
    for (const char* status : {"OK", "NO", "BAD", "BYE", "PREAUTH"})
        if (SameWord(word, status)) return true;
    return false;
}

std::string Upper(std::string_view word) {
    std::string text(word);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool ImapWordIs(std::string_view word, std::string_view atom) {
    return SameWord(word, atom);
}

bool TImapValue::Is(std::string_view atom) const {
    return Kind == TKind::Atom && SameWord(Text, atom);
}

std::optional<uint32_t> TImapValue::Number() const {
    if (Kind != TKind::Atom || Text.empty() || Text.size() > 10) return std::nullopt;
    uint64_t n = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(n);
}

std::string_view TImapResponse::DataName() const {
    if (Kind != TKind::Untagged || !Status.empty() || Items.empty()) return {};
    const size_t at = Items[0].Number() && Items.size() > 1 ? 1 : 0;
    return Items[at].Kind == TImapValue::TKind::Atom ? std::string_view(Items[at].Text)
                                                     : std::string_view();
}

std::optional<uint32_t> TImapResponse::DataNumber() const {
    if (!Status.empty() || Items.size() < 2) return std::nullopt;
    return Items[0].Number();
}

std::string ImapMessageText(std::string_view line) {
    constexpr size_t kMax = 512;
    if (line.size() <= kMax) return std::string(line);
    size_t keep = kMax - 3;
    while (keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80) --keep;
    return std::string(line.substr(0, keep)) + "...";
}

void TImapParser::Reset() {
    response_ = {};
    stack_.assign(1, {});
    values_ = 0;
    started_ = false;
    whole_ = false;
}

std::optional<size_t> TImapParser::Line(std::string_view line) {
    if (started_) return Values(line, 0);
    started_ = true;
    response_.Line = ImapMessageText(line);
    FirstLine(line);
    return whole_ ? std::nullopt : Values(line, line.find(' ') + 1);
}

// The tag ("*", "+" or the command's) and, for a status response, the whole of it.
void TImapParser::FirstLine(std::string_view line) {
    using K = TImapResponse::TKind;
    if (line == "+" || line.starts_with("+ ")) {
        response_.Kind = K::Continuation;
        response_.Text = line.size() > 2 ? line.substr(2) : std::string_view();
        whole_ = true;
        return;
    }
    const size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos) Fail("a response without a tag");
    const std::string_view tag = line.substr(0, space);
    response_.Kind = tag == "*" ? K::Untagged : K::Tagged;
    if (response_.Kind == K::Tagged) response_.Tag = tag;
    const std::string_view rest = line.substr(space + 1);
    const std::string_view word = rest.substr(0, rest.find(' '));
    if (IsStatusWord(word)) {
        response_.Status = Upper(word);
        StatusText(rest.substr(word.size()));
        whole_ = true;
    } else if (response_.Kind == K::Tagged) {
        Fail("a tagged response that is not OK, NO or BAD");
    }
}

// " [CODE values] text": the code split into values where it can be; a code that does not
// parse is kept as one atom, for it is only ever read, never relied on to be well formed.
void TImapParser::StatusText(std::string_view text) {
    if (text.starts_with(' ')) text.remove_prefix(1);
    const size_t end = text.starts_with('[') ? text.find(']') : std::string_view::npos;
    if (end != std::string_view::npos) {
        const std::string_view code = text.substr(1, end - 1);
        try {
            if (Values(code, 0)) Fail("a literal in a status code");
            response_.Code = std::move(stack_[0]);
        } catch (const EProtocolError&) {
            response_.Code.assign(1, TImapValue{TImapValue::TKind::Atom, std::string(code), {}});
        }
        stack_.assign(1, {});
        text.remove_prefix(std::min(text.size(), end + 2));
    }
    response_.Text = text;
}

std::optional<size_t> TImapParser::Values(std::string_view line, size_t pos) {
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == ' ') {
            ++pos;
        } else if (c == '(') {
            Open();
            ++pos;
        } else if (c == ')') {
            Close();
            ++pos;
        } else if (c == '"') {
            pos = Quoted(line, pos);
        } else if (c == '{') {
            return LiteralSize(line, pos);
        } else {
            pos = Atom(line, pos);
        }
    }
    if (stack_.size() > 1) Fail("a list that is not closed");
    whole_ = true;
    return std::nullopt;
}

size_t TImapParser::Quoted(std::string_view line, size_t pos) {
    std::string text;
    for (size_t i = pos + 1; i < line.size(); ++i) {
        if (line[i] == '"') {
            Add({TImapValue::TKind::String, std::move(text), {}});
            return i + 1;
        }
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        text += line[i];
    }
    Fail("a quoted string that is not closed");
}

// An atom runs to a blank or a parenthesis; a bracketed section in it ("BODY[HEADER.FIELDS
// (FROM)]") is taken whole, blanks and parentheses included.
size_t TImapParser::Atom(std::string_view line, size_t pos) {
    size_t end = pos;
    while (end < line.size() && line[end] != ' ' && line[end] != '(' && line[end] != ')') {
        if (line[end] == '[') {
            const size_t close = line.find(']', end);
            if (close == std::string_view::npos) Fail("a section that is not closed");
            end = close;
        }
        ++end;
    }
    const std::string_view atom = line.substr(pos, end - pos);
    if (SameWord(atom, "NIL"))
        Add({TImapValue::TKind::Nil, {}, {}});
    else
        Add({TImapValue::TKind::Atom, std::string(atom), {}});
    return end;
}

size_t TImapParser::LiteralSize(std::string_view line, size_t pos) {
    const size_t close = line.find('}', pos);
    const std::string_view digits = close == std::string_view::npos
                                        ? std::string_view()
                                        : line.substr(pos + 1, close - pos - 1);
    if (close + 1 != line.size() || digits.empty() || digits.size() > 18 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        Fail("a literal's announcement that is not {digits} at the end of its line");
    size_t size = 0;
    for (char c : digits) size = size * 10 + static_cast<size_t>(c - '0');
    return size;
}

void TImapParser::Literal(std::string bytes) {
    Add({TImapValue::TKind::String, std::move(bytes), {}});
}

void TImapParser::Open() {
    if (stack_.size() > kMaxDepth) Fail("lists nested deeper than " + std::to_string(kMaxDepth));
    stack_.emplace_back();
}

void TImapParser::Close() {
    if (stack_.size() < 2) Fail("a list closed that was not opened");
    TImapValue list{TImapValue::TKind::List, {}, std::move(stack_.back())};
    stack_.pop_back();
    Add(std::move(list));
}

void TImapParser::Add(TImapValue value) {
    if (++values_ > kMaxValues)
        Fail("a response of more than " + std::to_string(kMaxValues) + " values");
    stack_.back().push_back(std::move(value));
}

TImapResponse TImapParser::Take() {
    if (response_.Status.empty() && response_.Kind == TImapResponse::TKind::Untagged)
        response_.Items = std::move(stack_[0]);
    TImapResponse taken = std::move(response_);
    Reset();
    return taken;
}

void TImapParser::Fail(const std::string& why) const {
    throw EProtocolError("Unreadable IMAP response (" + why + "): " + response_.Line, kBrokenReply,
                         "IMAP");
}
