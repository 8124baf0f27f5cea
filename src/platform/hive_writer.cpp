#include <cstdio>

#include "platform/registry_format.h"

namespace {

bool HasLineBreakOrZero(std::string_view text) {
    return text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string HexByte(unsigned char byte) {
    char buffer[3];
    std::snprintf(buffer, sizeof buffer, "%02x", byte);
    return buffer;
}

std::string DwordText(std::string_view data) {
    char buffer[9];
    std::snprintf(buffer, sizeof buffer, "%08x", DwordData(data));
    return std::string("dword:") + buffer;
}

std::string HexText(uint32_t type, std::string_view data) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
    std::string out = prefix;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) out += ',';
        out += HexByte(static_cast<unsigned char>(data[i]));
    }
    return out;
}

std::string DataText(const RegValue& value) {
    if (value.Type == REG_SZ && !HasLineBreakOrZero(value.Data)) return Quoted(value.Data);
    if (value.Type == REG_DWORD && value.Data.size() == 4) return DwordText(value.Data);
    return HexText(value.Type, value.Data);
}

// A key with no values of its own that exists only as the path to deeper keys needs no section:
// those keys' sections bring it back when the file is read.
bool IsMerePathStep(const RegistryHive& hive, const RegKey& key) {
    return key.Values.empty() && hive.HasSubKeys(key.Path);
}

}  // namespace

bool IsWritableName(std::string_view name) {
    return !HasLineBreakOrZero(name);
}

std::string SerialiseHive(const RegistryHive& hive) {
    std::string out = "REGEDIT4\n";
    for (const RegKey& key : hive.Keys()) {
        if (IsMerePathStep(hive, key)) continue;
        out += "\n[" + key.Path + "]\n";
        for (const RegValue& value : key.Values) {
            out += value.Name.empty() ? std::string("@") : Quoted(value.Name);
            out += '=' + DataText(value) + '\n';
        }
    }
    return out;
}
