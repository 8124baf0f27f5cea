#pragma once

// The table of stored settings: every value under the settings key (a mailbox's own ones also
// under a further mailbox's sub-key), the field of TSettings it fills, and how one value is read
// strictly, read leniently and written. Walking the table for a whole load or save, and what a
// load leaves unread, is settings.cpp's business.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "app/settings.h"

class TRegistry;

// The mailbox whose values are under the main key: the first. The writable one makes sure
// there is one.
TMailbox& FirstMailbox(TSettings& settings);
const TMailbox& FirstMailbox(const TSettings& settings);

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
        if (!shared_) FirstMailbox(settings);
        return const_cast<T&>(In(static_cast<const TSettings&>(settings)));
    }
    const T& In(const TSettings& settings) const {
        if (shared_) return settings.*shared_;
        const TMailbox& mailbox = FirstMailbox(settings);
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

// Every stored setting, in reading order; a further mailbox's sub-key holds those PerMailbox.
std::span<const TSettingValue> SettingValues();

bool PerMailbox(const TSettingValue& value);
// Whether the value's field holds the same in both.
bool SameIn(const TSettingValue& value, const TSettings& a, const TSettings& b);

// Reads a required value from the current key; the field is assigned only once the read
// succeeded (ERegistryException otherwise).
void ReadStrictly(TRegistry& registry, const TSettingValue& value, TSettings& settings);
// Reads an optional value from the current key: missing or unreadable, the default, or what
// an unreadable one loads as.
void ReadLeniently(TRegistry& registry, const TSettingValue& value, TSettings& settings);
// Writes the value to the current key by its keeping; a field still holding what an unreadable
// stored value loaded as leaves the stored one alone.
void StoreValue(TRegistry& registry, const TSettingValue& value, const TSettings& settings);
