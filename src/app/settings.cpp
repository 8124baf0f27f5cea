#include "app/settings.h"

#include "app/setting_values.h"
#include "app/stored_mailboxes.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <span>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace {

// The mailboxes stored in sub-keys of "Mailboxes": all but the first.
std::vector<TMailbox> Further(const TSettings& settings) {
    if (settings.Mailboxes.empty()) return {};
    return {settings.Mailboxes.begin() + 1, settings.Mailboxes.end()};
}

// Records the fields as the load left them, however it ends.
class LoadRecord {
  public:
    LoadRecord(TSettingsLoad& load, const TSettings& settings) : load_(load), settings_(settings) {
        load_.Unreached.clear();
        for (const TSettingValue& value : SettingValues()) load_.Unreached.emplace_back(value.Name);
        load_.Unreached.emplace_back(kMailboxesKey);
    }
    ~LoadRecord() { load_.Left = settings_; }
    LoadRecord(const LoadRecord&) = delete;
    LoadRecord& operator=(const LoadRecord&) = delete;
    void Reach(const std::string& name) { std::erase(load_.Unreached, name); }
    void ReachAll() { load_.Unreached.clear(); }

  private:
    TSettingsLoad& load_;
    const TSettings& settings_;
};

// Stored, unread and unchanged since: what is stored there is still the user's. A value that
// is not stored (a key that held only the kill list, a damaged file moved aside) is written,
// or the next load would stop at it again.
bool KeepStored(TRegistry& registry, const TSettingValue& value, const TSettings& settings,
                const TSettingsLoad& load) {
    return std::ranges::find(load.Unreached, value.Name) != load.Unreached.end() &&
           SameIn(value, settings, load.Left) && registry.ValueExists(value.Name);
}

std::vector<TSettingValue> InWriteOrder() {
    const std::span<const TSettingValue> values = SettingValues();
    std::vector<TSettingValue> ordered(values.begin(), values.end());
    std::ranges::sort(ordered, {}, &TSettingValue::WriteOrder);
    return ordered;
}

// Writes the values the filter picks to the current key, in write order, by the rules above.
template <class Filter>
void WriteValues(TRegistry& registry, const TSettings& settings, const TSettingsLoad& load,
                 Filter picks) {
    static const std::vector<TSettingValue> inWriteOrder = InWriteOrder();
    for (const TSettingValue& value : inWriteOrder)
        if (picks(value) && !KeepStored(registry, value, settings, load))
            StoreValue(registry, value, settings);
}

// Reads the current key as a further mailbox, by the main key's rules for a mailbox's values;
// a required value that cannot be read marks the whole mailbox unreadable.
TMailbox ReadMailbox(TRegistry& registry, int number) {
    TSettings scratch;
    std::string fault;
    for (const TSettingValue& value : SettingValues()) {
        if (!PerMailbox(value)) continue;
        if (value.Keeping == TKeeping::Optional) {
            ReadLeniently(registry, value, scratch);
            continue;
        }
        try {
            ReadStrictly(registry, value, scratch);
        } catch (const ERegistryException& e) {
            if (fault.empty()) fault = e.Message();
        }
    }
    TMailbox mailbox = FirstMailbox(scratch);
    mailbox.StoredAt.Number = number;
    if (!fault.empty())
        mailbox.Unreadable = "The stored mailbox " + std::to_string(number) +
                             " cannot be read; it is kept as it is and not checked (" + fault +
                             ").";
    return mailbox;
}

// Reads the open settings key, which it closes; what stopped the required reads, if any. A
// required value that fails stops the required reads there; the optional ones are read all the
// same, so that such a stop never turns a chosen safeguard off for the session.
std::exception_ptr ReadMainKey(TRegistry& registry, TSettings& settings, LoadRecord& record) {
    TKeyCloser closer(registry);
    std::exception_ptr stop;
    for (const TSettingValue& value : SettingValues()) {
        if (value.Keeping == TKeeping::Optional) {
            record.Reach(value.Name);
            ReadLeniently(registry, value, settings);
            continue;
        }
        if (stop) continue;
        try {
            record.Reach(value.Name);
            ReadStrictly(registry, value, settings);
        } catch (...) {
            stop = std::current_exception();
        }
    }
    return stop;
}

// Refuses, before anything is written, a save that would lose a mailbox: an unreadable one
// first (the settings key would get empty values and its own sub-key would go), or one the
// sub-keys cannot hold.
void RefuseUnsavable(const TSettings& settings) {
    if (!FirstMailbox(settings).Unreadable.empty())
        throw ERegistryException(
            "A mailbox that cannot be read cannot be the first one; nothing was saved.");
    RefuseUnstorableMailboxes(Further(settings));
}

void WriteMailbox(TRegistry& registry, const TMailbox& mailbox) {
    TSettings scratch;
    FirstMailbox(scratch) = mailbox;
    WriteValues(registry, scratch, TSettingsLoad{}, PerMailbox);
}

}  // namespace

std::string TMailbox::ShownName() const {
    return Name.empty() ? User + "@" + Connection.Host : Name;
}

TMailboxId NewMailboxId() {
    static std::atomic<unsigned long long> last{0};
    return static_cast<TMailboxId>(++last);
}

TMailbox* TSettings::Find(TMailboxId id) {
    return const_cast<TMailbox*>(std::as_const(*this).Find(id));
}

const TMailbox* TSettings::Find(TMailboxId id) const {
    const auto found = std::ranges::find(Mailboxes, id, &TMailbox::Id);
    return found == Mailboxes.end() ? nullptr : &*found;
}

void LoadSettings(TRegistry& registry, TSettings& settings) {
    TSettingsLoad load;
    LoadSettings(registry, settings, load);
}

void LoadSettings(TRegistry& registry, TSettings& settings, TSettingsLoad& load) {
    FirstMailbox(settings);  // a load always yields at least one mailbox
    LoadRecord record(load, settings);
    if (!registry.OpenKey(kSettingsKey, false)) {
        record.ReachAll();  // nothing stored, nothing to keep
        return;
    }
    const std::exception_ptr stop = ReadMainKey(registry, settings, record);
    // The further mailboxes check even when the first one's values stopped the load.
    settings.Mailboxes.erase(settings.Mailboxes.begin() + 1, settings.Mailboxes.end());
    for (TMailbox& further : LoadStoredMailboxes(registry, ReadMailbox))
        settings.Mailboxes.push_back(std::move(further));
    record.Reach(kMailboxesKey);
    if (stop) std::rethrow_exception(stop);
}

void SaveSettings(TRegistry& registry, const TSettings& settings) {
    SaveSettings(registry, settings, TSettingsLoad{});
}

void SaveSettings(TRegistry& registry, const TSettings& settings, const TSettingsLoad& load) {
    RefuseUnsavable(settings);
    TRegistryBatch batch(registry);
    registry.OpenKey(kSettingsKey, true);  // a failure shows as the first write's error
    {
        TKeyCloser closer(registry);
        WriteValues(registry, settings, load, [](const TSettingValue&) { return true; });
    }
    // Mailboxes a load never read are still the user's, unless the user has added some since.
    const bool unread = std::ranges::find(load.Unreached, kMailboxesKey) != load.Unreached.end();
    const std::vector<TMailbox> further = Further(settings);
    if (!unread || further != Further(load.Left))
        SaveStoredMailboxes(registry, further, WriteMailbox);
    batch.Commit();
}
