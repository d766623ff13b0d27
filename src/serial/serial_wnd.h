#pragma once
// CSerialWnd: a listened serial port whose events are posted to a message sink as CPortEvent:
// the events, the line errors and the tag given to Open; it has no window, whatever the name says.
// Open and Close belong to the controlling thread; the sink must outlive the open port (Close
// clears it, then joins).

#include <atomic>
#include <cstdint>

#include "base/message_sink.h"
#include "serial/serial_listener.h"

class CSerialWnd : public CSerialListener {
public:
    CSerialWnd();
    ~CSerialWnd() override;

    using CSerialListener::Open;
    // Opens for overlapped use and starts the listener; its events carry tag.
    virtual std::error_code Open(const std::string& device, IMessageSink* sink, std::intptr_t tag = 0,
        std::uint32_t inQueue = 0, std::uint32_t outQueue = 0);
    std::error_code Close() override;
    void OnEvent(std::uint32_t events, std::uint32_t errors) override;

    // Where the events go; null once closed.
    IMessageSink* NotifySink() const { return m_pNotifySink.load(); }

private:
    std::atomic<IMessageSink*> m_pNotifySink{nullptr};
    std::atomic<std::intptr_t> m_nNotifyTag{0};
};
