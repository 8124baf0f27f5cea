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
    // How the connection is protected. A classic file holds none of these: plain text to 110.
    int32_t Encryption = 0;  // a TEncryption value
    int32_t Port = 110;      // the usual port for the encryption unless the user chose another
    std::string TrustedCertificate;  // pinned SHA-256 fingerprint, hex pairs; empty: none
};

inline constexpr const char* kSettingsKey = "\\Software\\Quorvat\\Vornask";

// Loads what is stored under the settings key; stops at the first failed read of the seven
// classic values. The connection values after them are read leniently: missing, odd or out of
// range gives the default.
void LoadSettings(TRegistry& registry, TSettings& settings);
// Writes all seven values, "Log File" last, then each connection value that differs from its
// default (one that does not is removed), so a classic file stays as it was.
void SaveSettings(TRegistry& registry, const TSettings& settings);
