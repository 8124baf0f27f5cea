#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The value of a hexadecimal digit (either case), or -1 for any other character.
int HexDigit(char c);

// Strict 32-bit parse as the interval box needs it: optional leading blanks, then an
// optional sign and either decimal digits or "$" and hexadecimal digits, nothing after,
// and a value that fits 32 bits.
std::optional<int32_t> TryStrToInt(const std::string& text);

// As TryStrToInt, raising EConvertError "'<text>' is not a valid integer value" on failure.
int32_t StrToInt(const std::string& text);
