#pragma once
// CSignalWatcher: turns Ctrl+C (SIGINT), SIGTERM, SIGHUP and SIGQUIT into a call on a thread of its own, so the
// handler may take locks and set events (nothing of that is allowed in a signal handler).
// Construct it on the main thread before any other thread starts: the signals are blocked
// there and every later thread inherits the mask. Stop (or the destructor) joins the thread.

#include <atomic>
#include <functional>
#include <thread>

class CSignalWatcher {
public:
    CSignalWatcher();
    ~CSignalWatcher();
    CSignalWatcher(const CSignalWatcher&) = delete;
    CSignalWatcher& operator=(const CSignalWatcher&) = delete;

    // onSignal runs on the watcher's thread, once per signal received.
    void Start(std::function<void()> onSignal);
    void Stop();
    bool Interrupted() const { return m_bInterrupted.load(); }

private:
    std::thread m_thread;
    std::atomic<bool> m_bInterrupted{false};
};
