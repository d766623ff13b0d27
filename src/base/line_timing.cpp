#include "base/line_timing.h"

#include <algorithm>

namespace line_timing {
unsigned BitsPerCharacter(const CLineConfig& line)
{
    const unsigned parity = line.m_eParity == EParity::None ? 0 : 1;
    const unsigned stopBits = line.m_eStopBits == EStopBits::One ? 1 : 2;
    return 1 + line.m_nDataBits + parity + stopBits;
}

std::chrono::microseconds LineTime(std::uint64_t count, unsigned baud, unsigned bitsPerCharacter)
{
    if (baud == 0)
        baud = kFallbackBaud;
    const std::uint64_t bits = count * bitsPerCharacter;
    return std::chrono::microseconds((bits * 1000000 + baud - 1) / baud);
}

std::uint64_t CharactersIn(std::chrono::microseconds time, unsigned baud, unsigned bitsPerCharacter)
{
    if (time.count() <= 0)
        return 0;
    const std::uint64_t bits = static_cast<std::uint64_t>(time.count()) * baud / 1000000;
    return bits / std::max(bitsPerCharacter, 1u);
}

double CharactersPerSecond(const CLineConfig& line)
{
    return static_cast<double>(line.m_nBaud) / BitsPerCharacter(line);
}
} // namespace line_timing
