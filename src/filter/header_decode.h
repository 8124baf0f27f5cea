#pragma once

#include <string>
#include <string_view>

// Header text with its MIME encoded words (=?charset?B|Q?...?=) decoded to UTF-8. Encoded words
// separated only by blanks or tabs are joined without them; an RFC 2231 language tag
// (=?utf-8*en?...) is dropped. A word whose charset the system cannot convert or whose B text is
// not base64 stays as it was, and so does every byte outside the encoded words. A charset name
// is looked up only when it is a MIME token (printable ASCII without blanks or specials) of at
// most 64 bytes; nothing of it is kept afterwards. Bytes the charset cannot read become "?".
std::string DecodeHeaderText(std::string_view text);
