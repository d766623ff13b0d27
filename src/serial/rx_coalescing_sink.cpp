#include "serial/rx_coalescing_sink.h"

void CRxCoalescingSink::Post(CPostedEvent event)
{
    const auto* port = std::get_if<CPortEvent>(&event);
    const bool rxOnly = port && (port->m_nEvents & kRxChar) != 0 && port->m_nErrors == 0;
    // Other events, and line errors, always go through: they carry their own news.
    if (rxOnly && m_bQueued.exchange(true))
        return;
    m_target.Post(std::move(event));
}
