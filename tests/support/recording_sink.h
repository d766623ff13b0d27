#pragma once
// A message sink that records the events posted, in order. Thread-safe; WaitFor lets a test wait
// for messages posted on a worker thread.

#include "base/message_sink.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class CRecordingSink : public IMessageSink {
public:
    void Post(CPostedEvent event) override;

    std::vector<CPostedEvent> Messages() const;
    std::size_t Count() const;
    // True when at least count messages have been posted within the time.
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<CPostedEvent> m_messages;
};
