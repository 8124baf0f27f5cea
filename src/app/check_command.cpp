#include "app/check_command.h"

#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/check_session.h"
#include "app/command_line.h"
#include "app/credential_source.h"
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

// What a check did, for the line after its outcome.
struct TCheckCounts {
    int32_t Waiting = 0;  // messages the check listed
    int32_t Deleted = 0;
};

std::string CountsText(const TCheckCounts& counts) {
    return std::to_string(counts.Waiting) +
           (counts.Waiting == 1 ? " message waiting, " : " messages waiting, ") +
           std::to_string(counts.Deleted) + " deleted.";
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

// One mailbox's check; raises what the credential lookup or the session raise.
TCheckCounts CheckMailbox(TRegistry& registry, const TSettings& settings, const TMailbox& mailbox,
                          const std::optional<std::string>& typed) {
    if (!mailbox.Unreadable.empty()) throw ENotSetUp(mailbox.Unreadable);
    TPop3 pop3;
    PrepareSession(pop3, mailbox);
    TTokenSource tokens;
    TCredentialSource credentials(tokens);
    if (typed) credentials.Typed.TypeLine(mailbox.Id(), *typed);
    TCheckSession session(pop3, registry, settings, mailbox);
    SignIn(credentials, pop3, mailbox, [&] { session.Login(); });
    TCheckCounts counts;
    counts.Waiting = session.Listed();
    int32_t left = counts.Waiting;
    session.Run(left);
    counts.Deleted = counts.Waiting - left;
    return counts;
}

void PrintCounts(const TCheckCounts& counts) {
    PrintLine(stdout, counts.Waiting - counts.Deleted != 0 ? kYouHaveMailText : kNoMailText);
    PrintLine(stdout, CountsText(counts));
}

// The check of the one mailbox, as it always was: its failure raises.
void CheckOne(TRegistry& registry, const TSettings& settings, const TMailbox& mailbox,
              bool passwordFromStdin) {
    TTypedLines lines(passwordFromStdin);
    const std::optional<std::string> typed = lines.For(true);
    if (mailbox.Connection.Host.empty()) throw ENotSetUp(kNoServerText);
    PrintCounts(CheckMailbox(registry, settings, mailbox, typed));
}

// Every mailbox in order, each failure its own; the totals, then a line for each. A failure
// also goes to stderr, named, as a script's log expects failures there. Gives whether all
// reached their outcome.
bool CheckAll(TRegistry& registry, const TSettings& settings, bool passwordFromStdin) {
    TTypedLines lines(passwordFromStdin);
    TCheckCounts total;
    std::vector<std::string> shown;
    bool allWorked = true;
    for (const TMailbox& each : settings.Mailboxes) {
        const TMailbox* mailbox = &each;
        TMailboxOutcome outcome;
        try {
            const std::optional<std::string> typed = lines.For(TakesTypedLine(*mailbox));
            if (mailbox->Connection.Host.empty()) throw ENotSetUp(kNoServerText);
            const TCheckCounts counts = CheckMailbox(registry, settings, *mailbox, typed);
            outcome.Count = counts.Waiting - counts.Deleted;
            outcome.Deleted = counts.Deleted;
            total.Waiting += counts.Waiting;
            total.Deleted += counts.Deleted;
        } catch (const Exception& e) {
            outcome.Failure = FailureText(e);
        } catch (const std::exception& e) {
            outcome.Failure = e.what();
        }
        if (outcome.Failed()) {
            allWorked = false;
            PrintLine(stderr, mailbox->ShownName() + ": " + outcome.Failure);
        }
        shown.push_back(CheckCommandLine(*mailbox, outcome));
    }
    PrintCounts(total);
    for (const std::string& line : shown) PrintLine(stdout, line);
    return allWorked;
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
            CheckOne(registry, settings, *one, passwordFromStdin);
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
