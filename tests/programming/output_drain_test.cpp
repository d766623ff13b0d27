// Waiting for a transmit queue to drain: a queue that empties at the line's rate, one that
// never moves, and a stop request in the middle.

#include "programming/output_drain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A line that sends `bytes` at `baud` from now on.
OutputQueueQuery DrainingLine(long bytes, unsigned baud)
{
    const auto start = Clock::now();
    return [=] {
        const double sent = std::chrono::duration<double>(Clock::now() - start).count() * baud / 10;
        return std::max(0L, bytes - static_cast<long>(sent));
    };
}

TEST(OutputDrain, WaitsUntilTheQueuedBytesAreOnTheLine)
{
    CEvent stop(true, false);
    // 1920 bytes at 96000 baud: 200 ms.
    const auto start = Clock::now();
    // The wait ends because the queue was seen empty, not at its deadline (twice the line time
    // plus 500 ms): the last answer the wait had was 0.
    long last = -1;
    const OutputQueueQuery line = DrainingLine(1920, 96000);
    EXPECT_TRUE(WaitOutputDrained([&] { return last = line(); }, 96000, stop));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 190ms);
    EXPECT_EQ(last, 0);
    // An empty queue (a pseudo-terminal) returns at once.
    EXPECT_TRUE(WaitOutputDrained([] { return 0L; }, 9600, stop));
}

TEST(OutputDrain, GivesUpOnALineThatDoesNotMove)
{
    CEvent stop(true, false);
    const auto start = Clock::now();
    // 96 bytes at 9600 baud would take 100 ms: the wait ends after twice that plus 500 ms.
    EXPECT_TRUE(WaitOutputDrained([] { return 96L; }, 9600, stop));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 690ms);
    EXPECT_LT(took, 1200ms);
}

TEST(OutputDrain, StopEndsTheWait)
{
    CEvent stop(true, false);
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(50ms);
        stop.Set();
    });
    const auto start = Clock::now();
    EXPECT_FALSE(WaitOutputDrained([] { return 100000L; }, 9600, stop));
    EXPECT_LT(Clock::now() - start, 500ms);
    stopper.join();
}

} // namespace
