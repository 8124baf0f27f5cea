#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/line_buffer.h"
#include "base/string_list.h"
#include "filter/match_options.h"

// True when the rule condemns the message given as its lines.
bool MatchFilter(const TLineBuffer& lines, const std::string& rule,
                 const TMatchOptions& options = {});
// The index of the first rule of the kill list that condemns the message; none when no rule
// does. The first match ends the test.
std::optional<size_t> FirstCondemningRule(const TLineBuffer& lines, const TStringList& killList,
                                          const TMatchOptions& options = {});
// Whether some rule hits the message; stops looking at the first hit.
bool MatchFilters(const TLineBuffer& lines, const TStringList& killList,
                  const TMatchOptions& options = {});
