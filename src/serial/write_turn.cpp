// A release that sees waiters hands the turn to the oldest under the mutex: it stays taken, so
// the releaser's next Take queues behind them. One that sees none stores "free", then looks again; a
// waiter counts itself, then tries to take the turn. Both orders are sequentially consistent, so
// either the releaser sees the late waiter (and wakes it, after the waiter is asleep: it holds
// the mutex until then) or the waiter's attempt sees the turn free.

#include "serial/write_turn.h"

#include <algorithm>

bool CWriteTurn::TryTake()
{
    bool expected = false;
    return m_bTaken.compare_exchange_strong(expected, true);
}

bool CWriteTurn::Take(const CDeadline& deadline)
{
    if (TryTake())
        return true;
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = ++m_nLastTicket;
    m_waiting.push_back(ticket);
    m_nWaiters.fetch_add(1);
    const auto claim = [this, ticket] {
        if (m_nHandedTo == ticket) {
            m_nHandedTo = 0;
            return true;
        }
        return TryTake();
    };
    bool taken = true;
    if (deadline.IsLimited())
        taken = m_cvFree.wait_until(lock, deadline.When(), claim);
    else
        m_cvFree.wait(lock, claim);
    m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), ticket));
    m_nWaiters.fetch_sub(1);
    return taken;
}

void CWriteTurn::Release()
{
    if (m_nWaiters.load() != 0) {
        std::lock_guard lock(m_mutex);
        // A waiter that gave up at its limit has left; with none left the turn is simply free.
        if (!m_waiting.empty())
            m_nHandedTo = m_waiting.front();
        else
            m_bTaken.store(false);
    } else {
        m_bTaken.store(false);
        if (m_nWaiters.load() == 0)
            return;
        std::lock_guard lock(m_mutex);
    }
    // All of them: one that wakes at its deadline must not swallow the wake-up of another.
    m_cvFree.notify_all();
}
