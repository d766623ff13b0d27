#include "app/main_frame.h"
#include "app/qx_prog_app.h"
#include "app/termination_handler.h"

#include <QApplication>

#include <cstdio>
#include <string_view>

namespace {
const char* kUsage =
    "Usage: quillorex-programmer [--simulate | --version | --help]\n"
    "\n"
    "Starts Quillorex Programmer, or brings the running window of this user forward.\n"
    "\n"
    "Options:\n"
    "  --simulate   use a simulated board on a pseudo-terminal as the port for this run\n"
    "  --version    print the version and exit\n"
    "  -h, --help   this text\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted too.\n";

// --help and --version need no display: they are answered before the application object
// exists, which ends the program when it cannot connect to one. 0 after the text; -1 otherwise.
int AnswerWithoutDisplay(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("quillorex-programmer %s\n", QX_VERSION);
            return 0;
        }
    }
    return -1;
}

// 0: start; otherwise the exit status after the usage text.
int CheckArguments(const QStringList& arguments)
{
    for (const QString& argument : arguments.mid(1)) {
        if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("--simulate")) {
            std::fprintf(stderr, "quillorex-programmer: unknown option '%s'\n\n%s", qPrintable(argument), kUsage);
            return 1;
        }
    }
    return -1;
}
} // namespace

int main(int argc, char* argv[])
{
    if (int status = AnswerWithoutDisplay(argc, argv); status >= 0)
        return status;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillorex Programmer"));
    QApplication::setOrganizationName(QStringLiteral("Quillorex"));
    QApplication::setApplicationVersion(QStringLiteral(QX_VERSION));
    // Qt has taken its own options out of the arguments by now.
    if (int status = CheckArguments(QApplication::arguments()); status >= 0)
        return status;
    // Before start-up, which may wait on a box: a request then still ends the program the normal
    // way and leaves no single-instance endpoint behind.
    CTerminationHandler termination;
    CQxProgApp app;
    QObject::connect(&termination, &CTerminationHandler::requested, &application, [&app] { app.Terminate(); });
    if (!app.InitInstance(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
