#pragma once

// The per-user registry in place of the Windows one: a typed, hierarchical hive kept in one
// text file per user. (Contract header: public members are fixed; the registry work may add.)

#include <cstdint>
#include <memory>
#include <string>

#include "base/exception.h"

class ERegistryException : public Exception {
  public:
    using Exception::Exception;
};

enum TRegDataType : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

class RegistryHive;  // the parsed file; defined by the registry work

// Accessor rooted at HKEY_CURRENT_USER with at most one open (current) key.
class TRegistry {
  public:
    // hivePath empty: $XDG_CONFIG_HOME/vornask/registry.reg (~/.config/... when unset).
    explicit TRegistry(std::string hivePath = {});
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    static std::string DefaultHivePath();
    const std::string& HivePath() const;

    // Path like "\Software\Quorvat\Vornask" (leading backslash: from the root).
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool DeleteKey(const std::string& key);
    bool KeyExists(const std::string& key);
    bool ValueExists(const std::string& name);

    std::string ReadString(const std::string& name);
    int32_t ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value);
    // Removes a value of the current key; false when there was none (or it could not be saved).
    bool DeleteValue(const std::string& name);

    // Raw typed access to the current key, for data other tools may have stored.
    void WriteData(const std::string& name, uint32_t type, const std::string& bytes);
    bool ReadData(const std::string& name, uint32_t& type, std::string& bytes);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Closes the accessor's current key however the operation that opened it ends.
class TKeyCloser {
  public:
    explicit TKeyCloser(TRegistry& registry) : registry_(registry) {}
    ~TKeyCloser() { registry_.CloseKey(); }
    TKeyCloser(const TKeyCloser&) = delete;
    TKeyCloser& operator=(const TKeyCloser&) = delete;

  private:
    TRegistry& registry_;
};
