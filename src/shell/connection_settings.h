#pragma once

#include <array>

class TRegistry;
struct TSettings;

// The names of the connection values, in reading order.
inline constexpr std::array<const char*, 3> kConnectionValueNames{"Encryption", "Port",
                                                                  "Trusted certificate"};

// The connection values ("Encryption", "Port", "Trusted certificate") under the settings key,
// which must be the registry's current key. Each is read leniently: missing, of another type or
// out of range gives its default (no encryption, the usual port for the encryption, no pin).
void LoadConnection(TRegistry& registry, TSettings& settings);
// Stores each value only when it is not its default; one stored before is removed, unless it
// is one this program could not read (another tool's, left as it is).
void SaveConnection(TRegistry& registry, const TSettings& settings);
