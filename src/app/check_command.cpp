#include "app/check_command.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/check_session.h"
#include "app/command_line.h"
#include "app/credential_source.h"
#include "app/mailbox_check.h"
#include "app/mailbox_outcome.h"
#include "app/password_line.h"
#include "app/settings.h"
#include "app/shown_message.h"
#include "base/exception.h"
#include "net/ip_misc.h"
#include "net/pop3.h"
#include "platform/registry.h"

namespace {

constexpr int FailedStatus = 1;
constexpr const char* kNoServerText = "No mail server is set: enter it in Mail Options.";

class ENotSetUp : public Exception {
  public:
    using Exception::Exception;
};

void PrintLine(std::FILE* stream, const std::string& text) {
    std::fputs((text + "\n").c_str(), stream);
    std::fflush(stream);
}

std::string CountsText(const TSessionCounts& counts) {
    return std::to_string(counts.Left) +
           (counts.Left == 1 ? " message waiting, " : " messages waiting, ") +
           std::to_string(counts.Deleted()) + " deleted.";
}

// The failure as a script's log should read it: what is missing for a check without a typed
// credential says what to do on the command line.
std::string FailureText(const Exception& e) {
    if (const auto* again = dynamic_cast<const ESignInAgain*>(&e);
        again && again->Reason == TSignInAgainReason::NoneRemembered)
        return again->KeyringReason.empty() ? kCheckNotSignedInText
                                            : KeyringUnavailableText(again->KeyringReason);
    return ShownDetail(e);
}

std::string FailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        return FailureText(e);
    } catch (const std::exception& e) {
        return e.what();
    }
}

// Standard input's lines, read one at a time as the mailboxes ask for them.
class TTypedLines {
  public:
    explicit TTypedLines(bool fromStdin) : fromStdin_(fromStdin) {}
    // The next line for a mailbox that takes one; nothing for one that does not.
    std::optional<std::string> For(bool takesLine) {
        if (!fromStdin_ || !takesLine) return std::nullopt;
        std::optional<std::string> typed = ReadPasswordLine(std::cin);
        if (!typed) throw ENotSetUp("No password on standard input.");
        return typed;
    }

  private:
    bool fromStdin_;
};

// With several mailboxes a typed line goes only to those that cannot sign in without one.
bool TakesTypedLine(const TMailbox& mailbox) {
    return mailbox.Connection.Authentication != TAuthentication::OAuth2 &&
           !mailbox.RememberPassword;
}

// What became of one mailbox's check.
struct TCommandOutcome {
    TSessionCounts Counts;
    std::string Failure;  // empty when the check reached its outcome
};

// Checks the mailboxes at once, each with its typed line (if any), and gives their outcomes in
// the mailboxes' order. A mailbox that cannot start (no server, no line) fails alone.
std::vector<TCommandOutcome> CheckAtOnce(TRegistry& registry, const TSettings& settings,
                                         const std::vector<const TMailbox*>& mailboxes,
                                         const std::vector<std::optional<std::string>>& typed) {
    TTokenSource tokens;
    TCredentialSource credentials(tokens);
    for (size_t i = 0; i < mailboxes.size(); ++i)
        if (typed[i]) credentials.Typed.TypeLine(mailboxes[i]->Id(), *typed[i]);
    std::vector<TCommandOutcome> outcomes(mailboxes.size());
    std::vector<std::unique_ptr<TMailboxCheck>> checks;
    size_t running = 0;
    QEventLoop loop;
    for (size_t i = 0; i < mailboxes.size(); ++i) {
        checks.push_back(std::make_unique<TMailboxCheck>(credentials, registry.HivePath()));
        QObject::connect(checks.back().get(), &TMailboxCheck::Finished, &loop,
                         [&, i](const TMailboxCheckResult& result) {
                             outcomes[i].Counts = result.Counts;
                             if (result.Failure) outcomes[i].Failure = FailureText(result.Failure);
                             if (--running == 0) loop.quit();
                         });
        ++running;
        checks.back()->Start(settings, *mailboxes[i]);
    }
    if (running != 0) loop.exec();
    return outcomes;
}

void PrintCounts(const TSessionCounts& counts) {
    PrintLine(stdout, counts.Left != 0 ? kYouHaveMailText : kNoMailText);
    PrintLine(stdout, CountsText(counts));
}

// A mailbox's typed line, or why it cannot be checked.
std::optional<std::string> StartFailure(const TMailbox& mailbox) {
    if (!mailbox.Unreadable.empty()) return mailbox.Unreadable;
    if (mailbox.Connection.Host.empty()) return std::string(kNoServerText);
    return std::nullopt;
}

// The check of the one mailbox, as it always was: its failure goes to stderr alone.
bool CheckOne(TRegistry& registry, const TSettings& settings, const TMailbox& mailbox,
              bool passwordFromStdin) {
    TTypedLines lines(passwordFromStdin);
    const std::optional<std::string> typed = lines.For(true);
    if (const std::optional<std::string> failure = StartFailure(mailbox)) throw ENotSetUp(*failure);
    const TCommandOutcome outcome = CheckAtOnce(registry, settings, {&mailbox}, {typed}).front();
    if (!outcome.Failure.empty()) {
        PrintLine(stderr, outcome.Failure);
        return false;
    }
    PrintCounts(outcome.Counts);
    return true;
}

// The totals, then a line for each mailbox; gives whether all reached their outcome.
bool Report(const TSettings& settings, const std::vector<TCommandOutcome>& outcomes) {
    TSessionCounts total;
    std::vector<std::string> shown;
    bool allWorked = true;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const TMailbox& mailbox = settings.Mailboxes[i];
        TMailboxOutcome outcome;
        outcome.Failure = outcomes[i].Failure;
        if (outcome.Failed()) {
            allWorked = false;
            PrintLine(stderr, mailbox.ShownName() + ": " + outcome.Failure);
        } else {
            outcome.Count = outcomes[i].Counts.Left;
            outcome.Deleted = outcomes[i].Counts.Deleted();
            total.Listed += outcomes[i].Counts.Listed;
            total.Left += outcomes[i].Counts.Left;
        }
        shown.push_back(CheckCommandLine(mailbox, outcome));
    }
    PrintCounts(total);
    for (const std::string& line : shown) PrintLine(stdout, line);
    return allWorked;
}

// Every mailbox at once, each failure its own; the totals, then a line for each in order. A
// failure also goes to stderr, named, as a script's log expects failures there. Gives whether
// all reached their outcome.
bool CheckAll(TRegistry& registry, const TSettings& settings, bool passwordFromStdin) {
    TTypedLines lines(passwordFromStdin);
    std::vector<const TMailbox*> toCheck;
    std::vector<std::optional<std::string>> typed;
    std::vector<TCommandOutcome> outcomes(settings.Mailboxes.size());
    for (size_t i = 0; i < settings.Mailboxes.size(); ++i) {
        const TMailbox& mailbox = settings.Mailboxes[i];
        try {
            std::optional<std::string> line = lines.For(TakesTypedLine(mailbox));
            if (const std::optional<std::string> failure = StartFailure(mailbox))
                throw ENotSetUp(*failure);
            toCheck.push_back(&mailbox);
            typed.push_back(std::move(line));
        } catch (const Exception& e) {
            outcomes[i].Failure = FailureText(e);
        }
    }
    const std::vector<TCommandOutcome> checked = CheckAtOnce(registry, settings, toCheck, typed);
    for (size_t k = 0, i = 0; i < outcomes.size(); ++i)
        if (k < toCheck.size() && toCheck[k] == &settings.Mailboxes[i]) outcomes[i] = checked[k++];
    return Report(settings, outcomes);
}

// The mailbox the command line names, by its name or USER@HOST; nothing when none is.
const TMailbox* Named(const TSettings& settings, const std::string& name) {
    for (const TMailbox& mailbox : settings.Mailboxes)
        if (mailbox.ShownName() == name || mailbox.User + "@" + mailbox.Connection.Host == name)
            return &mailbox;
    return nullptr;
}

}  // namespace

int RunCheckCommand(int argc, char** argv, bool passwordFromStdin, const QString& mailboxName) {
    // The keyring and the token refresh wait in an event loop; no display is opened.
    QCoreApplication application(argc, argv);
    StartSockets();
    int status = 0;
    try {
        TRegistry registry;
        TSettings settings;
        LoadSettings(registry, settings);
        const TMailbox* one = &settings.Mailboxes.front();
        if (!mailboxName.isEmpty()) one = Named(settings, mailboxName.toStdString());
        if (!one) {
            status = ReportUsageError(QString::fromLocal8Bit(argv[0]),
                                      QStringLiteral("No mailbox is named '%1'.").arg(mailboxName));
        } else if (settings.Mailboxes.size() == 1 || !mailboxName.isEmpty()) {
            if (!CheckOne(registry, settings, *one, passwordFromStdin)) status = FailedStatus;
        } else if (!CheckAll(registry, settings, passwordFromStdin)) {
            status = FailedStatus;
        }
    } catch (const Exception& e) {
        PrintLine(stderr, FailureText(e));
        status = FailedStatus;
    } catch (const std::exception& e) {
        PrintLine(stderr, e.what());
        status = FailedStatus;
    }
    StopSockets();
    return status;
}
