#pragma once

#include <string>

// Plays a wave file and returns when it has played to its end. A file that cannot be played
// gives the desktop's default new-mail sound; with no sound device nothing plays and nothing
// fails. One pair of enclosing double quotes around the name is removed first.
void PlayWaveSound(const std::string& fileName);
