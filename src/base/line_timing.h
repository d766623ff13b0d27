#pragma once
// How long bytes take on a serial line: the one place that turns a byte count and a rate into
// time. Pure arithmetic, any thread. A rate of 0 (unknown, as a pseudo-terminal may report)
// counts as kFallbackBaud.

#include <chrono>
#include <cstdint>

namespace line_timing {
inline constexpr unsigned kFallbackBaud = 9600;
// Start bit, 8 data bits, no parity, 1 stop bit: the line the program opens by default.
inline constexpr unsigned kDefaultBitsPerCharacter = 10;

// Bits one character takes: the start bit, the data bits, the parity bit when there is one and
// the stop bits (1.5 rounded up to 2).
unsigned BitsPerCharacter(unsigned dataBits, bool parity, unsigned stopBits);

// The time count bytes take at baud, rounded up to the next microsecond.
std::chrono::microseconds LineTime(std::uint64_t count, unsigned baud,
    unsigned bitsPerCharacter = kDefaultBitsPerCharacter);
} // namespace line_timing
