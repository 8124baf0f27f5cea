#pragma once

// The hive's text form: "REGEDIT4", then per key a blank line, "[full path]" and one line per
// value ("Name"="text", "Name"=dword:0000000a, "Name"=hex(T):xx,xx,...; @ for the default value).

#include <string>
#include <string_view>

#include "base/exception.h"
#include "platform/registry_hive.h"

// A text that is not a hive; Line is 1-based.
class EHiveSyntax : public Exception {
  public:
    EHiveSyntax(int line, const std::string& reason)
        : Exception("line " + std::to_string(line) + ": " + reason), Line(line) {}
    int Line;
};

// A key path of more levels than this is damage when read and refused when opened.
inline constexpr size_t kMaxKeyDepth = 512;

// No recursion over key paths goes deeper than kMaxKeyDepth.
RegistryHive ParseHive(std::string_view text);
std::string SerialiseHive(const RegistryHive& hive);

// Whether a name can be written at all (no zero byte, CR or LF).
bool IsWritableName(std::string_view name);
