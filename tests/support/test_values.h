#pragma once

// Fixed values that tests in several layers share.

#include <ctime>

// A SHA-256 fingerprint in the form a pin is stored in.
inline constexpr const char* kPin =
    "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:"
    "89";

// 6 December 2026, 18:01:23 local time: the clock of a check whose deletion stamps a test
// compares.
inline std::time_t FixedTime() {
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 6;
    local.tm_hour = 18;
    local.tm_min = 1;
    local.tm_sec = 23;
    local.tm_isdst = -1;
    return std::mktime(&local);
}
