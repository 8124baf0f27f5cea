#pragma once

// `vornask --check`: one check with the stored settings and no window, for scripts and timers.
// Prints the tooltip's text ("You have mail!" or "No mail.") and what the check did ("5 messages
// waiting, 3 deleted.") on stdout and gives 0, or prints the failure as the error box would
// show it on stderr and gives 1. Needs no display.

// The password comes from the first line of standard input when passwordFromStdin is set (the
// access token with OAuth2), else from what is remembered (TCredentialSource). A refresh token
// the provider refused is forgotten, as the window forgets it.
int RunCheckCommand(int argc, char** argv, bool passwordFromStdin);
