#include "platform/registry.h"

#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/hive_file.h"
#include "platform/registry_format.h"

namespace {

constexpr const char* kRoot = "HKEY_CURRENT_USER";

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) return user->pw_dir;
    return "/";
}

ERegistryException Failure(const char* format, const std::string& name) {
    return ERegistryException(format + ("'" + name + "'"));
}

}  // namespace

struct TRegistry::Impl {
    explicit Impl(std::string path) : File(std::move(path)) {}

    // The full path of a key: absolute from the root with a leading backslash, else below the
    // current key. Empty when the name is not a valid key path.
    std::optional<std::string> Resolve(const std::string& key) const;

    HiveFile File;
    std::optional<std::string> Current;
    // The first value written in the current batch: the one a failed batch is reported for.
    std::optional<std::string> BatchFirstValue;
};

std::optional<std::string> TRegistry::Impl::Resolve(const std::string& key) const {
    std::string_view rest(key);
    std::string full = kRoot;
    if (!rest.empty() && rest.front() == '\\') {
        rest.remove_prefix(1);
    } else if (Current) {
        full = *Current;
    }
    if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    if (rest.empty()) return full;
    if (!IsWritableName(rest) || rest.front() == '\\' || rest.find("\\\\") != rest.npos) {
        return std::nullopt;
    }
    const auto depth =
        std::count(full.begin(), full.end(), '\\') + std::count(rest.begin(), rest.end(), '\\') + 1;
    if (static_cast<size_t>(depth) >= kMaxKeyDepth) return std::nullopt;
    return full + "\\" + std::string(rest);
}

TRegistry::TRegistry(std::string hivePath)
    : impl_(std::make_unique<Impl>(hivePath.empty() ? DefaultHivePath() : std::move(hivePath))) {}

TRegistry::~TRegistry() = default;

std::string TRegistry::DefaultHivePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // Relative values are to be ignored.
    std::string folder = config && config[0] == '/' ? config : HomeFolder() + "/.config";
    return folder + "/vornask/registry.reg";
}

const std::string& TRegistry::HivePath() const {
    return impl_->File.Path();
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    std::optional<std::string> full = impl_->Resolve(key);
    if (!full) return false;
    if (canCreate) {
        try {
            impl_->File.Update([&](RegistryHive& hive) {
                if (hive.FindKey(*full)) return false;
                hive.CreateKey(*full);
                return true;
            });
        } catch (const EHiveWriteFailed&) {
            return false;
        } catch (const EHiveUnreadable&) {
            return false;  // the caller's first write reports it
        }
    } else if (!impl_->File.Load().KeyExists(*full)) {
        return false;
    }
    impl_->Current = *full;
    return true;
}

void TRegistry::CloseKey() {
    impl_->Current.reset();
}

bool TRegistry::DeleteKey(const std::string& key) {
    std::optional<std::string> full = impl_->Resolve(key);
    if (!full || *full == kRoot) return false;
    bool existed = false;
    try {
        impl_->File.Update([&](RegistryHive& hive) { return existed = hive.DeleteKey(*full); });
    } catch (const EHiveWriteFailed&) {
        return false;
    } catch (const EHiveUnreadable&) {
        return false;
    }
    return existed;
}

bool TRegistry::KeyExists(const std::string& key) {
    std::optional<std::string> full = impl_->Resolve(key);
    return full && impl_->File.Load().KeyExists(*full);
}

std::vector<std::string> TRegistry::SubKeyNames(const std::string& key) {
    std::optional<std::string> full = impl_->Resolve(key);
    if (!full) return {};
    return impl_->File.Load().SubKeyNames(*full);
}

bool TRegistry::MoveKey(const std::string& from, const std::string& to) {
    std::optional<std::string> source = impl_->Resolve(from);
    std::optional<std::string> target = impl_->Resolve(to);
    if (!source || !target || *source == kRoot || *target == kRoot) return false;
    bool moved = false;
    try {
        impl_->File.Update(
            [&](RegistryHive& hive) { return moved = hive.MoveKey(*source, *target); });
    } catch (const EHiveWriteFailed&) {
        return false;
    } catch (const EHiveUnreadable&) {
        return false;
    }
    return moved;
}

bool TRegistry::RenameSubKeys(const std::string& key,
                              const std::vector<std::pair<std::string, std::string>>& renames) {
    std::optional<std::string> parent = impl_->Resolve(key);
    if (!parent) return false;
    if (renames.empty()) return true;
    bool renamed = false;
    try {
        impl_->File.Update(
            [&](RegistryHive& hive) { return renamed = hive.RenameSubKeys(*parent, renames); });
    } catch (const EHiveWriteFailed&) {
        return false;
    } catch (const EHiveUnreadable&) {
        return false;
    }
    return renamed;
}

bool TRegistry::ValueExists(const std::string& name) {
    uint32_t type = 0;
    std::string bytes;
    return ReadData(name, type, bytes);
}

bool TRegistry::ReadData(const std::string& name, uint32_t& type, std::string& bytes) {
    if (!impl_->Current) return false;
    const RegKey* key = impl_->File.Load().FindKey(*impl_->Current);
    const RegValue* value = key ? key->FindValue(name) : nullptr;
    if (!value) return false;
    type = value->Type;
    bytes = value->Data;
    return true;
}

std::string TRegistry::ReadString(const std::string& name) {
    uint32_t type = 0;
    std::string data;
    if (!ReadData(name, type, data) || data.empty()) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw Failure("Invalid data type for ", name);
    return data.substr(0, data.find('\0'));
}

int32_t TRegistry::ReadInteger(const std::string& name) {
    uint32_t type = 0;
    std::string data;
    if (!ReadData(name, type, data) || data.size() > 4)
        throw Failure("Failed to get data for ", name);
    if (type != REG_DWORD) throw Failure("Invalid data type for ", name);
    return static_cast<int32_t>(DwordData(data));
}

bool TRegistry::ReadBool(const std::string& name) {
    return ReadInteger(name) != 0;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    WriteData(name, REG_SZ, value);
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
    WriteData(name, REG_DWORD, DwordBytes(static_cast<uint32_t>(value)));
}

void TRegistry::WriteBool(const std::string& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteData(const std::string& name, uint32_t type, const std::string& bytes) {
    if (!impl_->Current || !IsWritableName(name)) throw Failure("Failed to set data for ", name);
    if (impl_->File.InBatch() && !impl_->BatchFirstValue) impl_->BatchFirstValue = name;
    const std::string& path = *impl_->Current;
    try {
        impl_->File.Update([&](RegistryHive& hive) {
            // A key deleted meanwhile (by this or another program) takes no values.
            if (!hive.KeyExists(path)) throw EHiveWriteFailed("key deleted");
            RegKey& key = hive.CreateKey(path);
            const RegValue* old = key.FindValue(name);
            if (old && old->Type == type && old->Data == bytes) return false;
            key.SetValue(name, type, bytes);
            return true;
        });
    } catch (const EHiveWriteFailed&) {
        throw Failure("Failed to set data for ", name);
    }
}

void TRegistry::BeginBatch() {
    impl_->BatchFirstValue.reset();
    try {
        impl_->File.BeginBatch();
    } catch (const EHiveWriteFailed&) {
        // Unreachable now: every change goes alone and fails as it would without a batch.
    } catch (const EHiveUnreadable&) {
    }
}

void TRegistry::EndBatch() {
    std::optional<std::string> first = std::move(impl_->BatchFirstValue);
    impl_->BatchFirstValue.reset();
    try {
        impl_->File.EndBatch();
    } catch (const EHiveWriteFailed&) {
        // Deletions and opens fail silently on their own; only written values are reported.
        if (first) throw Failure("Failed to set data for ", *first);
    }
}

bool TRegistry::DeleteValue(const std::string& name) {
    if (!impl_->Current) return false;
    const std::string& path = *impl_->Current;
    bool existed = false;
    try {
        impl_->File.Update([&](RegistryHive& hive) {
            RegKey* key = hive.FindKey(path);
            if (!key) return false;
            std::vector<RegValue>& values = key->Values;
            const auto it = std::find_if(values.begin(), values.end(),
                                         [&](const RegValue& v) { return SameName(v.Name, name); });
            if (it == values.end()) return false;
            values.erase(it);
            return existed = true;
        });
    } catch (const EHiveWriteFailed&) {
        return false;
    }
    return existed;
}
