#pragma once

#include <string>

// Help topics by context number.
enum HelpContext { kHelpIndex = 1, kHelpWhatIs = 2, kHelpAuthor = 3, kHelpKillList = 6, kHelpMailOptions = 7 };

// The application's help file name ("Vornask.hlp"), set once at start.
void SetApplicationHelpFile(const std::string& name);
const std::string& ApplicationHelpFile();

// Opens (or raises) the one help window at the topic with the given context number.
void ShowHelpContext(int context);
