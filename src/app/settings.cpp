#include "app/settings.h"

#include "app/stored_mailboxes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <optional>
#include <utility>
#include <variant>

#include "net/encryption.h"
#include "platform/registry.h"
#include "platform/registry_hive.h"

namespace {

// The mailbox whose values are under the main key: the first. A load makes sure there is one.
TMailbox& First(TSettings& settings) {
    if (settings.Mailboxes.empty()) settings.Mailboxes.emplace_back();
    return settings.Mailboxes.front();
}
const TMailbox& First(const TSettings& settings) {
    static const TMailbox none;
    return settings.Mailboxes.empty() ? none : settings.Mailboxes.front();
}

// The mailboxes stored in sub-keys of "Mailboxes": all but the first.
std::vector<TMailbox> Further(const TSettings& settings) {
    if (settings.Mailboxes.empty()) return {};
    return {settings.Mailboxes.begin() + 1, settings.Mailboxes.end()};
}

// Where a stored value lives: a member of TSettings that all mailboxes share, or one of a
// mailbox's own, of its connection or of its OAuth2 source.
template <class T>
class TPlace {
  public:
    constexpr TPlace(T TSettings::*shared) : shared_(shared) {}
    constexpr TPlace(T TMailbox::*own) : own_(own) {}
    constexpr TPlace(T TConnection::*inConnection) : inConnection_(inConnection) {}
    constexpr TPlace(T TOAuthConfig::*inOAuth) : inOAuth_(inOAuth) {}
    // Whether each mailbox holds a value of its own here.
    bool PerMailbox() const { return !shared_; }
    T& In(TSettings& settings) const {
        if (!shared_) First(settings);
        return const_cast<T&>(In(static_cast<const TSettings&>(settings)));
    }
    const T& In(const TSettings& settings) const {
        if (shared_) return settings.*shared_;
        const TMailbox& mailbox = First(settings);
        if (own_) return mailbox.*own_;
        return inConnection_ ? mailbox.Connection.*inConnection_ : mailbox.OAuth.*inOAuth_;
    }

  private:
    T TSettings::*shared_ = nullptr;
    T TMailbox::*own_ = nullptr;
    T TConnection::*inConnection_ = nullptr;
    T TOAuthConfig::*inOAuth_ = nullptr;
};

// The field a stored value fills; its type picks the registry calls.
using TSettingField =
    std::variant<TPlace<std::string>, TPlace<int32_t>, TPlace<bool>, TPlace<uint16_t>,
                 TPlace<std::optional<TEncryption>>, TPlace<std::optional<TAuthentication>>,
                 TPlace<std::optional<TMailProtocol>>>;

// Required values are read strictly (a failed read ends the load there) and always written.
// Optional values are read leniently (missing or unreadable: the default) and written only when
// they differ from the default; one back at its default is removed, unless what is stored could
// not be read (another tool's, left as it is). So with them at their defaults the hive holds
// what it held without them.
enum class TKeeping { Required, Optional };

struct TSettingValue {
    const char* Name;
    TSettingField Field;
    int WriteOrder;  // position among the writes, and so in a new hive file
    TKeeping Keeping = TKeeping::Required;
    // The numbers an optional integer or boolean may hold; any other reads as the default.
    int32_t Min = 0;
    int32_t Max = 1;
    // Sets the default of an optional value that follows other settings read before it.
    void (*SetDefaultOf)(TSettings&) = nullptr;
    // An optional text's stored form; nothing when the text is not valid (then the default).
    std::optional<std::string> (*Parse)(const std::string&) = nullptr;
    // What an optional text that is stored but cannot be read loads as, instead of the
    // default: for a safeguard the default would quietly turn off. Never written back. (An
    // encryption that cannot be read loads as kEncryptionUnreadable.)
    const char* UnreadableText = nullptr;
};

// A pin is kept as typed when it is no fingerprint, so that the check refuses it instead of
// leaving the choice to the system's trust store.
std::optional<std::string> PinText(const std::string& text) {
    return NormalizeFingerprint(text).value_or(text);
}

void SetUsualPort(TSettings& settings) {
    TConnection& connection = First(settings).Connection;
    connection.Port = UsualPort(connection.Encryption.value_or(TEncryption::None),
                                connection.Protocol.value_or(TMailProtocol::Pop3));
}

// A stored integer as the field's type, and back.
template <class T>
void SetNumber(T& field, int32_t number) {
    field = static_cast<T>(number);
}
void SetNumber(std::optional<TEncryption>& field, int32_t number) {
    field = EncryptionFromNumber(number);
}
void SetNumber(std::optional<TAuthentication>& field, int32_t number) {
    field = static_cast<TAuthentication>(number);  // in range: ReadInRange checked it
}
void SetNumber(std::optional<TMailProtocol>& field, int32_t number) {
    field = static_cast<TMailProtocol>(number);  // in range: ReadInRange checked it
}
template <class T>
int32_t NumberOf(const T& field) {
    return static_cast<int32_t>(field);
}
template <class T>
int32_t NumberOf(const std::optional<T>& field) {
    return static_cast<int32_t>(field.value());  // an unreadable one is never written
}

// Every stored setting, in reading order; a further mailbox's sub-key holds those PerMailbox. The
// defaults are TSettings' member initialisers, but the port's follows the encryption and the
// protocol, both read before it. "Log File" is read fourth but written last of the classic seven.
constexpr std::array kSettingValues{
    TSettingValue{"SMTP host", &TConnection::Host, 1},
    TSettingValue{"User", &TMailbox::User, 2},
    TSettingValue{"Mail Program", &TSettings::MailProgram, 3},
    TSettingValue{"Log File", &TSettings::LogFile, 7},
    TSettingValue{"Interval", &TSettings::Interval, 4},
    TSettingValue{"WavSound", &TSettings::WavSound, 5},
    TSettingValue{"ShowMessage", &TSettings::ShowMessage, 6},
    TSettingValue{"Fast Check", &TMailbox::FastCheck, 8, TKeeping::Optional},
    TSettingValue{"Encryption", &TConnection::Encryption, 9, TKeeping::Optional, 0, 2},
    TSettingValue{"Protocol", &TConnection::Protocol, 25, TKeeping::Optional, 0, 1},
    TSettingValue{"Port", &TConnection::Port, 10, TKeeping::Optional, 1, 65535, SetUsualPort},
    TSettingValue{"Trusted certificate", &TConnection::TrustedCertificate, 11, TKeeping::Optional,
                  0, 0, nullptr, PinText, kUnreadablePin},
    TSettingValue{"Decode Headers", &TSettings::DecodeHeaders, 12, TKeeping::Optional},
    TSettingValue{"Ignore Case", &TSettings::IgnoreCase, 13, TKeeping::Optional},
    TSettingValue{"Desktop Notification", &TSettings::DesktopNotification, 14, TKeeping::Optional},
    TSettingValue{"Count On Icon", &TSettings::CountOnIcon, 15, TKeeping::Optional},
    TSettingValue{"Authentication", &TConnection::Authentication, 16, TKeeping::Optional, 0, 2},
    TSettingValue{"OAuth authorization URL", &TOAuthConfig::AuthorizationUrl, 17,
                  TKeeping::Optional},
    TSettingValue{"OAuth token URL", &TOAuthConfig::TokenUrl, 18, TKeeping::Optional},
    TSettingValue{"OAuth scope", &TOAuthConfig::Scope, 19, TKeeping::Optional},
    TSettingValue{"OAuth client ID", &TOAuthConfig::ClientId, 20, TKeeping::Optional},
    TSettingValue{"OAuth client secret", &TOAuthConfig::ClientSecret, 21, TKeeping::Optional},
    TSettingValue{"Token command", &TOAuthConfig::TokenCommand, 22, TKeeping::Optional},
    TSettingValue{"Remember password", &TMailbox::RememberPassword, 23, TKeeping::Optional},
    TSettingValue{"Name", &TMailbox::Name, 24, TKeeping::Optional},
    TSettingValue{"Folder", &TMailbox::Folder, 26, TKeeping::Optional},
    TSettingValue{"Move To", &TMailbox::MoveTo, 27, TKeeping::Optional},
};

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
// Clang 14 does not deduce aggregate template arguments on its own.
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// Assigns the field only once its read succeeded.
void Read(TRegistry& registry, const TSettingValue& value, TSettings& settings) {
    const std::string name = value.Name;
    std::visit(
        Overloaded{
            [&](const TPlace<std::string>& f) { f.In(settings) = registry.ReadString(name); },
            [&](const TPlace<bool>& f) { f.In(settings) = registry.ReadBool(name); },
            [&](const auto& f) { SetNumber(f.In(settings), registry.ReadInteger(name)); },
        },
        value.Field);
}

void Write(TRegistry& registry, const TSettingValue& value, const TSettings& settings) {
    const std::string name = value.Name;
    std::visit(
        Overloaded{
            [&](const TPlace<std::string>& f) { registry.WriteString(name, f.In(settings)); },
            [&](const TPlace<bool>& f) { registry.WriteBool(name, f.In(settings)); },
            [&](const auto& f) { registry.WriteInteger(name, NumberOf(f.In(settings))); },
        },
        value.Field);
}

void SetDefault(const TSettingValue& value, TSettings& settings) {
    if (value.SetDefaultOf) {
        value.SetDefaultOf(settings);
        return;
    }
    static const TSettings defaults;
    std::visit([&](const auto& f) { f.In(settings) = f.In(defaults); }, value.Field);
}

bool IsDefault(const TSettingValue& value, const TSettings& settings) {
    TSettings defaults = settings;
    SetDefault(value, defaults);
    return std::visit([&](const auto& f) { return f.In(settings) == f.In(defaults); }, value.Field);
}

void ReadInRange(TRegistry& registry, const TSettingValue& value, TSettings& settings) {
    const std::string name = value.Name;
    std::visit(Overloaded{
                   [&](const TPlace<std::string>& f) {
                       std::optional<std::string> text = registry.ReadString(name);
                       if (value.Parse) text = value.Parse(*text);
                       if (!text) throw ERegistryException("Invalid data for '" + name + "'");
                       f.In(settings) = *text;
                   },
                   [&](const auto& f) {
                       // Only a whole DWORD in range counts; anything else is odd data.
                       uint32_t type = REG_NONE;
                       std::string data;
                       const bool whole = registry.ReadData(name, type, data) &&
                                          type == REG_DWORD && data.size() == 4;
                       const auto number = static_cast<int32_t>(DwordData(data));
                       if (!whole || number < value.Min || number > value.Max)
                           throw ERegistryException("Invalid data for '" + name + "'");
                       SetNumber(f.In(settings), number);
                   },
               },
               value.Field);
}

void RemoveReadable(TRegistry& registry, const TSettingValue& value) {
    TSettings scratch;
    try {
        ReadInRange(registry, value, scratch);
    } catch (const ERegistryException&) {
        return;  // missing, or not ours to judge
    }
    registry.DeleteValue(value.Name);
}

// What a stored value that cannot be read loads as, when that is not its default: an
// encryption or authentication is then not known, a text is its UnreadableText.
void SetUnreadable(const TSettingValue& value, TSettings& settings) {
    std::visit(
        Overloaded{
            [&]<class U>(const TPlace<std::optional<U>>& f) { f.In(settings) = std::nullopt; },
            [&](const TPlace<std::string>& f) {
                if (value.UnreadableText) f.In(settings) = value.UnreadableText;
            },
            [](const auto&) {},
        },
        value.Field);
}

void ReadLeniently(TRegistry& registry, const TSettingValue& value, TSettings& settings) {
    try {
        ReadInRange(registry, value, settings);
    } catch (const ERegistryException&) {
        SetDefault(value, settings);
        if (registry.ValueExists(value.Name)) SetUnreadable(value, settings);
    }
}

// Still what an unreadable stored value loaded as: the stored one is kept.
bool HoldsUnreadable(const TSettingValue& value, const TSettings& settings) {
    return std::visit(
        Overloaded{
            [&]<class U>(const TPlace<std::optional<U>>& f) { return !f.In(settings).has_value(); },
            [&](const TPlace<std::string>& f) {
                return value.UnreadableText && f.In(settings) == value.UnreadableText;
            },
            [](const auto&) { return false; },
        },
        value.Field);
}

// Records the fields as the load left them, however it ends.
class LoadRecord {
  public:
    LoadRecord(TSettingsLoad& load, const TSettings& settings) : load_(load), settings_(settings) {
        load_.Unreached.clear();
        for (const TSettingValue& value : kSettingValues) load_.Unreached.emplace_back(value.Name);
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
           std::visit([&](const auto& f) { return f.In(settings) == f.In(load.Left); },
                      value.Field) &&
           registry.ValueExists(value.Name);
}

bool PerMailbox(const TSettingValue& value) {
    return std::visit([](const auto& f) { return f.PerMailbox(); }, value.Field);
}

// Writes the values the filter picks to the current key, in write order, by the rules above.
template <class Filter>
void WriteValues(TRegistry& registry, const TSettings& settings, const TSettingsLoad& load,
                 Filter picks) {
    auto inWriteOrder = kSettingValues;
    std::ranges::sort(inWriteOrder, {}, &TSettingValue::WriteOrder);
    for (const TSettingValue& value : inWriteOrder) {
        if (!picks(value) || HoldsUnreadable(value, settings) ||
            KeepStored(registry, value, settings, load))
            continue;
        if (value.Keeping == TKeeping::Optional && IsDefault(value, settings))
            RemoveReadable(registry, value);
        else
            Write(registry, value, settings);
    }
}

// Reads the current key as a further mailbox, by the main key's rules for a mailbox's values;
// a required value that cannot be read marks the whole mailbox unreadable.
TMailbox ReadMailbox(TRegistry& registry, int number) {
    TSettings scratch;
    std::string fault;
    for (const TSettingValue& value : kSettingValues) {
        if (!PerMailbox(value)) continue;
        if (value.Keeping == TKeeping::Optional) {
            ReadLeniently(registry, value, scratch);
            continue;
        }
        try {
            Read(registry, value, scratch);
        } catch (const ERegistryException& e) {
            if (fault.empty()) fault = e.Message();
        }
    }
    TMailbox mailbox = First(scratch);
    mailbox.StoredAt.Number = number;
    if (!fault.empty())
        mailbox.Unreadable = "The stored mailbox " + std::to_string(number) +
                             " cannot be read; it is kept as it is and not checked (" + fault +
                             ").";
    return mailbox;
}

// Refuses, before anything is written, a save that would lose a mailbox: an unreadable one
// first (the settings key would get empty values and its own sub-key would go), or one the
// sub-keys cannot hold.
void RefuseUnsavable(const TSettings& settings) {
    if (!First(settings).Unreadable.empty())
        throw ERegistryException(
            "A mailbox that cannot be read cannot be the first one; nothing was saved.");
    RefuseUnstorableMailboxes(Further(settings));
}

void WriteMailbox(TRegistry& registry, const TMailbox& mailbox) {
    TSettings scratch;
    First(scratch) = mailbox;
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
    First(settings);  // a load always yields at least one mailbox
    LoadRecord record(load, settings);
    if (!registry.OpenKey(kSettingsKey, false)) {
        record.ReachAll();  // nothing stored, nothing to keep
        return;
    }
    std::exception_ptr stop;
    {
        TKeyCloser closer(registry);
        // A required value that fails stops the required reads there; the optional ones are
        // read all the same, so that such a stop never turns a chosen safeguard off for the
        // session.
        for (const TSettingValue& value : kSettingValues) {
            if (value.Keeping == TKeeping::Optional) {
                record.Reach(value.Name);
                ReadLeniently(registry, value, settings);
                continue;
            }
            if (stop) continue;
            try {
                record.Reach(value.Name);
                Read(registry, value, settings);
            } catch (...) {
                stop = std::current_exception();
            }
        }
    }
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
