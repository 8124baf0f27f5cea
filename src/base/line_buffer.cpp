#include "base/line_buffer.h"

#include <limits>
#include <stdexcept>

TLineBuffer::TLineBuffer(std::initializer_list<std::string_view> lines) {
    for (std::string_view line : lines) push_back(line);
}

void TLineBuffer::push_back(std::string_view line) {
    if (line.size() > std::numeric_limits<uint32_t>::max() - bytes_.size())
        throw std::length_error("TLineBuffer holds at most 4 GiB");
    bytes_.append(line);
    ends_.push_back(static_cast<uint32_t>(bytes_.size()));
}

void TLineBuffer::push_front(std::string_view line) {
    if (line.size() > std::numeric_limits<uint32_t>::max() - bytes_.size())
        throw std::length_error("TLineBuffer holds at most 4 GiB");
    bytes_.insert(0, line);
    const auto shift = static_cast<uint32_t>(line.size());
    for (uint32_t& end : ends_) end += shift;
    ends_.insert(ends_.begin(), shift);
}

void TLineBuffer::assign(size_t count, std::string_view line) {
    clear();
    for (size_t i = 0; i < count; ++i) push_back(line);
}

void TLineBuffer::clear() {
    bytes_.clear();
    ends_.clear();
}
