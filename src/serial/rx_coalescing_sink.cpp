#include "serial/rx_coalescing_sink.h"

void CRxCoalescingSink::Post(CPostedMessage message)
{
    const bool rxOnly = message.m_nMsg == m_nRxMessage && (message.m_wParam & kRxChar) != 0 &&
                        (message.m_wParam >> 16) == 0;
    // Other events, and line errors, always go through: they carry their own news.
    if (rxOnly && m_bQueued.exchange(true))
        return;
    m_target.Post(std::move(message));
}
