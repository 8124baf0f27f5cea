#pragma once

#include <string>
#include <string_view>

// Removes leading and trailing characters of code 32 or less (blanks and control characters).
std::string Trim(std::string_view text);
