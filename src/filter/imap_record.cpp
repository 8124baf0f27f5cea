#include "filter/imap_record.h"

#include <charconv>

#include "base/sha256.h"
#include "filter/own_folder.h"

namespace {

const std::string kHeader = "vornask imap examined 1\n";
const std::string kEnd = "end ";
constexpr size_t kMaxRecordBytes = 4096;

std::string Framed(const std::string& text) {
    return std::to_string(text.size()) + ':' + text + '\n';
}

// The number after "name " on a line of its own at the start of text; moves text past it.
std::optional<uint64_t> TakeNumber(std::string_view& text, std::string_view name) {
    if (!text.starts_with(name) || text.size() <= name.size() || text[name.size()] != ' ')
        return std::nullopt;
    const char* begin = text.data() + name.size() + 1;
    const char* end = text.data() + text.size();
    uint64_t value = 0;
    const auto [at, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || at == begin || at == end || *at != '\n') return std::nullopt;
    text.remove_prefix(static_cast<size_t>(at + 1 - text.data()));
    return value;
}

}  // namespace

std::string ImapRecord::FileFor(const std::string& folder, const std::string& host, uint16_t port,
                                const std::string& user, const std::string& mailbox) {
    const std::string id =
        Framed(host) + Framed(std::to_string(port)) + Framed(user) + Framed(mailbox);
    return folder + "/imap-examined-" + Sha256Hex(id).substr(0, 32);
}

// Layout: the header line, "key <hex>", "uidvalidity <n>", "below <n>", and "end <hex>"
// whose digest covers every byte before it.
std::optional<TImapMark> ImapRecord::Load(const std::string& file, const std::string& key) {
    const auto [folder, name] = OwnFolder::Split(file);
    const std::string bytes = OwnFolder::Read(folder, name, kMaxRecordBytes).value_or("");
    const size_t endAt = bytes.rfind(kEnd);
    const std::string head = kHeader + "key " + key + "\n";
    if (key.empty() || endAt == std::string::npos ||
        bytes.substr(endAt) != kEnd + Sha256Hex(bytes.substr(0, endAt)) + "\n" ||
        !bytes.starts_with(head)) {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(bytes).substr(head.size(), endAt - head.size());
    const std::optional<uint64_t> validity = TakeNumber(rest, "uidvalidity");
    const std::optional<uint64_t> below = TakeNumber(rest, "below");
    if (!validity || !below || !rest.empty() || *validity == 0 || *validity > UINT32_MAX ||
        *below == 0 || *below > uint64_t{UINT32_MAX} + 1)
        return std::nullopt;
    return TImapMark{static_cast<uint32_t>(*validity), *below};
}

bool ImapRecord::Save(const std::string& file, const std::string& key, const TImapMark& mark) {
    if (key.empty() || mark.UidValidity == 0) return false;
    std::string bytes = kHeader + "key " + key + "\nuidvalidity " +
                        std::to_string(mark.UidValidity) + "\nbelow " + std::to_string(mark.Below) +
                        "\n";
    bytes += kEnd + Sha256Hex(bytes) + "\n";
    const auto [folder, name] = OwnFolder::Split(file);
    return OwnFolder::Make(folder) && OwnFolder::Replace(folder, name, bytes);
}
