#include "filter/filter_rule.h"

std::string FilterOperator(const std::string& rule) {
    const size_t equals = rule.find('=');
    const size_t differs = rule.find("<>");
    if (equals == std::string::npos && differs == std::string::npos) return rule.substr(0, 2);
    return equals < differs ? "=" : "<>";
}

FilterParts SplitFilter(const std::string& rule) {
    FilterParts parts;
    parts.op = FilterOperator(rule);
    if (parts.op.empty()) return parts;
    // The header ends one character (the operator piece's blank) before the operator, and the
    // text starts one character after it.
    const size_t at = rule.find(parts.op);
    if (at >= 2) parts.header = rule.substr(0, at - 1);
    const size_t textStart = at + parts.op.size() + 1;
    if (textStart < rule.size()) parts.text = rule.substr(textStart);
    return parts;
}
