#pragma once

#include <string>
#include <string_view>

// Strips blanks and control characters (anything up to code 32) from both ends.
std::string Trim(std::string_view text);

// Removes one pair of double quotes that encloses the whole text. File boxes store browsed
// paths with blanks that way, and every consumer of such a path strips them before use.
std::string StripEnclosingQuotes(const std::string& text);
