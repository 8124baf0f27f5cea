#include "shell/settings.h"

#include "platform/registry.h"

namespace {

// "Fast Check" is read leniently: on only for the DWORD 1; missing, of another type or of
// another value means off, and never stops the load. It is written only once it has been on, so
// with it never used the stored settings are what they always were.
const char* const kFastCheck = "Fast Check";

void LoadFastCheck(TRegistry& registry, TSettings& settings) {
    uint32_t type = REG_NONE;
    std::string bytes;
    settings.FastCheck = registry.ReadData(kFastCheck, type, bytes) && type == REG_DWORD &&
                         bytes == std::string("\x01\0\0\0", 4);
}

void SaveFastCheck(TRegistry& registry, const TSettings& settings) {
    if (settings.FastCheck || registry.ValueExists(kFastCheck))
        registry.WriteInteger(kFastCheck, settings.FastCheck ? 1 : 0);
}

}  // namespace

void LoadSettings(TRegistry& registry, TSettings& settings) {
    if (!registry.OpenKey(kSettingsKey, false)) return;
    TKeyCloser closer(registry);
    LoadFastCheck(registry, settings);
    // Each field is assigned as soon as it is read: a failed read keeps what came before it.
    settings.SmtpHost = registry.ReadString("SMTP host");
    settings.User = registry.ReadString("User");
    settings.MailProgram = registry.ReadString("Mail Program");
    settings.LogFile = registry.ReadString("Log File");
    settings.Interval = registry.ReadInteger("Interval");
    settings.WavSound = registry.ReadString("WavSound");
    settings.ShowMessage = registry.ReadBool("ShowMessage");
}

void SaveSettings(TRegistry& registry, const TSettings& settings) {
    registry.OpenKey(kSettingsKey, true);  // a failure shows as the first write's error
    TKeyCloser closer(registry);
    registry.WriteString("SMTP host", settings.SmtpHost);
    registry.WriteString("User", settings.User);
    registry.WriteString("Mail Program", settings.MailProgram);
    registry.WriteInteger("Interval", settings.Interval);
    registry.WriteString("WavSound", settings.WavSound);
    registry.WriteBool("ShowMessage", settings.ShowMessage);
    registry.WriteString("Log File", settings.LogFile);
    SaveFastCheck(registry, settings);
}
