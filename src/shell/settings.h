#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// What a load left behind, so that the save at the end does not overwrite stored values the
// load never read with fields that never held them.
struct TSettingsLoad {
    std::vector<std::string> Unreached;  // value names after the read that failed
    TSettings Left;                      // the fields as the load left them
};

// Loads what is stored under the settings key, one value after the other; a failed read of a
// required value raises and leaves the values after it as they were. The value that failed
// counts as reached; when the key cannot be opened (no key), nothing is unreached,
// but when opening raises, everything is.
void LoadSettings(TRegistry& registry, TSettings& settings);
void LoadSettings(TRegistry& registry, TSettings& settings, TSettingsLoad& load);
// Writes all seven values, "Log File" last, in one replacement of the file. With a load's
// record it skips each unreached value whose field still holds what the load left.
void SaveSettings(TRegistry& registry, const TSettings& settings);
void SaveSettings(TRegistry& registry, const TSettings& settings, const TSettingsLoad& load);
