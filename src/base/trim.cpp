#include "trim.h"

namespace {
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}
}  // namespace

std::string Trim(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return std::string(text.substr(first, last - first));
}
