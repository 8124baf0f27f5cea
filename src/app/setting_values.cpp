#include "app/setting_values.h"

#include <array>

#include "net/encryption.h"
#include "platform/registry.h"
#include "platform/registry_hive.h"

namespace {

// A pin is kept as typed when it is no fingerprint, so that the check refuses it instead of
// leaving the choice to the system's trust store.
std::optional<std::string> PinText(const std::string& text) {
    return NormalizeFingerprint(text).value_or(text);
}

void SetUsualPort(TSettings& settings) {
    TConnection& connection = FirstMailbox(settings).Connection;
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

}  // namespace

void ReadStrictly(TRegistry& registry, const TSettingValue& value, TSettings& settings) {
    const std::string name = value.Name;
    std::visit(
        Overloaded{
            [&](const TPlace<std::string>& f) { f.In(settings) = registry.ReadString(name); },
            [&](const TPlace<bool>& f) { f.In(settings) = registry.ReadBool(name); },
            [&](const auto& f) { SetNumber(f.In(settings), registry.ReadInteger(name)); },
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

TMailbox& FirstMailbox(TSettings& settings) {
    if (settings.Mailboxes.empty()) settings.Mailboxes.emplace_back();
    return settings.Mailboxes.front();
}

const TMailbox& FirstMailbox(const TSettings& settings) {
    static const TMailbox none;
    return settings.Mailboxes.empty() ? none : settings.Mailboxes.front();
}

std::span<const TSettingValue> SettingValues() {
    return kSettingValues;
}

bool PerMailbox(const TSettingValue& value) {
    return std::visit([](const auto& f) { return f.PerMailbox(); }, value.Field);
}

bool SameIn(const TSettingValue& value, const TSettings& a, const TSettings& b) {
    return std::visit([&](const auto& f) { return f.In(a) == f.In(b); }, value.Field);
}

void StoreValue(TRegistry& registry, const TSettingValue& value, const TSettings& settings) {
    if (HoldsUnreadable(value, settings)) return;
    if (value.Keeping == TKeeping::Optional && IsDefault(value, settings))
        RemoveReadable(registry, value);
    else
        Write(registry, value, settings);
}
