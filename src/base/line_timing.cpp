#include "base/line_timing.h"

namespace line_timing {
unsigned BitsPerCharacter(unsigned dataBits, bool parity, unsigned stopBits)
{
    return 1 + dataBits + (parity ? 1 : 0) + stopBits;
}

std::chrono::microseconds LineTime(std::uint64_t count, unsigned baud, unsigned bitsPerCharacter)
{
    if (baud == 0)
        baud = kFallbackBaud;
    const std::uint64_t bits = count * bitsPerCharacter;
    return std::chrono::microseconds((bits * 1000000 + baud - 1) / baud);
}
} // namespace line_timing
