// The listener and its window layer over real pseudo-terminals: what is posted, once per burst,
// no repeats while bytes sit unread, the stop order, hang-up, and a reader, a writer and the
// listener working one port at once until Close comes from another thread.

#include "close_on_exit.h"
#include "pty_pair.h"
#include "recording_sink.h"

#include "serial/serial_wnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <future>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::error_code Sys(int value)
{
    return {value, std::system_category()};
}

// Reads everything buffered, as the receive handler does on each notification.
std::string Drain(CSerialPort& port)
{
    std::string got;
    char buffer[255];
    for (;;) {
        std::uint32_t count = 0;
        if (port.Read(buffer, sizeof buffer, &count, nullptr, kNoTimeLimit) || count == 0)
            return got;
        got.append(buffer, count);
    }
}

class SerialListenerTest : public ::testing::Test {
protected:
    CPtyPair m_pty;
    CRecordingSink m_sink;
    CSerialWnd m_serial;
};

TEST_F(SerialListenerTest, ReceivedBytesArePostedAsAPortEvent)
{
    ASSERT_EQ(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0), std::error_code());
    EXPECT_TRUE(m_serial.IsListening());
    m_pty.Send("A");
    ASSERT_TRUE(m_sink.WaitFor(1));
    const std::vector<CPostedEvent> posted = m_sink.Messages();
    const auto* event = std::get_if<CPortEvent>(&posted.front());
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->m_nEvents, line_event::kRxChar);
    EXPECT_EQ(event->m_nTag, 0);
}

TEST_F(SerialListenerTest, GivenTagIsPosted)
{
    ASSERT_EQ(m_serial.Open(m_pty.SlavePath(), &m_sink, 4242, 0, 0), std::error_code());
    m_pty.Send("B");
    ASSERT_TRUE(m_sink.WaitFor(1));
    const std::vector<CPostedEvent> posted = m_sink.Messages();
    const auto* event = std::get_if<CPortEvent>(&posted.front());
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->m_nTag, 4242);
    EXPECT_EQ(event->m_nEvents, line_event::kRxChar);
    EXPECT_EQ(event->m_nErrors, 0u); // a pseudo-terminal has no line errors
}

TEST_F(SerialListenerTest, BurstGivesOneNotificationAndNoRepeatWhileUnread)
{
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    m_pty.Send(std::string(300, 'z'));
    ASSERT_TRUE(m_sink.WaitFor(1));
    // Nobody reads: the bytes sit in the queue, and must not be announced again and again.
    EXPECT_FALSE(m_sink.WaitFor(2, 300ms));
    std::size_t seen = m_sink.Count();
    std::string got = Drain(m_serial);
    // More than one notification may stand for one burst, but each one is for new bytes.
    while (got.size() < 300 && m_sink.WaitFor(seen + 1, 2s)) {
        seen = m_sink.Count();
        got += Drain(m_serial);
    }
    EXPECT_EQ(got, std::string(300, 'z'));
    const std::size_t settled = m_sink.Count();
    EXPECT_LE(settled, 3u);
    EXPECT_FALSE(m_sink.WaitFor(settled + 1, 300ms));
}

TEST_F(SerialListenerTest, BytesArrivingWhileEarlierOnesSitUnreadAreAnnounced)
{
    // The receiver may leave a notification unread (one with line errors); the next bytes must
    // still be announced, or the terminal would stall.
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    m_pty.Send("one");
    ASSERT_TRUE(m_sink.WaitFor(1));
    m_pty.Send("two");
    ASSERT_TRUE(m_sink.WaitFor(2));
    EXPECT_EQ(Drain(m_serial), "onetwo");
}

TEST_F(SerialListenerTest, FullBufferWaitsForTheReaderWithoutLosingBytes)
{
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    std::string sent;
    for (int i = 0; sent.size() < 200 * 1024; ++i)
        sent += std::to_string(i) + ",";
    // More than the port buffers: the far end blocks until the reader makes room.
    auto sender = std::async(std::launch::async, [&] { m_pty.Send(sent); });
    const CCloseOnExit closeFirst(m_serial);
    ASSERT_TRUE(m_sink.WaitFor(1));
    EXPECT_EQ(sender.wait_for(300ms), std::future_status::timeout);
    const std::size_t idle = m_sink.Count();
    EXPECT_FALSE(m_sink.WaitFor(idle + 1, 300ms)); // nobody reads: no further notifications
    std::string got;
    while (got.size() < sent.size()) {
        // Counted before the drain: a notification posted during it is not waited for again.
        const std::size_t seen = m_sink.Count();
        got += Drain(m_serial);
        if (got.size() < sent.size() && !m_sink.WaitFor(seen + 1, 5s))
            break;
    }
    ASSERT_EQ(sender.wait_for(10s), std::future_status::ready) << "the far end is still blocked";
    sender.get();
    got += Drain(m_serial);
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
}

TEST_F(SerialListenerTest, MaskWithoutArrivalGivesNoNotifications)
{
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    ASSERT_FALSE(m_serial.SetEventMask(line_event::kBreak | line_event::kErr));
    m_pty.Send("ignored");
    EXPECT_FALSE(m_sink.WaitFor(1, 200ms));
    ASSERT_FALSE(m_serial.SetEventMask(line_event::kDefaultMask));
    m_pty.Send("!");
    ASSERT_TRUE(m_sink.WaitFor(1));
    EXPECT_EQ(Drain(m_serial), "ignored!");
}

TEST_F(SerialListenerTest, StartTwiceRunsOneListener)
{
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    EXPECT_EQ(m_serial.StartListener(), std::error_code());
    EXPECT_EQ(m_serial.StartListener(), std::error_code());
    m_pty.Send("q");
    ASSERT_TRUE(m_sink.WaitFor(1));
    EXPECT_FALSE(m_sink.WaitFor(2, 200ms));
}

TEST_F(SerialListenerTest, CloseStopsNotificationsAndCanReopen)
{
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    EXPECT_EQ(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0), std::error_code(ESerialError::AlreadyInitialized));
    EXPECT_TRUE(m_serial.IsListening());
    EXPECT_EQ(m_serial.Close(), std::error_code());
    EXPECT_FALSE(m_serial.IsOpen());
    EXPECT_FALSE(m_serial.IsListening());
    EXPECT_EQ(m_serial.NotifySink(), nullptr);
    m_pty.Send("late");
    EXPECT_FALSE(m_sink.WaitFor(1, 200ms));
    // A notification that raced the close would find the port closed.
    char buffer[4];
    EXPECT_EQ(m_serial.Read(buffer, 4), std::error_code(ESerialError::InvalidHandle));

    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    EXPECT_EQ(Drain(m_serial), "late");
    m_pty.Send("again");
    ASSERT_TRUE(m_sink.WaitFor(1));
}

TEST_F(SerialListenerTest, OpenFailureLeavesNoThread)
{
    EXPECT_EQ(m_serial.Open("/nonexistent/ttyQX", &m_sink, 0, 0, 0), Sys(ENOENT));
    EXPECT_EQ(m_serial.LastError(), Sys(ENOENT));
    EXPECT_FALSE(m_serial.IsOpen());
    EXPECT_FALSE(m_serial.IsListening());
}

TEST_F(SerialListenerTest, HangUpEndsTheListenerWithAClearResult)
{
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    m_pty.CloseMaster();
    ASSERT_TRUE(m_serial.WaitListenerEnd(5000));
    EXPECT_FALSE(m_serial.IsListening());
    EXPECT_EQ(m_serial.ListenerResult(), Sys(ENODEV));
    EXPECT_TRUE(m_serial.IsOpen());
    EXPECT_EQ(m_serial.Close(), std::error_code());
}

TEST_F(SerialListenerTest, OpenOnTheWorkerWhileTheGuiCloses)
{
    // The download worker may open the port while the GUI thread closes it.
    for (int round = 0; round < 40; ++round) {
        std::thread worker([&] { m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0); });
        std::thread gui([&] { m_serial.Close(); });
        worker.join();
        gui.join();
        EXPECT_EQ(m_serial.IsOpen(), m_serial.IsListening()) << round;
        m_serial.Close();
        EXPECT_FALSE(m_serial.IsOpen());
    }
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    m_pty.Send("ok");
    ASSERT_TRUE(m_sink.WaitFor(1));
}

TEST_F(SerialListenerTest, DestructorClosesAnOpenPort)
{
    CRecordingSink sink;
    {
        CSerialWnd serial;
        ASSERT_FALSE(serial.Open(m_pty.SlavePath(), &sink, 0, 0, 0));
    }
    CSerialPort again;
    EXPECT_EQ(again.Open(m_pty.SlavePath(), 0, 0, true), std::error_code());
}

// A reader (on notifications, as the GUI thread), a writer (as the download worker) and the
// listener share one port for a few seconds while the far end talks back; then Close comes from
// yet another thread while they are all still at work. Every byte arrives intact both ways.
TEST_F(SerialListenerTest, ReaderWriterAndListenerShareOnePort)
{
    ASSERT_FALSE(m_serial.Open(m_pty.SlavePath(), &m_sink, 0, 0, 0));
    const auto until = std::chrono::steady_clock::now() + 2500ms;

    std::mutex mutex;
    std::condition_variable progress;
    std::string read;
    std::atomic<bool> farStop{false};

    std::string farSent;
    // Set under the mutex once the far end has sent its last line: only then can the reader be
    // said to have caught up (a line being sent at the deadline is not yet in farSent).
    bool farDone = false;
    std::string farGot;
    std::thread farEnd([&] {
        std::mt19937 random(7);
        int line = 0;
        while (!farStop.load()) {
            if (std::chrono::steady_clock::now() < until) {
                std::string text = "line " + std::to_string(line++) + "\n";
                m_pty.Send(text);
                std::lock_guard lock(mutex);
                farSent += text;
            } else {
                std::lock_guard lock(mutex);
                farDone = true;
            }
            farGot += m_pty.Receive(std::size_t(1) << 20, std::chrono::milliseconds(1 + random() % 5));
            progress.notify_all();
        }
    });

    std::string written;
    std::error_code writerEnd;
    std::thread writer([&] {
        for (int block = 0;; ++block) {
            std::string text = "block " + std::to_string(block) + ";";
            std::uint32_t count = 0;
            writerEnd = m_serial.Write(text.data(), static_cast<std::uint32_t>(text.size()), &count, nullptr, 1000);
            written += text.substr(0, count);
            if (writerEnd)
                return;
        }
    });

    std::thread reader([&] {
        std::size_t seen = 0;
        while (m_serial.IsOpen()) {
            if (!m_sink.WaitFor(seen + 1, 20ms))
                continue;
            seen = m_sink.Count();
            std::string got = Drain(m_serial);
            std::lock_guard lock(mutex);
            read += got;
            progress.notify_all();
        }
    });

    bool caughtUp = false;
    {
        // Until the far end has finished talking and the reader has everything it said.
        std::unique_lock lock(mutex);
        caughtUp = progress.wait_until(lock, until + 10s, [&] { return farDone && read.size() == farSent.size(); });
    }
    // Closed and joined also when the reader fell behind, so the threads end with the test.
    std::thread closer([&] { EXPECT_EQ(m_serial.Close(), std::error_code()); });
    closer.join();
    writer.join();
    reader.join();
    farStop = true;
    farEnd.join();
    ASSERT_TRUE(caughtUp);
    // The pseudo-terminal hands written bytes over asynchronously: collect the rest.
    if (farGot.size() < written.size())
        farGot += m_pty.Receive(written.size() - farGot.size(), 2s);

    EXPECT_TRUE(writerEnd == Sys(ECANCELED) || writerEnd == std::error_code(ESerialError::InvalidHandle))
        << writerEnd.message();
    EXPECT_GT(farSent.size(), 100u);
    EXPECT_EQ(read.size(), farSent.size());
    EXPECT_TRUE(read == farSent);
    EXPECT_GT(written.size(), 100u);
    EXPECT_EQ(farGot.size(), written.size());
    EXPECT_TRUE(farGot == written);
    for (const CPostedEvent& event : m_sink.Messages())
        EXPECT_EQ(std::get<CPortEvent>(event).m_nEvents, line_event::kRxChar);
}

} // namespace
