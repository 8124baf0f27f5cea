#pragma once

// The hive's file: read when it changed on disk, rewritten whole through a temporary file and an
// atomic rename under an advisory lock, so that several running programs never lose each
// other's changes. A file that cannot be parsed is moved aside, never overwritten.

#include <sys/types.h>
#include <functional>
#include <optional>
#include <string>

#include "platform/registry_hive.h"

// A change could not be written; the hive on disk is as it was.
class EHiveWriteFailed : public ERegistryException {
  public:
    using ERegistryException::ERegistryException;
};

class HiveFile {
  public:
    explicit HiveFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    // The hive as the file holds it now; empty when there is no file. Raises
    // ERegistryException for a file that cannot be read, and for a damaged one after moving it
    // aside.
    const RegistryHive& Load();

    // Re-reads the file under the lock, applies change, and writes the result back unless
    // change returned false. Raises EHiveWriteFailed when the result cannot be written.
    void Update(const std::function<bool(RegistryHive&)>& change);

  private:
    struct Identity {
        dev_t Device;
        ino_t Inode;
        off_t Size;
        long long ModifiedNs;
        long long ChangedNs;
        bool operator==(const Identity&) const = default;
    };

    std::optional<Identity> CurrentIdentity() const;
    const RegistryHive& LoadLocked(bool locked);
    [[noreturn]] void MoveAside(const std::string& reason);
    void Write(const RegistryHive& hive);
    std::string WriteTarget() const;

    std::string path_;
    std::optional<Identity> cachedIdentity_;
    RegistryHive cached_;
};
