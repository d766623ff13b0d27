#include "serial/serial_wnd.h"

#include "base/messages.h"

unsigned DefaultComMsg()
{
    static const unsigned number = RegisterWindowMessage("CSerialWnd_DefaultComMsg");
    return number;
}

CSerialWnd::CSerialWnd() = default;

CSerialWnd::~CSerialWnd()
{
    if (IsOpen())
        CSerialWnd::Close();
}

std::error_code CSerialWnd::Open(const std::string& device, IMessageSink* sink, unsigned msg,
    std::intptr_t lParam, std::uint32_t inQueue, std::uint32_t outQueue)
{
    if (std::error_code code = CSerialListener::Open(device, inQueue, outQueue, false))
        return code;
    m_pNotifySink = sink;
    m_nNotifyMsg = msg != 0 ? msg : DefaultComMsg();
    m_lNotifyParam = lParam;
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
    m_nNotifyMsg = 0;
    return CSerialListener::Close();
}

void CSerialWnd::OnEvent(std::uint32_t events, std::uint32_t errors)
{
    IMessageSink* sink = m_pNotifySink.load();
    const unsigned msg = m_nNotifyMsg.load();
    if (!sink || msg == 0)
        return;
    const std::uintptr_t wParam = (events & 0xFFFFu) | ((errors & 0xFFFFu) << 16);
    sink->Post(msg, wParam, m_lNotifyParam.load());
}
