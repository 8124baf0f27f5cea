#include "app/stored_mailboxes.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>

#include "platform/registry.h"
#include "platform/registry_hive.h"

namespace {

std::string MailboxPath(const std::string& name) {
    return std::string(kSettingsKey) + "\\" + kMailboxesKey + "\\" + name;
}

// The numbers a further mailbox's sub-key may have, named by their decimal digits alone (no
// sign, no leading zero). A load reads exactly these names and a save writes no others; every
// other name below "Mailboxes" is not ours and is left as it is.
constexpr int kFirstMailboxNumber = 2;
constexpr int kLastMailboxNumber = 999999;

// The number a further mailbox's sub-key name gives; 0 for any other name.
int MailboxNumber(const std::string& name) {
    if (name.empty() || name.size() > std::to_string(kLastMailboxNumber).size() ||
        name.front() == '0' ||
        !std::ranges::all_of(name, [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    const int number = std::stoi(name);
    return number >= kFirstMailboxNumber && number <= kLastMailboxNumber ? number : 0;
}

// Where each mailbox's stored values are (0: none, or another mailbox claimed them first).
std::vector<int> StoredNumbers(const std::vector<TMailbox>& mailboxes) {
    std::vector<int> stored;
    std::unordered_set<int> claimed;
    for (const TMailbox& mailbox : mailboxes) {
        const int number = mailbox.StoredAt.Number;
        stored.push_back(number && claimed.insert(number).second ? number : 0);
    }
    return stored;
}

// The number each mailbox is saved under: 2, 3, ... in order. An unreadable mailbox cannot be
// written anew elsewhere, and moving it could make the next load read it under another's
// number; so while there is one, every stored mailbox keeps its number (a gap the load skips)
// and a new one takes the next free number. A number past the last is possible here; the save
// refuses it (see RefuseUnsavable).
std::vector<int> SaveNumbers(const std::vector<TMailbox>& mailboxes,
                             const std::vector<int>& stored) {
    const bool keep =
        std::ranges::any_of(mailboxes, [](const TMailbox& m) { return !m.Unreadable.empty(); });
    int next = keep ? std::max(kFirstMailboxNumber - 1, std::ranges::max(stored)) + 1
                    : kFirstMailboxNumber;
    std::vector<int> numbers;
    for (const int number : stored) numbers.push_back(keep && number ? number : next++);
    return numbers;
}

}  // namespace

std::vector<TMailbox> LoadStoredMailboxes(TRegistry& registry, const TReadMailbox& read) {
    std::vector<int> numbers;
    for (const std::string& name : registry.SubKeyNames(MailboxPath("")))
        if (const int number = MailboxNumber(name)) numbers.push_back(number);
    std::ranges::sort(numbers);
    std::vector<TMailbox> mailboxes;
    for (const int number : numbers) {
        if (!registry.OpenKey(MailboxPath(std::to_string(number)), false)) continue;
        TKeyCloser closer(registry);
        mailboxes.push_back(read(registry, number));
    }
    return mailboxes;
}

void RefuseUnstorableMailboxes(const std::vector<TMailbox>& further) {
    if (further.empty()) return;
    const std::vector<int> numbers = SaveNumbers(further, StoredNumbers(further));
    const auto last = std::ranges::max_element(numbers);
    if (*last <= kLastMailboxNumber) return;
    throw ERegistryException(
        "The mailbox " + further[static_cast<size_t>(last - numbers.begin())].ShownName() +
        " cannot be saved: the stored mailboxes are numbered up to " +
        std::to_string(kLastMailboxNumber) +
        ", and none is renumbered while one cannot be read. Nothing was saved.");
}

void SaveStoredMailboxes(TRegistry& registry, const std::vector<TMailbox>& mailboxes,
                         const TWriteMailbox& write) {
    const std::vector<int> stored = StoredNumbers(mailboxes);
    const std::vector<int> numbers = mailboxes.empty() ? stored : SaveNumbers(mailboxes, stored);
    const std::unordered_set<int> claimed(stored.begin(), stored.end());
    // Numbered sub-keys no mailbox was loaded from belong to removed mailboxes.
    std::unordered_set<int> present;
    for (const std::string& name : registry.SubKeyNames(MailboxPath(""))) {
        const int number = MailboxNumber(name);
        if (!number) continue;
        if (claimed.contains(number))
            present.insert(number);
        else
            registry.DeleteKey(MailboxPath(name));
    }
    // The renumbered mailboxes' values move along, unread ones included, all in one step: no
    // name in between that another key could hold.
    std::vector<std::pair<std::string, std::string>> renames;
    for (size_t i = 0; i < stored.size(); ++i)
        if (present.contains(stored[i]) && stored[i] != numbers[i])
            renames.emplace_back(std::to_string(stored[i]), std::to_string(numbers[i]));
    registry.RenameSubKeys(MailboxPath(""), renames);
    for (size_t i = 0; i < mailboxes.size(); ++i) {
        if (!mailboxes[i].Unreadable.empty()) continue;  // left as it is stored
        registry.OpenKey(MailboxPath(std::to_string(numbers[i])), true);
        TKeyCloser closer(registry);
        write(registry, mailboxes[i]);
    }
    if (mailboxes.empty() && registry.SubKeyNames(MailboxPath("")).empty())
        registry.DeleteKey(MailboxPath(""));
}
