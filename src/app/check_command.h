#pragma once

// `vornask --check`: one check with the stored settings and no window, for scripts and timers.
// Prints the tooltip's text ("You have mail!" or "No mail.") and what the check did ("5 messages
// waiting, 3 deleted.", counting what is left) on stdout and gives 0, or prints the failure as the
// error box would show it on stderr and gives 1. Needs no display.
//
// With several mailboxes all are checked at once, one failure stopping none of the others;
// after the outcome and the totals' lines comes one line per mailbox ("NAME: 3 waiting, 1
// deleted." or "NAME: <failure>") in the mailboxes' order, each failure also on stderr as "NAME:
// <failure>", and the status is 1 when any failed. mailboxName, when not empty, picks the one
// mailbox to check (by its name or USER@HOST), reported as with one mailbox; one that matches none
// is a usage error (status 2).

#include <QString>

// The password comes from the first line of standard input when passwordFromStdin is set (the
// access token with OAuth2), else from what is remembered (TCredentialSource). With several
// mailboxes each that neither remembers its password nor uses OAuth2 takes the next line. A refresh
// token the provider refused is forgotten, as the window forgets it.
int RunCheckCommand(int argc, char** argv, bool passwordFromStdin, const QString& mailboxName = {});
