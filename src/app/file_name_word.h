#pragma once

#include <QString>

// The first blank-separated word of a file box's text; a double-quoted word counts as one word
// and comes back without its quotes.
QString FirstWord(const QString& text);

// True when the word holds none of the characters that cannot be in a file name the open-file
// dialog would accept: ; , = + < > " [ ] |
bool IsPlausibleFileName(const QString& word);

// A picked path ready for the file box: quoted when a blank would split it, unless the user's
// text is quoted already.
QString QuotedIfBlank(const QString& path);
