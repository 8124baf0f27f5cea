#pragma once

#include <string>
#include <vector>

// An ordered list of byte strings: message lines, kill list rules, list box items.
using TStringList = std::vector<std::string>;
