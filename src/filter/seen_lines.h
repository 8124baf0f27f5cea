#pragma once

#include <cstddef>

#include "base/line_buffer.h"

// The header block (the lines before the first empty line) as rules with decoded header text
// see it: one line per header, its continuation lines joined on with only the line break
// removed, and its value (after the first colon) decoded. bodyStart is set to the index of the
// first line after the block (the empty line), from where the lines are matched as they are.
TLineBuffer DecodedHeaders(const TLineBuffer& lines, size_t& bodyStart);
