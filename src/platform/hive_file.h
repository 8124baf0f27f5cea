#pragma once

// The hive's file: read when it changed on disk, rewritten whole through a temporary file and an
// atomic rename under an advisory lock, so that several running programs never lose each
// other's changes. A file that cannot be parsed is moved aside, never overwritten.

#include <sys/types.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/registry_hive.h"

// A change could not be written; the hive on disk is as it was.
class EHiveWriteFailed : public ERegistryException {
  public:
    using ERegistryException::ERegistryException;
};

// The file exists but cannot be read (no permission, a folder in its place).
class EHiveUnreadable : public ERegistryException {
  public:
    using ERegistryException::ERegistryException;
};

class HiveFile {
  public:
    explicit HiveFile(std::string path);
    ~HiveFile();
    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    const std::string& Path() const { return path_; }

    // The hive as the file holds it now (inside a batch: with the batch's changes); empty when
    // there is no file. Raises EHiveUnreadable for a file that cannot be read, and
    // ERegistryException for a damaged one after moving it aside.
    const RegistryHive& Load();

    // Re-reads the file under the lock, applies change, and writes the result back unless
    // change returned false. Raises EHiveWriteFailed when the result cannot be written. Inside
    // a batch the change only applies to the batch's copy.
    void Update(const std::function<bool(RegistryHive&)>& change);

    // A batch holds the lock from BeginBatch to EndBatch: the file is read once at its start
    // and, if anything changed, replaced once at its end. BeginBatch raises as Load does, or
    // EHiveWriteFailed when the lock cannot be taken; EndBatch raises EHiveWriteFailed when the
    // result cannot be written (the file then stays as it was). Batches do not nest.
    void BeginBatch();
    void EndBatch();
    bool InBatch() const { return batch_ != nullptr; }

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

    struct Batch;

    std::string path_;
    std::optional<Identity> cachedIdentity_;
    RegistryHive cached_;
    std::unique_ptr<Batch> batch_;
};
