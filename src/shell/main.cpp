// Vornask: start-up, the message loop and shut-down.

#include <QGuiApplication>

#include "app/check_command.h"
#include "app/command_line.h"
#include "net/ip_misc.h"
#include "platform/app_exceptions.h"
#include "platform/help_viewer.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace {

// Starts that would watch the same mailbox on the same desktop share a guard: the same user,
// settings file and display.
std::string InstanceKey() {
    return TRegistry::DefaultHivePath() + '\n' + QGuiApplication::platformName().toStdString() +
           '\n' + qEnvironmentVariable("WAYLAND_DISPLAY").toStdString() + '\n' +
           qEnvironmentVariable("DISPLAY").toStdString();
}

int RunWindow(int argc, char** argv) {
    TApplication application(argc, argv);
    // A second start only brings the running one's window up.
    TSingleInstance instance(InstanceKey());
    if (instance.Claim() == TInstanceClaim::Running) return 0;
    SetApplicationHelpFile("Vornask.hlp");
    TfrmMain frmMain;
    ConnectGuarded(&instance, &TSingleInstance::Requested, &frmMain,
                   [&frmMain] { frmMain.AnotherStartAsked(); });
    // A failure here (a settings value missing) leaves the hook uninstalled: the default
    // error box reports it, and every later one, while the window works on.
    Guarded(&frmMain, [&] { frmMain.FormCreate(); });
    Guarded(&frmMain, [&] { frmMain.Start(); });
    const int status = application.exec();
    Guarded(&frmMain, [&] { frmMain.FormDestroy(); });
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const TCommandLine commandLine = ParseCommandLine(CommandLineArguments(argc, argv));
    if (commandLine.Action == TCommandAction::Check)
        return RunCheckCommand(argc, argv, commandLine.PasswordStdin, commandLine.Mailbox);
    if (commandLine.Action != TCommandAction::Run) return ReportCommandLine(commandLine);
    StartSockets();
    const int status = RunWindow(argc, argv);
    StopSockets();
    return status;
}
