#pragma once
// How long bytes take on a serial line: the one place that turns a byte count and a line's
// settings into time or a rate, and the rates a line may be asked for. Pure arithmetic, any
// thread. A rate of 0 (unknown, as a pseudo-terminal may report) counts as kFallbackBaud for
// the time bytes take; it carries no bytes.

#include "base/line_config.h"

#include <chrono>
#include <cstdint>

namespace line_timing {
inline constexpr unsigned kFallbackBaud = 9600;
// Start bit, 8 data bits, no parity, 1 stop bit: the line the program opens by default.
inline constexpr unsigned kDefaultBitsPerCharacter = 10;
// Any whole rate in this range may be asked for (a driver that cannot make it says so).
inline constexpr unsigned kMinBaud = 50;
inline constexpr unsigned kMaxBaud = 4000000;

// Bits one character takes: the start bit, the data bits, the parity bit when there is one and
// the stop bits (1.5 rounded up to 2).
unsigned BitsPerCharacter(const CLineConfig& line);

// The time count bytes take at baud, rounded up to the next microsecond.
std::chrono::microseconds LineTime(std::uint64_t count, unsigned baud,
    unsigned bitsPerCharacter = kDefaultBitsPerCharacter);

// Whole characters the line carries in time (a character of 0 bits counts as 1 bit).
std::uint64_t CharactersIn(std::chrono::microseconds time, unsigned baud, unsigned bitsPerCharacter);

// Characters per second on the line; 0 at a rate of 0.
double CharactersPerSecond(const CLineConfig& line);
} // namespace line_timing
