#pragma once
// A message sink that records what is posted, for the listener tests. Thread-safe.

#include "base/message_sink.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class CRecordingSink : public IMessageSink {
public:
    void Post(CPostedMessage message) override
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(std::move(message));
        m_cv.notify_all();
    }
    using IMessageSink::Post;

    std::vector<CPostedMessage> Messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::size_t Count() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages.size();
    }
    // True when at least count messages have been posted within the time.
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_messages.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<CPostedMessage> m_messages;
};
