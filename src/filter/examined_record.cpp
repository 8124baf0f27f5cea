#include "filter/examined_record.h"

#include <cstdlib>
#include <sstream>

#include "base/sha256.h"
#include "filter/own_folder.h"

namespace {

const std::string kHeader = "vornask examined messages 1\n";
const std::string kEnd = "end ";
// Far beyond any real mailbox's ids; a larger file is not read at all.
constexpr size_t kMaxRecordBytes = 32 << 20;

// Length-prefixed, so that no two different lists give the same text.
std::string Framed(const std::string& text) {
    return std::to_string(text.size()) + ':' + text + '\n';
}

}  // namespace

std::string ExaminedRecord::DefaultFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache) return std::string(cache) + "/vornask";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.cache/vornask";
}

std::string ExaminedRecord::FileFor(const std::string& folder, const std::string& host,
                                    uint16_t port, const std::string& user) {
    const std::string id = Framed(host) + Framed(std::to_string(port)) + Framed(user);
    return folder + "/examined-" + Sha256Hex(id).substr(0, 32);
}

std::string ExaminedRecord::KillListKey(const TStringList& killList, const TMatchOptions& options) {
    std::string text;
    for (const std::string& rule : killList) text += Framed(rule);
    // No frame starts with a letter, so this cannot be mistaken for a rule.
    if (!options.Classic()) {
        text += std::string("options ") + (options.DecodeHeaders ? 'd' : '-') +
                (options.IgnoreCase ? 'i' : '-') + '\n';
    }
    return Sha256Hex(text);
}

// Layout: the header line, "key <hex>", one id a line, and "end <hex>" whose digest covers
// every byte before it.
std::set<std::string> ExaminedRecord::Load(const std::string& file, const std::string& key) {
    const auto [folder, name] = OwnFolder::Split(file);
    const std::string bytes = OwnFolder::Read(folder, name, kMaxRecordBytes).value_or("");
    const size_t endAt = bytes.rfind(kEnd);
    if (key.empty() || endAt == std::string::npos ||
        bytes.substr(endAt) != kEnd + Sha256Hex(bytes.substr(0, endAt)) + "\n" ||
        !bytes.starts_with(kHeader + "key " + key + "\n")) {
        return {};
    }
    std::set<std::string> uids;
    std::istringstream lines(bytes.substr(0, endAt));
    std::string line;
    for (int n = 0; std::getline(lines, line); ++n) {
        if (n >= 2) uids.insert(line);
    }
    return uids;
}

bool ExaminedRecord::Save(const std::string& file, const std::string& key,
                          const std::set<std::string>& uids) {
    if (key.empty()) return false;
    std::string bytes = kHeader + "key " + key + "\n";
    for (const std::string& uid : uids) bytes += uid + "\n";
    bytes += kEnd + Sha256Hex(bytes) + "\n";
    const auto [folder, name] = OwnFolder::Split(file);
    return OwnFolder::Make(folder) && OwnFolder::Replace(folder, name, bytes);
}
