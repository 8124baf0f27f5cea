#include "platform/shell_words.h"

#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Characters a backslash escapes inside double quotes; before any other it stays literal.
bool EscapableInDoubleQuotes(char c) {
    return c != '\0' && std::strchr("\"\\$`\n", c) != nullptr;
}

class Splitter {
  public:
    explicit Splitter(const std::string& text) : text_(text) {}

    std::vector<std::string> Run() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (IsBlank(c)) {
                EndWord();
            } else if (c == '\'') {
                SingleQuoted();
            } else if (c == '"') {
                DoubleQuoted();
            } else if (c == '\\') {
                Escaped();
            } else {
                Append(c);
            }
        }
        EndWord();
        return std::move(words_);
    }

  private:
    void Append(char c) {
        word_ += c;
        inWord_ = true;
    }
    void EndWord() {
        if (inWord_) words_.push_back(std::move(word_));
        word_.clear();
        inWord_ = false;
    }
    void SingleQuoted() {
        inWord_ = true;  // '' is an empty word of its own
        while (pos_ < text_.size() && text_[pos_] != '\'') word_ += text_[pos_++];
        ++pos_;
    }
    void DoubleQuoted() {
        inWord_ = true;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c == '\\' && pos_ < text_.size() && EscapableInDoubleQuotes(text_[pos_])) {
                c = text_[pos_++];
                if (c == '\n') continue;
            }
            word_ += c;
        }
        ++pos_;
    }
    void Escaped() {
        if (pos_ >= text_.size()) return;  // a lone trailing backslash is dropped
        const char c = text_[pos_++];
        if (c != '\n') Append(c);  // backslash-newline joins lines
    }

    const std::string& text_;
    size_t pos_ = 0;
    std::string word_;
    bool inWord_ = false;
    std::vector<std::string> words_;
};

}  // namespace

std::vector<std::string> SplitShellWords(const std::string& text) {
    return Splitter(text).Run();
}
