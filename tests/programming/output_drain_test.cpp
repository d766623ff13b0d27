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
    int queries = 0;
    EXPECT_TRUE(WaitOutputDrained([&] { ++queries; return 96L; }, 9600, stop));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 690ms);
    // It looks again once per line time (about 100 ms), not in a busy loop; a slow machine
    // only makes the steps longer and fewer.
    EXPECT_LE(queries, 10);
    // Far beyond the 700 ms limit, so only a wait that does not give up can fail it.
    EXPECT_LT(took, 12s);
}

TEST(OutputDrain, StopEndsTheWait)
{
    CEvent stop(true, false);
    CEvent waiting(true, false);
    // The stop comes from another thread once the wait has looked at the queue.
    std::thread stopper([&] {
        waiting.Wait();
        stop.Set();
    });
    const auto start = Clock::now();
    // 100000 bytes at 9600 baud are a first step of 104 s: only the stop ends it sooner.
    EXPECT_FALSE(WaitOutputDrained([&] { waiting.Set(); return 100000L; }, 9600, stop));
    EXPECT_LT(Clock::now() - start, 5s);
    stopper.join();
}

} // namespace
