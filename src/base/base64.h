#pragma once

// Base64 (RFC 4648, with padding) as the SASL exchanges of mail protocols use it.

#include <optional>
#include <string>
#include <string_view>

std::string Base64Encode(std::string_view bytes);
// Nothing when the text is not whole base64 (wrong length, a foreign character).
std::optional<std::string> Base64Decode(std::string_view text);
