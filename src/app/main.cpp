#include "app/main_frame.h"
#include "app/qx_prog_app.h"

#include <QApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {
// A termination request (SIGTERM from the session or kill, SIGINT, SIGHUP) closes the main
// window the normal way, so the layout and the file list are saved and a running download is
// stopped first. The handler only writes to a pipe; the GUI thread does the rest.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void InstallTerminationHandler(CQxProgApp& app, QObject* parent)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [&app] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        if (CMainFrame* frame = app.MainWnd())
            frame->close();
        else
            QApplication::quit();
    });
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillorex Programmer"));
    QApplication::setOrganizationName(QStringLiteral("Quillorex"));
    CQxProgApp app;
    if (!app.InitInstance(QApplication::arguments()))
        return 0;
    InstallTerminationHandler(app, &application);
    return QApplication::exec();
}
