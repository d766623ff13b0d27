#pragma once
// CSerialWnd: a listened serial port whose events are posted to a message sink; it has no window,
// whatever the name says. By default the message is the registered "CSerialWnd_DefaultComMsg".
// WPARAM: the events in the low 16 bits, the line errors in the high 16 bits; LPARAM: the value
// given to Open. Open and Close belong to the controlling thread; the sink must outlive the open
// port (Close clears it, then joins).

#include <atomic>
#include <cstdint>

#include "base/message_sink.h"
#include "serial/serial_listener.h"

// The process-wide number of "CSerialWnd_DefaultComMsg".
unsigned DefaultComMsg();

class CSerialWnd : public CSerialListener {
public:
    CSerialWnd();
    ~CSerialWnd() override;

    using CSerialListener::Open;
    // msg 0: DefaultComMsg(). Opens for overlapped use and starts the listener.
    virtual std::error_code Open(const std::string& device, IMessageSink* sink, unsigned msg = 0,
        std::intptr_t lParam = 0, std::uint32_t inQueue = 0, std::uint32_t outQueue = 0);
    std::error_code Close() override;
    void OnEvent(std::uint32_t events, std::uint32_t errors) override;

    unsigned NotifyMessage() const { return m_nNotifyMsg.load(); }

private:
    std::atomic<IMessageSink*> m_pNotifySink{nullptr};
    std::atomic<unsigned> m_nNotifyMsg{0};
    std::atomic<std::intptr_t> m_lNotifyParam{0};
};
