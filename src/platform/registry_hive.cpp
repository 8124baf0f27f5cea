#include "platform/registry_hive.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>
#include <utility>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view path) {
    std::string folded(path);
    for (char& c : folded) c = Lower(c);
    return folded;
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

RegistryHive::RegistryHive(const RegistryHive& other) : keys_(other.keys_) {
    Reindex();
}

RegistryHive& RegistryHive::operator=(const RegistryHive& other) {
    if (this != &other) {
        keys_ = other.keys_;
        Reindex();
    }
    return *this;
}

void RegistryHive::Index(std::list<RegKey>::iterator key) {
    std::string folded = Folded(key->Path);
    Entry& entry = index_[folded];
    const bool added = !entry.Section && entry.Children == 0;
    entry.Key = key;
    entry.Section = true;
    // A path newly indexed counts as a child of its parent, which may be new in turn.
    for (bool linking = added; linking;) {
        const size_t slash = folded.rfind('\\');
        if (slash == std::string::npos) break;
        folded.resize(slash);
        Entry& parent = index_[folded];
        linking = !parent.Section && parent.Children == 0;
        ++parent.Children;
    }
}

void RegistryHive::Unindex(std::string folded) {
    auto it = index_.find(folded);
    if (it == index_.end()) return;
    it->second.Section = false;
    // A path with neither a section nor children leaves the index and its parent's count.
    while (it != index_.end() && !it->second.Section && it->second.Children == 0) {
        index_.erase(it);
        const size_t slash = folded.rfind('\\');
        if (slash == std::string::npos) break;
        folded.resize(slash);
        it = index_.find(folded);
        if (it != index_.end()) --it->second.Children;
    }
}

void RegistryHive::Reindex() {
    index_.clear();
    lastCreated_.reset();
    for (auto key = keys_.begin(); key != keys_.end(); ++key) Index(key);
}

const RegKey* RegistryHive::FindKey(std::string_view path) const {
    const auto it = index_.find(Folded(path));
    return it != index_.end() && it->second.Section ? &*it->second.Key : nullptr;
}

RegKey* RegistryHive::FindKey(std::string_view path) {
    return const_cast<RegKey*>(std::as_const(*this).FindKey(path));
}

bool RegistryHive::KeyExists(std::string_view path) const {
    return index_.contains(Folded(path));
}

bool RegistryHive::HasSubKeys(std::string_view path) const {
    const auto it = index_.find(Folded(path));
    return it != index_.end() && it->second.Children > 0;
}

RegKey& RegistryHive::AppendKey(std::string_view path) {
    if (RegKey* key = FindKey(path)) return *key;
    // A section's path names its parents: they are keys too, even without sections of their own.
    const size_t slash = path.rfind('\\');
    if (slash != std::string_view::npos && path.find('\\') < slash)
        AppendKey(path.substr(0, slash));
    keys_.push_back(RegKey{std::string(path), {}});
    lastCreated_.reset();
    Index(std::prev(keys_.end()));
    return keys_.back();
}

std::list<RegKey>::iterator RegistryHive::InsertionPoint(const std::string& parentPath) {
    if (parentPath.empty()) return keys_.end();
    if (lastCreated_ && lastCreated_->first == Folded(parentPath))
        return std::next(lastCreated_->second);
    auto last = std::find_if(keys_.rbegin(), keys_.rend(), [&](const RegKey& key) {
        return SameName(key.Path, parentPath) || IsBelow(key.Path, parentPath);
    });
    return last == keys_.rend() ? keys_.end() : last.base();
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
    const auto at = InsertionPoint(parentPath);
    std::string fullPath =
        parentPath.empty() ? std::string(path) : parentPath + std::string(path.substr(slash));
    const auto key = keys_.insert(at, RegKey{std::move(fullPath), {}});
    Index(key);
    if (parentPath.empty())
        lastCreated_.reset();
    else
        lastCreated_.emplace(Folded(parentPath), key);
    return *key;
}

bool RegistryHive::DeleteKey(std::string_view path) {
    const std::string folded = Folded(path);
    const auto it = index_.find(folded);
    if (it == index_.end()) return false;
    lastCreated_.reset();
    if (it->second.Children == 0) {  // a key with nothing below: only its own section goes
        keys_.erase(it->second.Key);
        Unindex(folded);
        return true;
    }
    std::erase_if(keys_, [&](const RegKey& key) {
        return SameName(key.Path, path) || IsBelow(key.Path, path);
    });
    Reindex();
    return true;
}

std::vector<std::string> RegistryHive::SubKeyNames(std::string_view path) const {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const RegKey& key : keys_) {
        if (!IsBelow(key.Path, path)) continue;
        const std::string_view rest = std::string_view(key.Path).substr(path.size() + 1);
        const std::string_view name = rest.substr(0, rest.find('\\'));
        if (seen.insert(Folded(name)).second) names.emplace_back(name);
    }
    return names;
}

bool RegistryHive::MoveKey(std::string_view from, std::string_view to) {
    if (!KeyExists(from) || KeyExists(to)) return false;
    for (RegKey& key : keys_) {
        if (SameName(key.Path, from) || IsBelow(key.Path, from))
            key.Path = std::string(to) + key.Path.substr(from.size());
    }
    Reindex();
    return true;
}

bool RegistryHive::RenameSubKeys(std::string_view parent,
                                 const std::vector<std::pair<std::string, std::string>>& renames) {
    const std::string below = std::string(parent) + '\\';
    std::unordered_map<std::string, std::string> newNames;  // by old name in lower case
    std::unordered_set<std::string> taken;
    const auto isName = [](const std::string& name) {
        return !name.empty() && name.find('\\') == std::string::npos;
    };
    for (const auto& [from, to] : renames) {
        if (!isName(from) || !isName(to) || !KeyExists(below + from) ||
            !newNames.emplace(Folded(from), to).second || !taken.insert(Folded(to)).second)
            return false;
    }
    for (const auto& [from, to] : renames) {
        if (KeyExists(below + to) && !newNames.contains(Folded(to))) return false;
    }
    for (RegKey& key : keys_) {
        if (!IsBelow(key.Path, parent)) continue;
        const size_t end = std::min(key.Path.find('\\', below.size()), key.Path.size());
        const auto renamed =
            newNames.find(Folded(key.Path.substr(below.size(), end - below.size())));
        if (renamed != newNames.end())
            key.Path = key.Path.substr(0, below.size()) + renamed->second + key.Path.substr(end);
    }
    Reindex();
    return true;
}
