#pragma once

// What one check of several mailboxes found in each, and the words that say it: the tooltip's
// lines, the count box's lines and `vornask --check`'s lines. With one mailbox none of these
// lines is shown.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct TMailbox;

struct TMailboxOutcome {
    int32_t Count = 0;    // messages left after its kill pass
    int32_t Deleted = 0;  // messages its kill pass deleted
    // The failure as the tooltip shows it; empty when the check reached its outcome (or the
    // mailbox was not checked yet).
    std::string Failure;
    // Not checked yet since the program started: its line says so rather than "no mail".
    bool Pending = false;
    bool Failed() const { return !Failure.empty(); }
};

// The whole outcome's first line: "You have mail!" when any mailbox has mail, else "No mail.".
std::string OutcomeHeadline(const std::vector<TMailboxOutcome>& outcomes);
// One line per mailbox, in order: "NAME: 3 waiting", "NAME: no mail" or "NAME: <failure>".
std::vector<std::string> OutcomeLines(const std::vector<const TMailbox*>& mailboxes,
                                      const std::vector<TMailboxOutcome>& outcomes);
// The tooltip: the headline, then with several mailboxes each mailbox's line, a long one
// shortened.
std::string OutcomeTip(const std::vector<const TMailbox*>& mailboxes,
                       const std::vector<TMailboxOutcome>& outcomes);
// The count box: "You have N messages!" for total, then with several mailboxes one line each
// ("NAME: 3 messages", "NAME: 1 message" or "NAME: <failure>").
std::string MailWaitingText(int32_t total, const std::vector<const TMailbox*>& mailboxes,
                            const std::vector<TMailboxOutcome>& outcomes);
// `vornask --check`'s line for one mailbox: "NAME: 3 waiting, 1 deleted." (waiting counts what
// is left after the deletions, as the tooltip does) or "NAME: <failure>".
std::string CheckCommandLine(const TMailbox& mailbox, const TMailboxOutcome& outcome);
// A watched mailbox's line while its connection is down: "no connection (trying again in
// 20 s)".
std::string WatchDownText(std::chrono::milliseconds pause);
// Said once per mailbox: its server can neither expunge single messages nor move them.
std::string LeftFlaggedText(const TMailbox& mailbox);
