#pragma once
// CTerminalCounters: the bytes received from and sent to the board since the last reset, for
// the status bar. Any thread may add (the GUI thread for received and typed bytes, the sender's
// worker for a file); the GUI thread reads and resets.

#include <atomic>
#include <cstdint>

class CTerminalCounters {
public:
    void AddReceived(std::uint64_t count) { m_nReceived.fetch_add(count, std::memory_order_relaxed); }
    void AddSent(std::uint64_t count) { m_nSent.fetch_add(count, std::memory_order_relaxed); }
    std::uint64_t Received() const { return m_nReceived.load(std::memory_order_relaxed); }
    std::uint64_t Sent() const { return m_nSent.load(std::memory_order_relaxed); }
    void Reset()
    {
        m_nReceived.store(0);
        m_nSent.store(0);
    }

private:
    std::atomic<std::uint64_t> m_nReceived{0};
    std::atomic<std::uint64_t> m_nSent{0};
};
