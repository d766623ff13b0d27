#include "recording_sink.h"

void CRecordingSink::Post(CPostedEvent event)
{
    std::lock_guard lock(m_mutex);
    m_messages.push_back(std::move(event));
    m_cv.notify_all();
}

std::vector<CPostedEvent> CRecordingSink::Messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::size_t CRecordingSink::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_messages.size();
}

bool CRecordingSink::WaitFor(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_messages.size() >= count; });
}
