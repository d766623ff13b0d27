#pragma once
// Waiting until a port's transmit queue has drained, so a time limit for the board's answer
// starts when the bytes are on the line, not when the driver took them. A real UART can hold
// seconds of data at low rates; pseudo-terminals report an empty queue at once. Called on the
// thread that writes (the download worker); the stop event is shared with any thread.

#include "base/event.h"
#include "base/line_timing.h"

#include <functional>

class CSerialPort;

// Bytes still queued for sending; 0 or less when empty or unknown.
using OutputQueueQuery = std::function<long()>;

// Waits until the queue is empty, in steps of the time the queued bytes need at the baud rate
// and bits per character, for at most twice the first estimate plus half a second (a line that
// does not move is left to the caller's own limit). False when the stop event was set.
bool WaitOutputDrained(const OutputQueueQuery& queued, unsigned baud, CEvent& stop,
    unsigned bitsPerCharacter = line_timing::kDefaultBitsPerCharacter);
// The same for the port's own queue.
bool WaitOutputDrained(CSerialPort& port, unsigned baud, CEvent& stop,
    unsigned bitsPerCharacter = line_timing::kDefaultBitsPerCharacter);
