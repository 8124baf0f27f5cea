#pragma once

// How the dialogs name a mailbox: its own name, else USER@HOST as the tooltip and --check
// show it, but never a bare "@" or "user@" while the fields are still being filled in.

#include <QString>

struct TMailbox;

QString DialogName(const TMailbox& mailbox);
