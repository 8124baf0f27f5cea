#pragma once

// Splits an IMAP response into values, one line at a time: a line that ends with a literal's
// announcement {N} gives N, the caller reads those bytes and hands them in, and the next line
// continues the same response. No connection here. Every fault of the grammar or of a bound
// raises EProtocolError (kBrokenReply, protocol "IMAP") that says what was wrong.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/imap_response.h"

class TImapParser {
  public:
    // The most values (atoms, strings, lists) one response may hold, and how deep its lists
    // may nest: enough for a search of hundreds of thousands of messages, and a bound on what
    // one response costs beyond its bytes.
    static constexpr size_t kMaxValues = size_t{1} << 18;
    static constexpr size_t kMaxDepth = 32;

    // Starts a new response.
    void Reset();
    // Parses the next line of the response (without CR LF). Gives the size of the literal
    // announced at its end, nothing when the response is whole.
    std::optional<size_t> Line(std::string_view line);
    // The bytes of the literal the last line announced.
    void Literal(std::string bytes);
    // The whole response (after Line gave nothing).
    TImapResponse Take();

  private:
    void FirstLine(std::string_view line);
    void StatusText(std::string_view text);
    std::optional<size_t> Values(std::string_view line, size_t pos);
    size_t Quoted(std::string_view line, size_t pos);
    size_t Atom(std::string_view line, size_t pos);
    size_t LiteralSize(std::string_view line, size_t pos);
    void Open();
    void Close();
    void Add(TImapValue value);
    [[noreturn]] void Fail(const std::string& why) const;

    TImapResponse response_;
    std::vector<std::vector<TImapValue>> stack_;  // the lists being read; [0]: the response's
    size_t values_ = 0;
    bool started_ = false;
    bool whole_ = false;
};

// The line as an error message: at most 512 bytes, cut at a character, "..." when cut.
std::string ImapMessageText(std::string_view line);

// Whether a word is the atom, compared without regard to case.
bool ImapWordIs(std::string_view word, std::string_view atom);
