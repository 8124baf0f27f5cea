#include "app/mailbox_outcome.h"

#include "app/check_session.h"
#include "app/settings.h"

namespace {

std::string Named(const TMailbox& mailbox, const std::string& text) {
    return mailbox.ShownName() + ": " + text;
}

// A tooltip line past this many bytes is shortened, so that one long failure cannot crowd
// out the other mailboxes' lines.
constexpr size_t kMaxTipLine = 120;

std::string Shortened(const std::string& line) {
    if (line.size() <= kMaxTipLine) return line;
    size_t keep = kMaxTipLine - 3;
    // Never cut a multi-byte character in half.
    while (keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80) --keep;
    return line.substr(0, keep) + "...";
}

}  // namespace

std::string OutcomeHeadline(const std::vector<TMailboxOutcome>& outcomes) {
    for (const TMailboxOutcome& outcome : outcomes)
        if (!outcome.Failed() && outcome.Count != 0) return kYouHaveMailText;
    return kNoMailText;
}

std::vector<std::string> OutcomeLines(const std::vector<const TMailbox*>& mailboxes,
                                      const std::vector<TMailboxOutcome>& outcomes) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < mailboxes.size() && i < outcomes.size(); ++i) {
        const TMailboxOutcome& outcome = outcomes[i];
        lines.push_back(Named(*mailboxes[i], outcome.Pending    ? std::string("not checked yet")
                                             : outcome.Failed() ? outcome.Failure
                                             : outcome.Count == 0
                                                 ? std::string("no mail")
                                                 : std::to_string(outcome.Count) + " waiting"));
    }
    return lines;
}

std::string OutcomeTip(const std::vector<const TMailbox*>& mailboxes,
                       const std::vector<TMailboxOutcome>& outcomes) {
    std::string tip = OutcomeHeadline(outcomes);
    if (mailboxes.size() < 2) return tip;
    for (const std::string& line : OutcomeLines(mailboxes, outcomes)) tip += "\n" + Shortened(line);
    return tip;
}

std::string MailWaitingText(int32_t total, const std::vector<const TMailbox*>& mailboxes,
                            const std::vector<TMailboxOutcome>& outcomes) {
    std::string text = "You have " + std::to_string(total) + " messages!";
    if (mailboxes.size() < 2) return text;
    for (size_t i = 0; i < mailboxes.size() && i < outcomes.size(); ++i) {
        const TMailboxOutcome& outcome = outcomes[i];
        const std::string count =
            std::to_string(outcome.Count) + (outcome.Count == 1 ? " message" : " messages");
        text += "\n" + Named(*mailboxes[i], outcome.Pending    ? std::string("not checked yet")
                                            : outcome.Failed() ? outcome.Failure
                                                               : count);
    }
    return text;
}

std::string CheckCommandLine(const TMailbox& mailbox, const TMailboxOutcome& outcome) {
    if (outcome.Failed()) return Named(mailbox, outcome.Failure);
    return Named(mailbox, std::to_string(outcome.Count) + " waiting, " +
                              std::to_string(outcome.Deleted) + " deleted.");
}

std::string WatchDownText(std::chrono::milliseconds pause) {
    const long long seconds = (pause.count() + 999) / 1000;
    const std::string when = seconds < 120 ? std::to_string(seconds) + " s"
                                           : std::to_string((seconds + 59) / 60) + " min";
    return "no connection (trying again in " + when + ")";
}

std::string LeftFlaggedText(const TMailbox& mailbox) {
    return Named(mailbox,
                 "this server can neither delete single messages nor move them to Trash; "
                 "condemned messages are left marked as deleted.");
}
