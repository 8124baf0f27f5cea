#pragma once

// The session of one check of an IMAP mailbox, on the calling thread: sign in, one pass over
// its folder, logout. What the tray's check, `vornask --check` and the bench run for IMAP.

#include "app/mailbox_check.h"

class TImap;

// Signs in with the credential, opens the folder read-write and runs one pass, then logs out.
// Fills the result's Counts (Left: the unseen messages left; Deleted(): those removed),
// SignedIn (how far a failure got) and LeftFlagged. Raises what the client and the pass raise,
// with the connection closed.
void RunImapCheckSession(TImap& imap, TRegistry& registry, const TSettings& settings,
                         const TMailbox& mailbox, const TCredential& credential,
                         TMailboxCheckResult& result);
