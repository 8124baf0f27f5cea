#pragma once

// UID SEARCH over a whole folder whose answer could outgrow the longest line the client takes
// (a folder of 150,000 unread messages): a folder of more than `window` messages is searched
// a window of message numbers at a time, in ascending order, so that each answer stays small.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TImap;

// The most windows one search takes; a folder claiming more messages is searched only that far.
inline constexpr uint32_t kMaxSearchWindows = 200;

// The UIDs that match, sorted, each once. Windows overlap a little, so that messages expunged
// meanwhile shift none out of sight; the search stops after the window in which more than
// `enough` were found (those of later windows have higher UIDs).
std::vector<uint32_t> ImapSearchAll(TImap& imap, const std::string& criteria, size_t enough,
                                    uint32_t window);
// How many messages match; nothing is kept.
uint32_t ImapSearchCount(TImap& imap, const std::string& criteria, uint32_t window);
