#include "base/message_queue.h"

void CMessageQueue::Post(CPostedEvent event)
{
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_mutex);
        wasEmpty = m_queue.empty();
        m_queue.push_back(std::move(event));
    }
    // The one taker waits only on an empty queue.
    if (wasEmpty)
        m_cv.notify_one();
}

CPostedEvent CMessageQueue::Take()
{
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return !m_queue.empty(); });
    CPostedEvent event = std::move(m_queue.front());
    m_queue.pop_front();
    return event;
}

std::optional<CPostedEvent> CMessageQueue::TryTake()
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return std::nullopt;
    CPostedEvent event = std::move(m_queue.front());
    m_queue.pop_front();
    return event;
}

std::optional<CPostedEvent> CMessageQueue::TakeUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_until(lock, deadline, [this] { return !m_queue.empty(); }))
        return std::nullopt;
    CPostedEvent event = std::move(m_queue.front());
    m_queue.pop_front();
    return event;
}
