#pragma once

// How values are written into IMAP commands: strings quoted (or sent as literals), folder
// names in modified UTF-7, sets of UIDs and search dates.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text as a quoted string ("a\"b"); nothing when it cannot be one (CR, LF, NUL or a byte
// above 127): it must then travel as a literal.
std::optional<std::string> ImapQuoted(std::string_view text);

// Adds a string to a command's pieces (text, literal, text, ...): quoted onto the last text
// when it can be, else as a literal followed by an empty text.
void ImapAddString(std::vector<std::string>& pieces, std::string_view text);

// A folder name as the user writes it (UTF-8) in the modified UTF-7 of IMAP folder names:
// "Entwürfe" gives "Entw&APw-rfe", "&" gives "&-". A name that is not UTF-8 is kept as it is.
std::string ImapFolderName(std::string_view utf8);

// The UIDs (in any order, repeats allowed) as sets of at most maxChars characters each, runs
// joined ("1:3,7,9:12"); empty when there are none.
std::vector<std::string> ImapUidSets(std::vector<uint32_t> uids, size_t maxChars = 4000);

// A date for SEARCH SINCE: "7-Mar-2026". Month 1 to 12.
std::string ImapDate(int year, int month, int day);

// A tagged response line without its tag ("A7 NO [ALERT] x" gives "NO [ALERT] x"), for the
// user, to whom the tag means nothing; any other line as it is.
std::string_view ImapWithoutTag(std::string_view line);
