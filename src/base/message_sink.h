#pragma once
// IMessageSink: where worker threads post their news for the thread that owns them (a typed
// CPostedEvent). Post may be called from any thread and never blocks on the receiver; the
// receiver handles the events on its own thread in posting order, one queue per owner.

#include "base/posted_event.h"

#include <optional>

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void Post(CPostedEvent event) = 0;
    // On the owner's thread: the next event posted and not yet handed over, for an owner that
    // takes its events from a queue itself (the command line's). A sink whose events an event
    // loop hands over (the window's) has none to give: they follow in their turn.
    virtual std::optional<CPostedEvent> TakeWaiting() { return std::nullopt; }
};
