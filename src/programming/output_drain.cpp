#include "programming/output_drain.h"

#include "base/line_timing.h"
#include "serial/serial_port.h"

#include <algorithm>
#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;

Clock::duration LineTime(long bytes, unsigned baud, unsigned bitsPerCharacter)
{
    return line_timing::LineTime(static_cast<std::uint64_t>(bytes), baud, bitsPerCharacter) + std::chrono::milliseconds(1);
}
} // namespace

bool WaitOutputDrained(const OutputQueueQuery& queued, unsigned baud, CEvent& stop, unsigned bitsPerCharacter)
{
    long pending = queued();
    if (pending <= 0)
        return !stop.IsSet();
    const Clock::time_point deadline = Clock::now() + 2 * LineTime(pending, baud, bitsPerCharacter) + std::chrono::milliseconds(500);
    while (pending > 0) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            break;
        if (stop.WaitUntil(std::min(deadline, now + LineTime(pending, baud, bitsPerCharacter))))
            return false;
        pending = queued();
    }
    return !stop.IsSet();
}

bool WaitOutputDrained(CSerialPort& port, unsigned baud, CEvent& stop, unsigned bitsPerCharacter)
{
    // A driver without a count (a pseudo-terminal) reports an empty queue.
    return WaitOutputDrained([&port] { return port.GetOutputQueue(); }, baud, stop, bitsPerCharacter);
}
