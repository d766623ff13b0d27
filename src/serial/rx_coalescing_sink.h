#pragma once
// CRxCoalescingSink: sits between the serial listener and the window's message sink and keeps at
// most one "bytes received" notification (line events with line_event::kRxChar and no line errors) queued
// at a time. Its handler reads everything waiting, so a second one queued behind it would only
// make the window's queue longer while a fast board keeps talking. Post may be called from any
// thread; Taken is called by the handler (on the receiving thread) before it reads the port, so
// bytes that arrive while it reads are announced again. The target outlives this sink.

#include "base/message_sink.h"

#include <atomic>
#include <cstdint>

class CRxCoalescingSink : public IMessageSink {
public:
    explicit CRxCoalescingSink(IMessageSink& target) : m_target(target) {}

    void Post(CPostedEvent event) override;
    // The queued notification is being handled: the next one is forwarded again.
    void Taken() { m_bQueued.store(false); }
    bool IsQueued() const { return m_bQueued.load(); }

    // The events bit of "bytes received" (line_event::kRxChar).
    static constexpr std::uint32_t kRxChar = 0x0001;

private:
    IMessageSink& m_target;
    std::atomic<bool> m_bQueued{false};
};
