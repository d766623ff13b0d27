#include "base/line_config.h"

bool IsValidFraming(const CLineConfig& line)
{
    return line.m_nBaud != 0 && line.m_nDataBits >= 5 && line.m_nDataBits <= 8
        && line.m_eParity <= EParity::Space && line.m_eStopBits <= EStopBits::Two
        && (line.m_eStopBits != EStopBits::OneAndHalf || line.m_nDataBits == 5)
        && (line.m_eStopBits != EStopBits::Two || line.m_nDataBits != 5);
}

bool IsValidHandshake(EHandshake handshake)
{
    return handshake <= EHandshake::Software;
}
