#pragma once

#include <cstdint>
#include <string>

class TRegistry;

// The seven user settings; an empty path means the feature is off.
struct TSettings {
    std::string SmtpHost;
    std::string User;
    std::string MailProgram;
    std::string LogFile;
    int32_t Interval = 0;
    std::string WavSound;
    bool ShowMessage = false;
    // Examine each message only once ("Fast Check", REG_DWORD 0 or 1; absent means 0).
    bool FastCheck = false;
};

inline constexpr const char* kSettingsKey = "\\Software\\Quorvat\\Vornask";

// Loads what is stored under the settings key; stops at the first failed read.
void LoadSettings(TRegistry& registry, TSettings& settings);
// Writes all seven values, "Log File" last.
void SaveSettings(TRegistry& registry, const TSettings& settings);
