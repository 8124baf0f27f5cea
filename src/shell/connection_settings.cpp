#include "shell/connection_settings.h"

#include <optional>

#include "net/encryption.h"
#include "platform/registry.h"
#include "platform/registry_hive.h"
#include "shell/settings.h"

namespace {

// The connection values: each is read leniently and stored only when it is not its default.
const char* const kEncryption = kConnectionValueNames[0];
const char* const kPort = kConnectionValueNames[1];
const char* const kTrustedCertificate = kConnectionValueNames[2];

std::optional<int32_t> ReadDword(TRegistry& registry, const char* name, int32_t low, int32_t high) {
    uint32_t type = 0;
    std::string bytes;
    if (!registry.ReadData(name, type, bytes) || type != REG_DWORD || bytes.size() != 4)
        return std::nullopt;
    const auto number = static_cast<int32_t>(DwordData(bytes));
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

}  // namespace

void LoadConnection(TRegistry& registry, TSettings& settings) {
    settings.Encryption = ReadEncryption(registry).value_or(0);
    settings.Port = ReadPort(registry).value_or(UsualPortOf(settings));
    settings.TrustedCertificate = ReadFingerprint(registry).value_or("");
}

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
