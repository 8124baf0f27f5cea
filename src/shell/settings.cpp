#include "shell/settings.h"

#include <algorithm>
#include <array>
#include <variant>

#include "platform/registry.h"

namespace {

// The field of TSettings a stored value fills; its type picks the registry calls.
using TSettingField =
    std::variant<std::string TSettings::*, int32_t TSettings::*, bool TSettings::*>;

// Required values are read strictly (a failed read ends the load there) and always written.
// Optional values are read leniently (missing or unreadable: the default) and written only when
// they differ from the default or are stored already, so that with them at their defaults the
// hive holds what it held without them.
enum class TKeeping { Required, Optional };

struct TSettingValue {
    const char* Name;
    TSettingField Field;
    int WriteOrder;  // position among the writes, and so in a new hive file
    TKeeping Keeping = TKeeping::Required;
};

// Every stored setting, in reading order. The defaults are TSettings' member initialisers.
// "Log File" is read fourth but written last.
constexpr std::array kSettingValues{
    TSettingValue{"SMTP host", &TSettings::SmtpHost, 1},
    TSettingValue{"User", &TSettings::User, 2},
    TSettingValue{"Mail Program", &TSettings::MailProgram, 3},
    TSettingValue{"Log File", &TSettings::LogFile, 7},
    TSettingValue{"Interval", &TSettings::Interval, 4},
    TSettingValue{"WavSound", &TSettings::WavSound, 5},
    TSettingValue{"ShowMessage", &TSettings::ShowMessage, 6},
};

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

// Assigns the field only once its read succeeded.
void Read(TRegistry& registry, const TSettingValue& value, TSettings& settings) {
    const std::string name = value.Name;
    std::visit(Overloaded{
                   [&](std::string TSettings::*f) { settings.*f = registry.ReadString(name); },
                   [&](int32_t TSettings::*f) { settings.*f = registry.ReadInteger(name); },
                   [&](bool TSettings::*f) { settings.*f = registry.ReadBool(name); },
               },
               value.Field);
}

void Write(TRegistry& registry, const TSettingValue& value, const TSettings& settings) {
    const std::string name = value.Name;
    std::visit(Overloaded{
                   [&](std::string TSettings::*f) { registry.WriteString(name, settings.*f); },
                   [&](int32_t TSettings::*f) { registry.WriteInteger(name, settings.*f); },
                   [&](bool TSettings::*f) { registry.WriteBool(name, settings.*f); },
               },
               value.Field);
}

bool IsDefault(const TSettingValue& value, const TSettings& settings) {
    static const TSettings defaults;
    return std::visit([&](auto f) { return settings.*f == defaults.*f; }, value.Field);
}

void ReadLeniently(TRegistry& registry, const TSettingValue& value, TSettings& settings) {
    try {
        Read(registry, value, settings);
    } catch (const ERegistryException&) {
        std::visit([&](auto f) { settings.*f = TSettings{}.*f; }, value.Field);
    }
}

}  // namespace

void LoadSettings(TRegistry& registry, TSettings& settings) {
    if (!registry.OpenKey(kSettingsKey, false)) return;
    TKeyCloser closer(registry);
    for (const TSettingValue& value : kSettingValues) {
        if (value.Keeping == TKeeping::Required)
            Read(registry, value, settings);
        else
            ReadLeniently(registry, value, settings);
    }
}

void SaveSettings(TRegistry& registry, const TSettings& settings) {
    registry.OpenKey(kSettingsKey, true);  // a failure shows as the first write's error
    TKeyCloser closer(registry);
    auto inWriteOrder = kSettingValues;
    std::ranges::sort(inWriteOrder, {}, &TSettingValue::WriteOrder);
    for (const TSettingValue& value : inWriteOrder) {
        if (value.Keeping == TKeeping::Optional && IsDefault(value, settings) &&
            !registry.ValueExists(value.Name))
            continue;
        Write(registry, value, settings);
    }
}
