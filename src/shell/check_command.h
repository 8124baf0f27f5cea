#pragma once

// `vornask --check`: one check with the stored settings and no window, for scripts and timers.
// Prints the tooltip's text ("You have mail!" or "No mail.") on stdout and gives 0, or prints
// the failure as the tooltip would show it on stderr and gives 1. Needs no display.

// The password comes from the first line of standard input when passwordFromStdin is set (the
// access token with OAuth2), else from what is remembered (RememberedCredential).
int RunCheckCommand(int argc, char** argv, bool passwordFromStdin);
