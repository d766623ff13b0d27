#include "serial/serial_wnd.h"

CSerialWnd::CSerialWnd() = default;

CSerialWnd::~CSerialWnd()
{
    if (IsOpen())
        CSerialWnd::Close();
}

std::error_code CSerialWnd::Open(const std::string& device, IMessageSink* sink, std::intptr_t tag,
    std::uint32_t inQueue, std::uint32_t outQueue)
{
    if (std::error_code code = CSerialListener::Open(device, inQueue, outQueue, false))
        return code;
    m_pNotifySink = sink;
    m_nNotifyTag = tag;
    if (std::error_code code = StartListener()) {
        Close();
        return SetLastError(code);
    }
    return SetLastError({});
}

std::error_code CSerialWnd::Close()
{
    // The target goes first, so nothing is posted once the close has begun.
    m_pNotifySink = nullptr;
    return CSerialListener::Close();
}

void CSerialWnd::OnEvent(std::uint32_t events, std::uint32_t errors)
{
    IMessageSink* sink = m_pNotifySink.load();
    if (!sink)
        return;
    sink->Post(CPortEvent{events & 0xFFFFu, errors & 0xFFFFu, m_nNotifyTag.load()});
}
