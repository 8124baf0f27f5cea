// Vornask: start-up, the message loop and shut-down.

#include "net/ip_misc.h"
#include "platform/app_exceptions.h"
#include "platform/help_viewer.h"
#include "shell/application.h"
#include "shell/check_command.h"
#include "shell/command_line.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
    const TCommandLine commandLine = ParseCommandLine(CommandLineArguments(argc, argv));
    if (commandLine.Action == TCommandAction::Check)
        return RunCheckCommand(argc, argv, commandLine.PasswordStdin);
    if (commandLine.Action != TCommandAction::Run) return ReportCommandLine(commandLine);
    StartSockets();
    int status = 0;
    {
        TApplication application(argc, argv);
        SetApplicationHelpFile("Vornask.hlp");
        TfrmMain frmMain;
        // A failure here (a settings value missing) leaves the hook uninstalled: the default
        // error box reports it, and every later one, while the window works on.
        Guarded(&frmMain, [&] { frmMain.FormCreate(); });
        Guarded(&frmMain, [&] { frmMain.Start(); });
        status = application.exec();
        Guarded(&frmMain, [&] { frmMain.FormDestroy(); });
    }
    StopSockets();
    return status;
}
