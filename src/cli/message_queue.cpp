#include "cli/message_queue.h"

void CMessageQueue::Post(CPostedMessage message)
{
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_mutex);
        wasEmpty = m_queue.empty();
        m_queue.push_back(std::move(message));
    }
    // The one taker waits only on an empty queue.
    if (wasEmpty)
        m_cv.notify_one();
}

CPostedMessage CMessageQueue::Take()
{
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return !m_queue.empty(); });
    CPostedMessage message = std::move(m_queue.front());
    m_queue.pop_front();
    return message;
}

std::optional<CPostedMessage> CMessageQueue::TryTake()
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return std::nullopt;
    CPostedMessage message = std::move(m_queue.front());
    m_queue.pop_front();
    return message;
}

std::optional<CPostedMessage> CMessageQueue::TakeUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_until(lock, deadline, [this] { return !m_queue.empty(); }))
        return std::nullopt;
    CPostedMessage message = std::move(m_queue.front());
    m_queue.pop_front();
    return message;
}
