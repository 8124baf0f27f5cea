#pragma once

// The lines of one message kept compactly: all their bytes in one string and where each line
// ends, so a line costs its text and four bytes, however short it is (a list of strings costs
// a string object and a heap block per line).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

class TLineBuffer {
  public:
    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        const_iterator(const TLineBuffer* lines, size_t index) : lines_(lines), index_(index) {}
        std::string_view operator*() const { return (*lines_)[index_]; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

      private:
        const TLineBuffer* lines_ = nullptr;
        size_t index_ = 0;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;
    using size_type = size_t;

    TLineBuffer() = default;
    TLineBuffer(std::initializer_list<std::string_view> lines);

    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](size_t i) const {
        const size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(bytes_).substr(begin, ends_[i] - begin);
    }
    std::string_view front() const { return (*this)[0]; }
    std::string_view back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // Raises std::length_error past 4 GiB of text (far beyond any reply a connection takes).
    void push_back(std::string_view line);
    // Puts a line before the first one; it moves every byte, so it is for the rare case.
    void push_front(std::string_view line);
    void assign(size_t count, std::string_view line);
    void clear();

    bool operator==(const TLineBuffer& other) const = default;

  private:
    std::string bytes_;
    std::vector<uint32_t> ends_;  // the end of each line in bytes_
};
