#include "shell/settings.h"

#include <algorithm>

#include "platform/registry.h"

namespace {

// In the order of the load.
const std::vector<std::string> kLoadOrder = {"SMTP host", "User",     "Mail Program", "Log File",
                                             "Interval",  "WavSound", "ShowMessage"};

// Records the fields as the load left them, however it ends.
class LoadRecord {
  public:
    LoadRecord(TSettingsLoad& load, const TSettings& settings) : load_(load), settings_(settings) {
        load_.Unreached = kLoadOrder;
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

}  // namespace

void LoadSettings(TRegistry& registry, TSettings& settings) {
    TSettingsLoad load;
    LoadSettings(registry, settings, load);
}

void LoadSettings(TRegistry& registry, TSettings& settings, TSettingsLoad& load) {
    LoadRecord record(load, settings);
    if (!registry.OpenKey(kSettingsKey, false)) {
        record.ReachAll();  // nothing stored, nothing to keep
        return;
    }
    TKeyCloser closer(registry);
    // Each field is assigned as soon as it is read: a failed read keeps what came before it.
    auto readString = [&](const std::string& name, std::string& field) {
        record.Reach(name);
        field = registry.ReadString(name);
    };
    readString("SMTP host", settings.SmtpHost);
    readString("User", settings.User);
    readString("Mail Program", settings.MailProgram);
    readString("Log File", settings.LogFile);
    record.Reach("Interval");
    settings.Interval = registry.ReadInteger("Interval");
    readString("WavSound", settings.WavSound);
    record.Reach("ShowMessage");
    settings.ShowMessage = registry.ReadBool("ShowMessage");
}

void SaveSettings(TRegistry& registry, const TSettings& settings) {
    SaveSettings(registry, settings, TSettingsLoad{});
}

void SaveSettings(TRegistry& registry, const TSettings& settings, const TSettingsLoad& load) {
    // Unread and unchanged since: what is stored there is still the user's.
    auto keep = [&](const std::string& name, auto TSettings::*field) {
        return std::find(load.Unreached.begin(), load.Unreached.end(), name) !=
                   load.Unreached.end() &&
               settings.*field == load.Left.*field;
    };
    TRegistryBatch batch(registry);
    registry.OpenKey(kSettingsKey, true);  // a failure shows as the first write's error
    {
        TKeyCloser closer(registry);
        if (!keep("SMTP host", &TSettings::SmtpHost))
            registry.WriteString("SMTP host", settings.SmtpHost);
        if (!keep("User", &TSettings::User)) registry.WriteString("User", settings.User);
        if (!keep("Mail Program", &TSettings::MailProgram))
            registry.WriteString("Mail Program", settings.MailProgram);
        if (!keep("Interval", &TSettings::Interval))
            registry.WriteInteger("Interval", settings.Interval);
        if (!keep("WavSound", &TSettings::WavSound))
            registry.WriteString("WavSound", settings.WavSound);
        if (!keep("ShowMessage", &TSettings::ShowMessage))
            registry.WriteBool("ShowMessage", settings.ShowMessage);
        if (!keep("Log File", &TSettings::LogFile))
            registry.WriteString("Log File", settings.LogFile);
    }
    batch.Commit();
}
