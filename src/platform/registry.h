#pragma once

// The per-user registry: a typed, hierarchical hive kept in one text file per user.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/registry_hive.h"

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
