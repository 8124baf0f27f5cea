#pragma once

#include <string>

// A rule's operator: "=" or "<>", whichever begins first; else the rule's first two characters.
std::string FilterOperator(const std::string& rule);

// The pieces of a rule as the matcher and the editor split it (header untrimmed).
struct FilterParts {
    std::string op;
    std::string header;
    std::string text;
};
FilterParts SplitFilter(const std::string& rule);
