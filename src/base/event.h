#pragma once
// CEvent: a manual- or auto-reset event (mutex + condition variable), as the download job and
// the process runner need. Any thread may Set, Reset and Wait. An auto-reset event releases
// exactly one waiter per Set and is unsignalled again once a wait has taken it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CEvent {
public:
    static constexpr std::uint32_t INFINITE_WAIT = 0xFFFFFFFF;

    explicit CEvent(bool manualReset = false, bool initialState = false);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within timeoutMs (INFINITE_WAIT: no limit).
    bool Wait(std::uint32_t timeoutMs = INFINITE_WAIT);
    // Waits until the deadline on the steady clock.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);
    bool IsSet() const;

private:
    const bool m_bManualReset;
    bool m_bSignalled;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
};
