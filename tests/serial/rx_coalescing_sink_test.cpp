// At most one "bytes received" notification waits at a time; everything else goes through.

#include "serial/rx_coalescing_sink.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
constexpr unsigned kComMsg = 0xC123;

class CCollectingSink : public IMessageSink {
public:
    using IMessageSink::Post;
    void Post(CPostedMessage message) override { m_messages.push_back(message); }
    std::vector<CPostedMessage> m_messages;
};
} // namespace

TEST(RxCoalescingSink, KeepsOneReceivedNotificationUntilItIsTaken)
{
    CCollectingSink target;
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
        EXPECT_EQ(target.m_messages.size(), expected) << row.what;
    }
    // Handled: the next bytes are announced again, once.
    sink.Taken();
    sink.Post(kComMsg, 0x0001, 0);
    sink.Post(kComMsg, 0x0001, 0);
    EXPECT_EQ(target.m_messages.size(), expected + 1);
}

TEST(RxCoalescingSink, ManyPostingThreadsQueueExactlyOne)
{
    CCollectingSink target;
    CRxCoalescingSink sink(target, kComMsg);
    std::vector<std::thread> threads;
    // The target here is not thread-safe: exactly one post may reach it.
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                sink.Post(kComMsg, 0x0001, 0);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(target.m_messages.size(), 1u);
    EXPECT_TRUE(sink.IsQueued());
}
