#pragma once

#include <string>
#include <vector>

// Splits a command line into words the way a POSIX shell does, without running a shell and
// without expansions: blanks separate words, '...' is literal, "..." keeps blanks and honours
// \" \\ \$ \` and line continuation, a backslash outside quotes escapes the next character.
// A quote left open runs to the end of the text rather than failing the start.
std::vector<std::string> SplitShellWords(const std::string& text);
