#pragma once
// CMessageQueue: the command line's message loop. Any thread posts (the serial listener, the
// download job); the main thread takes the messages in posting order. Holds at most what has
// been posted and not taken: the job posts about a hundred progress steps per download, and the
// main thread takes them as they come.

#include "base/message_sink.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

class CMessageQueue : public IMessageSink {
public:
    void Post(CPostedMessage message) override;
    // The next message; waits until one is posted.
    CPostedMessage Take();
    // The next message if one is waiting.
    std::optional<CPostedMessage> TryTake();
    // The next message; waits until one is posted or the time has come.
    std::optional<CPostedMessage> TakeUntil(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CPostedMessage> m_queue;
};
