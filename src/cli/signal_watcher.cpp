#include "cli/signal_watcher.h"

#include "base/termination_signals.h"

using ERequests = CTerminationSignals::ERequests;

CSignalWatcher::CSignalWatcher()
{
    // Ctrl+C, kill, the terminal closing and Ctrl+\ all end the run the same way, so the port
    // gets its settings back.
    CTerminationSignals::Block(ERequests::Any);
}

CSignalWatcher::~CSignalWatcher()
{
    Stop();
}

void CSignalWatcher::Start(std::function<void()> onSignal)
{
    m_thread = std::thread([this, onSignal = std::move(onSignal)] {
        while (CTerminationSignals::Wait(ERequests::Any)) {
            m_bInterrupted.store(true);
            if (onSignal)
                onSignal();
        }
    });
}

void CSignalWatcher::Stop()
{
    if (m_thread.joinable()) {
        CTerminationSignals::WakeWaiter(m_thread);
        m_thread.join();
    }
}
