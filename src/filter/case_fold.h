#pragma once

#include <string>
#include <string_view>

// The text with Unicode simple case folding applied to each UTF-8 character, so that two texts
// differing only in letter case fold alike. A byte that is not part of valid UTF-8 is taken as
// Latin-1 and only its capital letters are lowered (A-Z and À-Þ but ×), staying one byte.
std::string FoldCase(std::string_view text);
// FoldCase(text).starts_with(foldedPrefix), folding only as much of text as it takes.
bool FoldedStartsWith(std::string_view text, std::string_view foldedPrefix);
