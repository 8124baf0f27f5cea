#include "app/check_command.h"

#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "app/check_session.h"
#include "app/credential_source.h"
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

// The first line of standard input, its line end removed; nothing when the input is empty.
std::optional<std::string> ReadPasswordLine() {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
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

// The check itself; raises what the settings, the credential lookup or the session raise.
TCheckCounts CheckOnce(bool passwordFromStdin) {
    std::optional<std::string> typed;
    if (passwordFromStdin) {
        typed = ReadPasswordLine();
        if (!typed) throw ENotSetUp("No password on standard input.");
    }
    TRegistry registry;
    TSettings settings;
    LoadSettings(registry, settings);
    // Without stored settings the resolver's complaint about an empty name would say nothing.
    if (settings.Connection.Host.empty()) throw ENotSetUp(kNoServerText);
    TPop3 pop3;
    PrepareSession(pop3, settings);
    TTokenSource tokens;
    TCredentialSource credentials(tokens);
    credentials.Typed = [&typed](const TSettings&) { return typed; };
    TCheckSession session(pop3, registry, settings);
    SignIn(credentials, pop3, settings, [&] { session.Login(); });
    TCheckCounts counts;
    counts.Waiting = session.Listed();
    int32_t left = counts.Waiting;
    session.Run(left);
    counts.Deleted = counts.Waiting - left;
    return counts;
}

}  // namespace

int RunCheckCommand(int argc, char** argv, bool passwordFromStdin) {
    // The keyring and the token refresh wait in an event loop; no display is opened.
    QCoreApplication application(argc, argv);
    StartSockets();
    int status = 0;
    try {
        const TCheckCounts counts = CheckOnce(passwordFromStdin);
        PrintLine(stdout, counts.Waiting - counts.Deleted != 0 ? kYouHaveMailText : kNoMailText);
        PrintLine(stdout, CountsText(counts));
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
