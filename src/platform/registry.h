#pragma once

// The per-user registry: a typed, hierarchical hive kept in one text file per user.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
    // The names of the keys directly below key (a path as OpenKey takes); none when it is missing.
    std::vector<std::string> SubKeyNames(const std::string& key);
    // Renames a key with everything below it; false when from is missing, to exists, or the file
    // cannot be written.
    bool MoveKey(const std::string& from, const std::string& to);
    // Renames keys directly below key all at once (each pair: old name, new name), so that one
    // may take a name another gives up; false, with nothing changed, as RegistryHive's says.
    bool RenameSubKeys(const std::string& key,
                       const std::vector<std::pair<std::string, std::string>>& renames);
    bool ValueExists(const std::string& name);

    std::string ReadString(const std::string& name);
    int32_t ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value);
    // Removes a value of the current key; false when there was none (or it could not be saved).
    bool DeleteValue(const std::string& name);

    // Gathers every change until EndBatch into one read and one atomic replacement of the
    // file, holding its lock in between. A hive that cannot be reached now leaves each change
    // to go (and fail) on its own; a damaged one raises as a read does. EndBatch raises
    // "Failed to set data for '%s'", naming the batch's first written value, when the file
    // cannot be written. Batches do not nest.
    void BeginBatch();
    void EndBatch();

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

// One batch of changes (see TRegistry::BeginBatch). Commit writes it and reports a failure; a
// batch left by an exception still writes what was changed before it, as single changes would.
class TRegistryBatch {
  public:
    explicit TRegistryBatch(TRegistry& registry) : registry_(registry) { registry_.BeginBatch(); }
    ~TRegistryBatch() {
        if (ended_) return;
        try {
            registry_.EndBatch();
        } catch (...) {
            // The exception that ends the batch early is the one to report.
        }
    }
    TRegistryBatch(const TRegistryBatch&) = delete;
    TRegistryBatch& operator=(const TRegistryBatch&) = delete;

    void Commit() {
        ended_ = true;
        registry_.EndBatch();
    }

  private:
    TRegistry& registry_;
    bool ended_ = false;
};
