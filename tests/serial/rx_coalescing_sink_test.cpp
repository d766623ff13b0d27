// At most one "bytes received" notification waits at a time; everything else goes through.

#include "recording_sink.h"

#include "serial/rx_coalescing_sink.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
constexpr unsigned kComMsg = 0xC123;
} // namespace

TEST(RxCoalescingSink, KeepsOneReceivedNotificationUntilItIsTaken)
{
    CRecordingSink target;
    CRxCoalescingSink sink(target, kComMsg);
    struct Row {
        const char* what;
        unsigned msg;
        std::uintptr_t wParam;
        bool forwarded;
    } const rows[] = {
        {"first bytes", kComMsg, 0x0001, true},
        {"more bytes while queued", kComMsg, 0x0001, false},
        {"bytes with a break event", kComMsg, 0x0041, false},
        {"a line error", kComMsg, 0x0001 | (0x0008u << 16), true},
        {"a break alone", kComMsg, 0x0040, true},
        {"another message", 0x0414, 0x0001, true},
        {"bytes again", kComMsg, 0x0001, false},
    };
    std::size_t expected = 0;
    for (const Row& row : rows) {
        sink.Post(row.msg, row.wParam, 0);
        expected += row.forwarded ? 1 : 0;
        EXPECT_EQ(target.Count(), expected) << row.what;
    }
    // Handled: the next bytes are announced again, once.
    sink.Taken();
    sink.Post(kComMsg, 0x0001, 0);
    sink.Post(kComMsg, 0x0001, 0);
    EXPECT_EQ(target.Count(), expected + 1);
}

TEST(RxCoalescingSink, ManyPostingThreadsQueueExactlyOne)
{
    CRecordingSink target;
    CRxCoalescingSink sink(target, kComMsg);
    std::vector<std::thread> threads;
    // However many threads post, exactly one notification reaches the target.
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                sink.Post(kComMsg, 0x0001, 0);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(target.Count(), 1u);
    EXPECT_TRUE(sink.IsQueued());
}
