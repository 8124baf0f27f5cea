#pragma once

// An IMAP session of a mailbox: the client handed the mailbox's connection, user and
// credential, then connected and signed in (TImap::Open). Shared by the check, the watch that
// keeps IDLE, the dry run, Test connection and `vornask --check`.

#include "app/credential_source.h"
#include "filter/imap_pass.h"

class TImap;
struct TMailbox;
struct TSettings;

// Hands the mailbox's connection, user and credential to the client. An unreadable protocol,
// encryption or way of signing in raises before anything is sent.
void PrepareImapSession(TImap& imap, const TMailbox& mailbox, const TCredential& credential);
// PrepareImapSession, then Open.
void OpenImapSession(TImap& imap, const TMailbox& mailbox, const TCredential& credential);
// What a pass over the mailbox's folder takes from the mailbox and the shared settings.
TImapPassSettings ImapPassSettingsOf(const TSettings& settings, const TMailbox& mailbox);
