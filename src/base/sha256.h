#pragma once

// SHA-256 digests as text.

#include <string>
#include <string_view>

enum class THexStyle {
    Plain,        // lower-case hex digits: "ab01..."
    Fingerprint,  // upper-case hex pairs joined by colons, as certificates are shown: "AB:01:..."
};

// The SHA-256 digest of the bytes; empty when it cannot be computed.
std::string Sha256Hex(std::string_view bytes, THexStyle style = THexStyle::Plain);
