// Release stores "free", then looks for waiters; a waiter counts itself, then tries to take the
// turn. Both orders are sequentially consistent, so either the releaser sees the waiter (and
// wakes it, after the waiter is asleep: it holds the mutex until then) or the waiter's attempt
// sees the turn free.

#include "serial/write_turn.h"

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
    m_nWaiters.fetch_add(1);
    bool taken = true;
    if (deadline.IsLimited())
        taken = m_cvFree.wait_until(lock, deadline.When(), [this] { return TryTake(); });
    else
        m_cvFree.wait(lock, [this] { return TryTake(); });
    m_nWaiters.fetch_sub(1);
    return taken;
}

void CWriteTurn::Release()
{
    m_bTaken.store(false);
    if (m_nWaiters.load() == 0)
        return;
    {
        std::lock_guard lock(m_mutex);
    }
    // All of them: one that wakes at its deadline must not swallow the wake-up of another.
    m_cvFree.notify_all();
}
