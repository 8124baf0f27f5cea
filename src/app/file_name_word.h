#pragma once

#include <QString>

// The first blank-separated word of a file box's text; a double-quoted word counts as one word
// and comes back without its quotes.
QString FirstWord(const QString& text);

// True when the word holds none of the characters that cannot be in a file name the open-file
// dialog would accept: ; , = + < > " [ ] |
bool IsPlausibleFileName(const QString& word);

// A chosen path as the file box shows it: in double quotes when it holds a blank and does not
// already begin with a double quote.
QString QuotedIfBlank(const QString& path);
