#pragma once

#include "base/line_buffer.h"
#include "filter/match_options.h"

// The message lines as the rules see them under the options. DecodeHeaders: each header of the
// header block (up to the first empty line) becomes one line, its continuation lines joined on
// with only the line break removed, and its value (after the first colon) decoded; the empty
// line and the body stay as they are. IgnoreCase: every line case-folded.
TLineBuffer SeenLines(const TLineBuffer& lines, const TMatchOptions& options);
