#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

namespace {

constexpr int UsageErrorStatus = 2;

// The toolkit's own options as QGuiApplication and QApplication document them, with the name
// of the value each takes (empty for a flag).
struct TToolkitOption {
    const char* Name;
    const char* ValueName;
};
constexpr TToolkitOption ToolkitOptions[] = {
    {"platform", "name"},       {"platformpluginpath", "path"},
    {"platformtheme", "theme"}, {"plugin", "plugin"},
    {"qmljsdebugger", "value"}, {"qwindowgeometry", "geometry"},
    {"qwindowicon", "icon"},    {"qwindowtitle", "title"},
    {"session", "session"},     {"display", "display"},
    {"geometry", "geometry"},   {"style", "style"},
    {"stylesheet", "file"},     {"reverse", ""},
    {"widgetcount", ""},
};

// --help lists the program's options; --help-all also the toolkit's.
void AddToolkitOptions(QCommandLineParser& parser, bool shown) {
    for (const TToolkitOption& known : ToolkitOptions) {
        QCommandLineOption option(QString::fromLatin1(known.Name),
                                  QStringLiteral("Qt option, passed to the toolkit."),
                                  QString::fromLatin1(known.ValueName));
        if (!shown) option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void SetUpParser(QCommandLineParser& parser, bool showToolkitOptions) {
    // Qt's options are single-dash words (-platform), so no bundled short options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Watches a POP3 mailbox from the tray and deletes the messages its kill "
                       "list condemns."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("check"),
        QStringLiteral("Check the mailbox once with the stored settings and no window, print "
                       "the outcome and exit: 0 when the check worked, 1 when it failed.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("password-stdin"),
        QStringLiteral("With --check: read the password from the first line of standard "
                       "input instead of the keyring; with several mailboxes one line for each "
                       "that does not remember its password, in their order.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("mailbox"),
        QStringLiteral("With --check: check only the mailbox with this name (or USER@HOST)."),
        QStringLiteral("name")));
    AddToolkitOptions(parser, showToolkitOptions);
}

QString HelpText(const QString& programName, bool showToolkitOptions) {
    QCommandLineParser parser;
    SetUpParser(parser, showToolkitOptions);
    // Without an application object the parser cannot know the program's name.
    return parser.helpText().replace(QStringLiteral("<executable_name>"), programName);
}

QString UsageError(const QString& programName, const QString& message) {
    return QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
        .arg(programName, message);
}

}  // namespace

QStringList CommandLineArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
    const QString programName =
        arguments.isEmpty() ? QStringLiteral("vornask") : QFileInfo(arguments[0]).fileName();
    QCommandLineParser parser;
    SetUpParser(parser, false);
    if (!parser.parse(arguments))
        return {TCommandAction::UsageError, UsageError(programName, parser.errorText())};
    if (!parser.positionalArguments().isEmpty())
        return {TCommandAction::UsageError,
                UsageError(programName, QStringLiteral("Unexpected argument '%1'.")
                                            .arg(parser.positionalArguments().constFirst()))};
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return {TCommandAction::Help,
                HelpText(programName, parser.isSet(QStringLiteral("help-all")))};
    if (parser.isSet(QStringLiteral("version")))
        return {TCommandAction::Version, QStringLiteral("vornask " VORNASK_VERSION "\n")};
    const bool passwordStdin = parser.isSet(QStringLiteral("password-stdin"));
    const bool mailbox = parser.isSet(QStringLiteral("mailbox"));
    if (parser.isSet(QStringLiteral("check")))
        return {TCommandAction::Check, {}, passwordStdin, parser.value(QStringLiteral("mailbox"))};
    if (passwordStdin || mailbox)
        return {TCommandAction::UsageError,
                UsageError(programName, QStringLiteral("%1 needs --check.")
                                            .arg(passwordStdin ? QStringLiteral("--password-stdin")
                                                               : QStringLiteral("--mailbox")))};
    return {};
}

int ReportCommandLine(const TCommandLine& commandLine) {
    const bool error = commandLine.Action == TCommandAction::UsageError;
    std::FILE* stream = error ? stderr : stdout;
    std::fputs(commandLine.Text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return error ? UsageErrorStatus : 0;
}

int ReportUsageError(const QString& programPath, const QString& message) {
    return ReportCommandLine(
        {TCommandAction::UsageError, UsageError(QFileInfo(programPath).fileName(), message)});
}
