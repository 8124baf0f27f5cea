#include "platform/registry_hive.h"

#include <algorithm>
#include <utility>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when path lies strictly below ancestor.
bool IsBelow(std::string_view path, std::string_view ancestor) {
    return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
           SameName(path.substr(0, ancestor.size()), ancestor);
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string DwordBytes(uint32_t number) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>(number >> (8 * i) & 0xFF);
    return data;
}

uint32_t DwordData(std::string_view data) {
    uint32_t number = 0;
    for (size_t i = std::min<size_t>(data.size(), 4); i-- > 0;)
        number = number << 8 | static_cast<unsigned char>(data[i]);
    return number;
}

const RegValue* RegKey::FindValue(std::string_view name) const {
    for (const RegValue& value : Values) {
        if (SameName(value.Name, name)) return &value;
    }
    return nullptr;
}

RegValue* RegKey::FindValue(std::string_view name) {
    return const_cast<RegValue*>(std::as_const(*this).FindValue(name));
}

void RegKey::SetValue(std::string_view name, uint32_t type, std::string data) {
    RegValue* value = FindValue(name);
    if (!value) value = &Values.emplace_back(RegValue{std::string(name), 0, {}});
    value->Type = type;
    value->Data = std::move(data);
}

const RegKey* RegistryHive::FindKey(std::string_view path) const {
    for (const RegKey& key : keys_) {
        if (SameName(key.Path, path)) return &key;
    }
    return nullptr;
}

RegKey* RegistryHive::FindKey(std::string_view path) {
    return const_cast<RegKey*>(std::as_const(*this).FindKey(path));
}

bool RegistryHive::KeyExists(std::string_view path) const {
    return std::any_of(keys_.begin(), keys_.end(), [&](const RegKey& key) {
        return SameName(key.Path, path) || IsBelow(key.Path, path);
    });
}

RegKey& RegistryHive::AppendKey(std::string_view path) {
    if (RegKey* key = FindKey(path)) return *key;
    // A section's path names its parents: they are keys too, even without sections of their own.
    const size_t slash = path.rfind('\\');
    if (slash != std::string_view::npos && path.find('\\') < slash)
        AppendKey(path.substr(0, slash));
    return keys_.emplace_back(RegKey{std::string(path), {}});
}

RegKey& RegistryHive::CreateKey(std::string_view path) {
    if (RegKey* key = FindKey(path)) return *key;
    const size_t slash = path.rfind('\\');
    std::string parentPath;
    if (slash != std::string_view::npos && path.find('\\') < slash) {
        parentPath = CreateKey(path.substr(0, slash)).Path;  // keeps the parent's stored case
    } else if (slash != std::string_view::npos) {
        parentPath = std::string(path.substr(0, slash));  // the root itself has no section
    }
    // A new key goes after its parent's last descendant, so the file reads as a tree.
    auto at = keys_.end();
    if (!parentPath.empty()) {
        auto last = std::find_if(keys_.rbegin(), keys_.rend(), [&](const RegKey& key) {
            return SameName(key.Path, parentPath) || IsBelow(key.Path, parentPath);
        });
        if (last != keys_.rend()) at = last.base();
    }
    std::string fullPath =
        parentPath.empty() ? std::string(path) : parentPath + std::string(path.substr(slash));
    return *keys_.insert(at, RegKey{std::move(fullPath), {}});
}

bool RegistryHive::DeleteKey(std::string_view path) {
    const size_t before = keys_.size();
    std::erase_if(keys_, [&](const RegKey& key) {
        return SameName(key.Path, path) || IsBelow(key.Path, path);
    });
    return keys_.size() != before;
}

std::vector<std::string> RegistryHive::SubKeyNames(std::string_view path) const {
    std::vector<std::string> names;
    for (const RegKey& key : keys_) {
        if (!IsBelow(key.Path, path)) continue;
        const std::string_view rest = std::string_view(key.Path).substr(path.size() + 1);
        const std::string_view name = rest.substr(0, rest.find('\\'));
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& n) { return SameName(n, name); }))
            names.emplace_back(name);
    }
    return names;
}

bool RegistryHive::MoveKey(std::string_view from, std::string_view to) {
    if (!KeyExists(from) || KeyExists(to)) return false;
    for (RegKey& key : keys_) {
        if (SameName(key.Path, from) || IsBelow(key.Path, from))
            key.Path = std::string(to) + key.Path.substr(from.size());
    }
    return true;
}
