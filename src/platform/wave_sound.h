#pragma once

#include <string>

// Plays a wave file, returning once it is done. An unplayable file falls back to the
// desktop's default new-mail sound; with no sound device nothing plays and nothing
// fails. One pair of enclosing double quotes around the name is removed first.
void PlayWaveSound(const std::string& fileName);
