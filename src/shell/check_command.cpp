#include "shell/check_command.h"

#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "base/exception.h"
#include "net/ip_misc.h"
#include "net/pop3.h"
#include "platform/registry.h"
#include "shell/check_session.h"
#include "shell/remembered_credential.h"
#include "shell/settings.h"
#include "shell/shown_message.h"

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

void UseCredential(TPop3& pop3, const TSettings& settings,
                   const std::optional<std::string>& typed) {
    const std::optional<std::string> credential = typed ? typed : RememberedCredential(settings);
    if (!credential) throw ENotSetUp(kNoPasswordText);
    if (settings.Connection.Authentication == TAuthentication::OAuth2)
        pop3.AccessToken = *credential;
    else
        pop3.Password = *credential;
}

// The check itself; raises what the settings, the credential lookup or the session raise.
int32_t CheckOnce(bool passwordFromStdin) {
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
    pop3.Use(settings.Connection);
    pop3.UserName = settings.User;
    UseCredential(pop3, settings, typed);
    return RunCheckSession(pop3, registry, settings);
}

}  // namespace

int RunCheckCommand(int argc, char** argv, bool passwordFromStdin) {
    // The keyring and the token refresh wait in an event loop; no display is opened.
    QCoreApplication application(argc, argv);
    StartSockets();
    int status = 0;
    try {
        PrintLine(stdout, CheckOnce(passwordFromStdin) != 0 ? "You have mail!" : "No mail.");
    } catch (const Exception& e) {
        PrintLine(stderr, ShownMessage(e));
        status = FailedStatus;
    } catch (const std::exception& e) {
        PrintLine(stderr, e.what());
        status = FailedStatus;
    }
    StopSockets();
    return status;
}
