#pragma once
// CDeadline: the end of a wait of the serial line, as a time limit that reads the clock only when
// a wait first needs it: a transfer that never waits (a byte the driver takes at once) costs no
// clock read. From then on the end is fixed, so every later wait of the same call gets only the
// time that is left. One thread (the caller of the transfer); copy it before it is fixed.

#include <chrono>
#include <cstdint>
#include <optional>

class CDeadline {
public:
    using Clock = std::chrono::steady_clock;

    // No limit.
    CDeadline() = default;
    // limitMs from the first wait of the call.
    static CDeadline After(std::uint32_t limitMs)
    {
        CDeadline deadline;
        deadline.m_nLimitMs = limitMs;
        return deadline;
    }
    // A fixed time.
    static CDeadline At(Clock::time_point when)
    {
        CDeadline deadline;
        deadline.m_nLimitMs = 0;
        deadline.m_tAt = when;
        return deadline;
    }

    bool IsLimited() const { return m_nLimitMs.has_value(); }
    // The end, fixed at the first call (only when IsLimited()).
    Clock::time_point When() const
    {
        if (!m_tAt)
            m_tAt = Clock::now() + std::chrono::milliseconds(m_nLimitMs.value_or(0));
        return *m_tAt;
    }
    // Milliseconds left for poll(2), rounded up: -1 without a limit, 0 once it has passed.
    int PollTimeout() const
    {
        if (!IsLimited())
            return -1;
        // Fixed before the clock is read again, so a first wait gets at most the whole limit.
        const Clock::time_point end = When();
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return 0;
        return static_cast<int>(left < (1LL << 30) ? left : (1LL << 30));
    }

private:
    std::optional<std::uint32_t> m_nLimitMs;
    mutable std::optional<Clock::time_point> m_tAt;
};
