#include "base/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <semaphore>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSignal)
{
    CEvent event(false, false);
    std::counting_semaphore<3> released(0);
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (event.Wait(10000))
                released.release();
        });
    for (int signal = 0; signal < 3; ++signal) {
        event.Set();
        ASSERT_TRUE(released.try_acquire_for(5s)) << "signal " << signal << " released nobody";
        EXPECT_FALSE(released.try_acquire_for(100ms)) << "signal " << signal << " released two waiters";
        EXPECT_FALSE(event.IsSet()) << "the released wait took the signal";
    }
    for (auto& t : waiters)
        t.join();
}

TEST(Event, SignalBeforeWaitIsKeptUntilTaken)
{
    CEvent event;
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSet)
{
    CEvent event(true, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (event.Wait())
                ++released;
        });
    event.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 3);
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, TimedWaitTimesOutUnsignalled)
{
    CEvent event;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.Wait(30));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_FALSE(event.WaitUntil(std::chrono::steady_clock::now() + 10ms));
}
