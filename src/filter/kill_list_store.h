#pragma once

#include "base/string_list.h"

class TRegistry;

inline constexpr const char* kKillListKey = "\\Software\\Quorvat\\Vornask\\Kill list";

void LoadKillList(TRegistry& registry, TStringList& list);
void SaveKillList(TRegistry& registry, const TStringList& list);
// The rules as SaveKillList stores them: blanks at either end removed, empty ones left out.
TStringList KillListAsStored(const TStringList& list);
