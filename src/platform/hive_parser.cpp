#include <algorithm>
#include <cctype>
#include <vector>

#include "base/str_to_int.h"
#include "platform/registry_format.h"

namespace {

class Parser {
  public:
    explicit Parser(std::string_view text) { SplitLines(text); }
    RegistryHive Run();

  private:
    void SplitLines(std::string_view text);
    [[noreturn]] void Fail(const std::string& reason) const { throw EHiveSyntax(lineNo_, reason); }
    void ParseSection(std::string_view line);
    void ParseValue(std::string_view line);
    std::string ParseQuoted(std::string_view& rest);
    std::string ParseHexBytes(std::string_view rest);
    uint32_t ParseDword(std::string_view digits);

    std::vector<std::string_view> lines_;
    size_t next_ = 0;
    int lineNo_ = 0;
    RegistryHive hive_;
    RegKey* key_ = nullptr;
};

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

void Parser::SplitLines(std::string_view text) {
    if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);  // a BOM some editors add
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

RegistryHive Parser::Run() {
    if (lines_.empty()) return {};
    lineNo_ = 1;
    if (lines_[0] != "REGEDIT4") Fail("the first line is not REGEDIT4");
    for (next_ = 1; next_ < lines_.size();) {
        lineNo_ = static_cast<int>(next_ + 1);
        std::string_view line = TrimBlanks(lines_[next_++]);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            ParseSection(line);
        } else if (line.front() == '"' || line.front() == '@') {
            ParseValue(line);
        } else {
            Fail("expected a [key] or a \"name\"=value line");
        }
    }
    return std::move(hive_);
}

void Parser::ParseSection(std::string_view line) {
    if (line.back() != ']') Fail("a key line does not end with ]");
    std::string_view path = line.substr(1, line.size() - 2);
    if (path.empty() || path.front() == '-' || path.front() == '\\' || path.back() == '\\' ||
        path.find("\\\\") != std::string_view::npos) {
        Fail("invalid key name");
    }
    // Deeper paths are damage, not settings: nothing this program writes comes near.
    if (static_cast<size_t>(std::count(path.begin(), path.end(), '\\')) >= kMaxKeyDepth)
        Fail("a key path is more than " + std::to_string(kMaxKeyDepth) + " levels deep");
    key_ = &hive_.AppendKey(path);
}

std::string Parser::ParseQuoted(std::string_view& rest) {
    std::string out;
    for (size_t i = 1; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '"') {
            rest.remove_prefix(i + 1);
            return out;
        }
        // Only \\ and \" are escapes; any other backslash stands for itself.
        if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '\\' || rest[i + 1] == '"')) {
            c = rest[++i];
        }
        out += c;
    }
    Fail("a quoted text is not closed");
}

uint32_t Parser::ParseDword(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) Fail("a dword needs 1 to 8 hex digits");
    uint32_t number = 0;
    for (char c : digits) {
        if (HexDigit(c) < 0) Fail("a dword holds a character that is not a hex digit");
        number = number << 4 | static_cast<uint32_t>(HexDigit(c));
    }
    return number;
}

std::string Parser::ParseHexBytes(std::string_view rest) {
    std::string joined;
    // A trailing backslash continues the byte list on the next line.
    while (!rest.empty() && rest.back() == '\\') {
        joined.append(rest.substr(0, rest.size() - 1));
        if (next_ >= lines_.size()) Fail("a continued hex list ends with the file");
        rest = TrimBlanks(lines_[next_++]);
    }
    joined.append(rest);
    std::string bytes;
    std::string_view items(joined);
    while (!TrimBlanks(items).empty()) {
        size_t comma = items.find(',');
        std::string_view item = TrimBlanks(items.substr(0, comma));
        if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) {
            Fail("a hex list item is not two hex digits");
        }
        bytes += static_cast<char>(HexDigit(item[0]) << 4 | HexDigit(item[1]));
        if (comma == std::string_view::npos) break;
        items.remove_prefix(comma + 1);
        if (TrimBlanks(items).empty()) Fail("a hex list ends with a comma");
    }
    return bytes;
}

void Parser::ParseValue(std::string_view line) {
    if (!key_) Fail("a value comes before any [key] line");
    std::string name;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else {
        name = ParseQuoted(line);
    }
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '=') Fail("a value name is not followed by =");
    line = TrimBlanks(line.substr(1));
    if (!line.empty() && line.front() == '"') {
        std::string data = ParseQuoted(line);
        if (!TrimBlanks(line).empty()) Fail("text follows a quoted value");
        key_->SetValue(name, REG_SZ, std::move(data));
    } else if (StartsWith(line, "dword:")) {
        key_->SetValue(name, REG_DWORD, DwordBytes(ParseDword(line.substr(6))));
    } else if (StartsWith(line, "hex:")) {
        key_->SetValue(name, REG_BINARY, ParseHexBytes(line.substr(4)));
    } else if (StartsWith(line, "hex(")) {
        size_t close = line.find("):");
        if (close == std::string_view::npos) Fail("hex( is not closed by ):");
        uint32_t type = ParseDword(line.substr(4, close - 4));
        key_->SetValue(name, type, ParseHexBytes(line.substr(close + 2)));
    } else {
        Fail("a value is neither \"text\", dword: nor hex:");
    }
}

}  // namespace

RegistryHive ParseHive(std::string_view text) {
    return Parser(text).Run();
}
