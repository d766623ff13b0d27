#include "base/termination_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {
// What the window takes through its notifier.
constexpr int kNotifiedSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Sent by WakeWaiter to end a wait.
constexpr int kWakeSignal = SIGUSR2;

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

sigset_t SignalsOf(CTerminationSignals::ERequests requests)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (requests == CTerminationSignals::ERequests::Any) {
        sigaddset(&set, SIGHUP);
        sigaddset(&set, SIGQUIT);
        sigaddset(&set, kWakeSignal);
    }
    return set;
}
} // namespace

std::intptr_t CTerminationSignals::InstallNotifier()
{
    if (g_signalPipe[0] >= 0 || ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kNotifiedSignals)
        ::sigaction(sig, &action, nullptr);
    return g_signalPipe[0];
}

void CTerminationSignals::DrainNotifier()
{
    char buffer[16];
    while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
    }
}

void CTerminationSignals::RemoveNotifier()
{
    if (g_signalPipe[0] < 0)
        return;
    for (int sig : kNotifiedSignals)
        ::signal(sig, SIG_DFL);
    for (int& fd : g_signalPipe) {
        ::close(fd);
        fd = -1;
    }
}

void CTerminationSignals::Block(ERequests requests)
{
    sigset_t set = SignalsOf(requests);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool CTerminationSignals::Wait(ERequests requests)
{
    sigset_t set = SignalsOf(requests);
    int signal = 0;
    return sigwait(&set, &signal) == 0 && signal != kWakeSignal;
}

void CTerminationSignals::WakeWaiter(std::thread& waiter)
{
    pthread_kill(waiter.native_handle(), kWakeSignal);
}
