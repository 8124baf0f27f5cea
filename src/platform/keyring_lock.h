#pragma once

// Whether the Secret Service's default collection is locked. The keychain library reads a
// locked item as missing, so a read that finds nothing asks here to tell the two apart. False
// where there is no Secret Service, no default collection, or no answer within the bound (the
// wait runs a local event loop, as the keyring's calls do).

#include <chrono>

bool SecretServiceLocked(std::chrono::milliseconds bound);
