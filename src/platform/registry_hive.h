#pragma once

// The in-memory form of the per-user hive: keys by full path (from the hive's root name), each
// with its typed values. Key and value names compare without regard to ASCII letter case and
// keep the case they were first written with.

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
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

// Keys are kept in file order, with an index by path so that finding, creating and deleting a
// key take time by the length of its path, not by the number of keys.
class RegistryHive {
  public:
    RegistryHive() = default;
    RegistryHive(const RegistryHive& other);
    RegistryHive& operator=(const RegistryHive& other);
    RegistryHive(RegistryHive&&) noexcept = default;
    RegistryHive& operator=(RegistryHive&&) noexcept = default;

    RegKey* FindKey(std::string_view path);
    const RegKey* FindKey(std::string_view path) const;
    // True for a key with a section of its own or with any key below it.
    bool KeyExists(std::string_view path) const;
    // True when any key lies below path.
    bool HasSubKeys(std::string_view path) const;
    // Opens the key, creating it and every missing key above it (below the root component).
    RegKey& CreateKey(std::string_view path);
    // Removes the key with everything below it; false when it did not exist.
    bool DeleteKey(std::string_view path);
    // The names of the keys directly below path, each once, in file order.
    std::vector<std::string> SubKeyNames(std::string_view path) const;
    // Gives the key and everything below it the path to instead, in place; false when from does
    // not exist or to does.
    bool MoveKey(std::string_view from, std::string_view to);
    // Renames keys directly below parent all at once (each pair: old name, new name), with
    // everything below them, so that one may take a name another gives up. False, and nothing
    // changed, when a name is not a single key name, an old one is missing or named twice, or a
    // new one is named twice or taken by a key that keeps its name.
    bool RenameSubKeys(std::string_view parent,
                       const std::vector<std::pair<std::string, std::string>>& renames);

    const std::list<RegKey>& Keys() const { return keys_; }
    // Keeps file order; a later section of the same name joins the earlier one.
    RegKey& AppendKey(std::string_view path);

  private:
    // A path's place in the index: its section, if it has one, and how many paths directly
    // below it are indexed. A path with neither is not indexed.
    struct Entry {
        std::list<RegKey>::iterator Key;
        bool Section = false;
        size_t Children = 0;
    };

    void Index(std::list<RegKey>::iterator key);
    void Unindex(std::string folded);  // a path in lower case
    void Reindex();
    std::list<RegKey>::iterator InsertionPoint(const std::string& parentPath);

    std::list<RegKey> keys_;
    std::unordered_map<std::string, Entry> index_;  // by path in lower case
    // The last key below the parent the latest key was created in, while nothing else changed
    // the keys' order: creating many keys in one parent then finds its end at once.
    std::optional<std::pair<std::string, std::list<RegKey>::iterator>> lastCreated_;
};
