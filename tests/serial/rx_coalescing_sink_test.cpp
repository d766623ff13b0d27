// At most one "bytes received" notification waits at a time; everything else goes through.

#include "recording_sink.h"

#include "serial/rx_coalescing_sink.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
CPostedEvent Port(std::uint32_t events, std::uint32_t errors = 0)
{
    return CPortEvent{events, errors, 0};
}
} // namespace

TEST(RxCoalescingSink, KeepsOneReceivedNotificationUntilItIsTaken)
{
    CRecordingSink target;
    CRxCoalescingSink sink(target);
    struct Row {
        const char* what;
        CPostedEvent event;
        bool forwarded;
    } const rows[] = {
        {"first bytes", Port(0x0001), true},
        {"more bytes while queued", Port(0x0001), false},
        {"bytes with a break event", Port(0x0041), false},
        {"a line error", Port(0x0001, 0x0008), true},
        {"a break alone", Port(0x0040), true},
        {"another event", CJobStep{1}, true},
        {"bytes again", Port(0x0001), false},
    };
    std::size_t expected = 0;
    for (const Row& row : rows) {
        sink.Post(row.event);
        expected += row.forwarded ? 1 : 0;
        EXPECT_EQ(target.Count(), expected) << row.what;
    }
    // Handled: the next bytes are announced again, once.
    sink.Taken();
    sink.Post(Port(0x0001));
    sink.Post(Port(0x0001));
    EXPECT_EQ(target.Count(), expected + 1);
}

TEST(RxCoalescingSink, ManyPostingThreadsQueueExactlyOne)
{
    CRecordingSink target;
    CRxCoalescingSink sink(target);
    std::vector<std::thread> threads;
    // However many threads post, exactly one notification reaches the target.
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                sink.Post(Port(0x0001));
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(target.Count(), 1u);
    EXPECT_TRUE(sink.IsQueued());
}
