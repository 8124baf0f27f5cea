#include "shell/settings.h"

#include <optional>

#include "net/encryption.h"
#include "platform/registry.h"

namespace {

// The connection values: each is read leniently and stored only when it is not its default.
const char* const kEncryption = "Encryption";
const char* const kPort = "Port";
const char* const kTrustedCertificate = "Trusted certificate";

std::optional<int32_t> ReadDword(TRegistry& registry, const char* name, int32_t low, int32_t high) {
    uint32_t type = 0;
    std::string bytes;
    if (!registry.ReadData(name, type, bytes) || type != REG_DWORD || bytes.size() != 4)
        return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[i]);
    const auto number = static_cast<int32_t>(value);
    if (number < low || number > high) return std::nullopt;
    return number;
}

std::optional<std::string> ReadFingerprint(TRegistry& registry) {
    uint32_t type = 0;
    std::string text;
    if (!registry.ReadData(kTrustedCertificate, type, text)) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    return NormalizeFingerprint(text.substr(0, text.find('\0')));
}

std::optional<int32_t> ReadEncryption(TRegistry& registry) {
    return ReadDword(registry, kEncryption, 0, 2);
}

std::optional<int32_t> ReadPort(TRegistry& registry) {
    return ReadDword(registry, kPort, 1, 65535);
}

int32_t UsualPortOf(const TSettings& settings) {
    return UsualPort(static_cast<TEncryption>(settings.Encryption));
}

void LoadConnection(TRegistry& registry, TSettings& settings) {
    settings.Encryption = ReadEncryption(registry).value_or(0);
    settings.Port = ReadPort(registry).value_or(UsualPortOf(settings));
    settings.TrustedCertificate = ReadFingerprint(registry).value_or("");
}

// A value at its default is not stored; one stored before is removed, unless it is one this
// program could not read (another tool's, left as it is).
void SaveConnection(TRegistry& registry, const TSettings& settings) {
    if (settings.Encryption != 0)
        registry.WriteInteger(kEncryption, settings.Encryption);
    else if (ReadEncryption(registry))
        registry.DeleteValue(kEncryption);
    if (settings.Port != UsualPortOf(settings))
        registry.WriteInteger(kPort, settings.Port);
    else if (ReadPort(registry))
        registry.DeleteValue(kPort);
    if (!settings.TrustedCertificate.empty())
        registry.WriteString(kTrustedCertificate, settings.TrustedCertificate);
    else if (ReadFingerprint(registry))
        registry.DeleteValue(kTrustedCertificate);
}

}  // namespace

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
    LoadConnection(registry, settings);
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
    SaveConnection(registry, settings);
}
