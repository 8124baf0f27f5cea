#pragma once

// Where the further mailboxes live in the hive: the sub-keys "2", "3", ... of "Mailboxes" below
// the settings key, which numbers they may have, and how a save renumbers them after a removal
// without touching what is not ours or could not be read. What each sub-key holds is the
// settings table's business (setting_values.cpp), passed in as read and write.

#include <functional>
#include <vector>

#include "app/settings.h"

class TRegistry;

// Reads the current key as the further mailbox stored under number.
using TReadMailbox = std::function<TMailbox(TRegistry& registry, int number)>;
// Writes the mailbox's values to the current key.
using TWriteMailbox = std::function<void(TRegistry& registry, const TMailbox& mailbox)>;

// The further mailboxes in the order of their numbers (a gap is no fault).
std::vector<TMailbox> LoadStoredMailboxes(TRegistry& registry, const TReadMailbox& read);
// Raises ERegistryException, before anything is written, when a mailbox would need a number no
// load reads.
void RefuseUnstorableMailboxes(const std::vector<TMailbox>& further);
// Stores the further mailboxes at 2, 3, ... in order, each one's stored values moved along when
// an earlier one was removed; an unreadable one keeps its number and its values. "Mailboxes"
// goes when nothing is left below it.
void SaveStoredMailboxes(TRegistry& registry, const std::vector<TMailbox>& mailboxes,
                         const TWriteMailbox& write);
