// The line's write turn: one holder at a time, a waiter's limit, and a free turn passed on to
// whoever waits (threads of their own, no sleeps: each waits on what it needs).

#include "serial/write_turn.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace {

TEST(WriteTurn, AWaiterGetsTheTurnOnlyOnceReleasedOrGivesUpAtItsLimit)
{
    CWriteTurn turn;
    ASSERT_TRUE(turn.Take(CDeadline()));
    // Held: a limited wait ends at its limit, and no earlier.
    const auto start = CDeadline::Clock::now();
    EXPECT_FALSE(turn.Take(CDeadline::After(100)));
    EXPECT_GE(CDeadline::Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_FALSE(turn.Take(CDeadline::At(CDeadline::Clock::now() - std::chrono::seconds(1))));
    // A waiter without a limit goes on once the holder releases.
    std::promise<void> waiting;
    auto waiter = std::async(std::launch::async, [&] {
        waiting.set_value();
        const bool taken = turn.Take(CDeadline());
        turn.Release();
        return taken;
    });
    waiting.get_future().wait();
    turn.Release();
    EXPECT_TRUE(waiter.get());
    EXPECT_TRUE(turn.Take(CDeadline::After(0)));
    turn.Release();
}

// The download gives the turn back and takes it again at once, run after run: a key typed
// meanwhile (a writer that waits) gets it at the next release, not after the download.
TEST(WriteTurn, AHolderTakingItAgainAtOnceQueuesBehindAWaiter)
{
    CWriteTurn turn;
    ASSERT_TRUE(turn.Take(CDeadline()));
    std::atomic<bool> served{false};
    auto waiter = std::async(std::launch::async, [&] {
        const bool taken = turn.Take(CDeadline::After(10000));
        served = taken;
        if (taken)
            turn.Release();
        return taken;
    });
    for (const auto until = CDeadline::Clock::now() + std::chrono::seconds(10);
         !turn.HasWaiters() && CDeadline::Clock::now() < until;)
        std::this_thread::yield();
    ASSERT_TRUE(turn.HasWaiters());
    turn.Release();
    // Either the waiter has it (or had it already), never the holder first.
    const bool again = turn.Take(CDeadline::After(0));
    EXPECT_TRUE(!again || served.load()) << "the holder took the turn again before the waiter";
    if (again)
        turn.Release();
    EXPECT_TRUE(waiter.get());
    EXPECT_TRUE(turn.Take(CDeadline::After(0)));
    turn.Release();
}

// Many writers at once, holding the turn for a moment each: never two inside, every one served.
TEST(WriteTurn, NeverTwoHoldersAmongManyWriters)
{
    CWriteTurn turn;
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<int> served{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < 6; ++w)
        writers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                ASSERT_TRUE(turn.Take(CDeadline::After(10000)));
                const int now = inside.fetch_add(1) + 1;
                for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                inside.fetch_sub(1);
                turn.Release();
                served.fetch_add(1);
            }
        });
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(most.load(), 1);
    EXPECT_EQ(served.load(), 6 * 2000);
}

TEST(Deadline, FixedAtTheFirstWaitThatNeedsIt)
{
    EXPECT_FALSE(CDeadline().IsLimited());
    EXPECT_EQ(CDeadline().PollTimeout(), -1);
    EXPECT_EQ(CDeadline::After(0).PollTimeout(), 0);
    EXPECT_EQ(CDeadline::At(CDeadline::Clock::now() - std::chrono::seconds(1)).PollTimeout(), 0);
    const CDeadline limit = CDeadline::After(60000);
    const int left = limit.PollTimeout();
    EXPECT_GT(left, 59000);
    EXPECT_LE(left, 60000);
    // Once fixed it stays: the time left only shrinks.
    EXPECT_EQ(limit.When(), limit.When());
    EXPECT_LE(limit.PollTimeout(), left);
}

} // namespace
