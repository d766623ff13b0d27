#include "base/event.h"

CEvent::CEvent(bool manualReset, bool initialState)
    : m_bManualReset(manualReset), m_bSignalled(initialState)
{
}

void CEvent::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    if (m_bManualReset)
        m_cv.notify_all();
    else
        m_cv.notify_one();
}

void CEvent::Reset()
{
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

bool CEvent::Wait(std::uint32_t timeoutMs)
{
    std::unique_lock lock(m_mutex);
    if (timeoutMs == INFINITE_WAIT)
        m_cv.wait(lock, [this] { return m_bSignalled; });
    else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_bSignalled; }))
        return false;
    if (!m_bManualReset)
        m_bSignalled = false;
    return true;
}

bool CEvent::WaitUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_until(lock, deadline, [this] { return m_bSignalled; }))
        return false;
    if (!m_bManualReset)
        m_bSignalled = false;
    return true;
}

bool CEvent::IsSet() const
{
    std::lock_guard lock(m_mutex);
    return m_bSignalled;
}
