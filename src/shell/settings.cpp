#include "shell/settings.h"

#include "platform/registry.h"

void LoadSettings(TRegistry& registry, TSettings& settings) {
    if (!registry.OpenKey(kSettingsKey, false)) return;
    TKeyCloser closer(registry);
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
}
