#include "cli/signal_watcher.h"

#include <pthread.h>
#include <signal.h>

namespace {
// Sent by Stop to end the watcher's wait.
constexpr int kStopSignal = SIGUSR2;

sigset_t WatchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    // Ctrl+C, kill, the terminal closing (SIGHUP) and Ctrl+\ all end the run the same way,
    // so the port gets its settings back.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&set, signal);
    sigaddset(&set, kStopSignal);
    return set;
}
} // namespace

CSignalWatcher::CSignalWatcher()
{
    sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CSignalWatcher::~CSignalWatcher()
{
    Stop();
}

void CSignalWatcher::Start(std::function<void()> onSignal)
{
    m_thread = std::thread([this, onSignal = std::move(onSignal)] {
        sigset_t set = WatchedSignals();
        while (true) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0 || signal == kStopSignal)
                return;
            m_bInterrupted.store(true);
            if (onSignal)
                onSignal();
        }
    });
}

void CSignalWatcher::Stop()
{
    if (m_thread.joinable()) {
        pthread_kill(m_thread.native_handle(), kStopSignal);
        m_thread.join();
    }
}
