#pragma once

// The in-memory form of the per-user hive: keys by full path (from the hive's root name), each
// with its typed values. Key and value names compare without regard to ASCII letter case and
// keep the case they were first written with.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"

// The hive cannot be read or written, or a value is missing or of another type.
class ERegistryException : public Exception {
  public:
    using Exception::Exception;
};

// Value types, numbered as in the hive's text form.
enum TRegDataType : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

struct RegValue {
    std::string Name;  // empty: the key's default value
    uint32_t Type = 0;
    std::string Data;  // raw bytes
};

struct RegKey {
    std::string Path;  // e.g. "HKEY_CURRENT_USER\Software\Quorvat"
    std::vector<RegValue> Values;

    RegValue* FindValue(std::string_view name);
    const RegValue* FindValue(std::string_view name) const;
    // Creates or replaces the value; a new value goes last.
    void SetValue(std::string_view name, uint32_t type, std::string data);
};

bool SameName(std::string_view a, std::string_view b);

// A REG_DWORD's data: four bytes, least significant first. DwordData reads at most four bytes,
// a shorter value as if padded with zero bytes.
std::string DwordBytes(uint32_t number);
uint32_t DwordData(std::string_view data);

class RegistryHive {
  public:
    RegKey* FindKey(std::string_view path);
    const RegKey* FindKey(std::string_view path) const;
    // True for a key with a section of its own or with any key below it.
    bool KeyExists(std::string_view path) const;
    // Opens the key, creating it and every missing key above it (below the root component).
    RegKey& CreateKey(std::string_view path);
    // Removes the key with everything below it; false when it did not exist.
    bool DeleteKey(std::string_view path);
    // The names of the keys directly below path, each once, in file order.
    std::vector<std::string> SubKeyNames(std::string_view path) const;
    // Gives the key and everything below it the path to instead, in place; false when from does
    // not exist or to does.
    bool MoveKey(std::string_view from, std::string_view to);

    const std::vector<RegKey>& Keys() const { return keys_; }
    // Keeps file order; a later section of the same name joins the earlier one.
    RegKey& AppendKey(std::string_view path);

  private:
    std::vector<RegKey> keys_;
};
