#pragma once
// CMessageQueue: a message loop for a thread without an event loop (the command line, each board
// of the gang programmer, tests). Any thread posts (the serial listener, the download job); the
// owner's thread takes the events in posting order. Holds at most what has been posted and not
// taken: the job posts about a hundred progress steps per download, taken as they come.

#include "base/message_sink.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

class CMessageQueue : public IMessageSink {
public:
    void Post(CPostedEvent event) override;
    std::optional<CPostedEvent> TakeWaiting() override { return TryTake(); }
    // The next event; waits until one is posted.
    CPostedEvent Take();
    // The next event if one is waiting.
    std::optional<CPostedEvent> TryTake();
    // The next event; waits until one is posted or the time has come.
    std::optional<CPostedEvent> TakeUntil(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CPostedEvent> m_queue;
};
