#pragma once

// The command line, read before any window is made: --help and --version print and end the
// program without a display; --check runs one check without a window. Qt's own options (-platform,
// -style, ...) are accepted here and left to the toolkit, which reads them when the application
// object is made.

#include <QString>
#include <QStringList>

enum class TCommandAction { Run, Help, Version, Check, UsageError };

struct TCommandLine {
    TCommandAction Action = TCommandAction::Run;
    QString Text;                // what Help, Version or UsageError prints
    bool PasswordStdin = false;  // Check: the password is the first line of standard input
    QString Mailbox = {};        // Check: the one mailbox to check (its name or USER@HOST)
};

// The arguments as the program received them, its name first.
QStringList CommandLineArguments(int argc, char** argv);

TCommandLine ParseCommandLine(const QStringList& arguments);

// Prints what a parsed command line asks for (an error on stderr) and gives the exit status:
// 0 for Help and Version, 2 for a usage error. Not for Run or Check.
int ReportCommandLine(const TCommandLine& commandLine);

// Prints a mistake on the command line found after parsing, as a parse error is printed, and
// gives the usage error's exit status.
int ReportUsageError(const QString& programPath, const QString& message);
