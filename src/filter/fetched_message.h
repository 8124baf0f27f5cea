#pragma once

// A message fetched whole (an IMAP literal) as the rules and the deletion log take it.

#include <ctime>
#include <string>
#include <string_view>

#include "base/line_buffer.h"

// The lines as a POP3 retrieval gives them to the rules: a line ends at CR LF, and a CR or
// LF that ends no line is dropped, so one message is judged alike over either protocol.
void FetchedLines(std::string_view message, TLineBuffer& lines);

// The log record of a condemned message: the stamp for `when`, CR LF, then the message's
// bytes exactly as the server sent them, ended with CR LF when they do not end so.
std::string FetchedRecord(std::time_t when, std::string_view message);
