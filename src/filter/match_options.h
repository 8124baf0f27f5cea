#pragma once

// How rules compare with a message. Both off is the classic matching: raw bytes of each
// physical line, letter case significant.
struct TMatchOptions {
    // Header lines unfolded and their encoded words decoded before matching.
    bool DecodeHeaders = false;
    // Header names and texts compared without regard to letter case.
    bool IgnoreCase = false;

    bool Classic() const { return !DecodeHeaders && !IgnoreCase; }
    bool operator==(const TMatchOptions&) const = default;
};
