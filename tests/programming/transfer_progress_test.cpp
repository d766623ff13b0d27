// The progress figures of a download: rate, time left, stall, text. Pure arithmetic on a clock
// the test drives.

#include "programming/transfer_progress.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace std::chrono_literals;
using Clock = CTransferProgress::Clock;

TEST(TransferProgress, TimeLeftOnSteadyLinesWithABurstAtTheStart)
{
    struct Case {
        const char* name;
        double rate;           // bytes per second the line carries
        std::uint64_t total;
        std::uint64_t buffered; // taken at once by the driver, adapter or pseudo-terminal
        double lineRate = 0;    // from the line's settings
    };
    const Case cases[] = {
        {"19200 baud, 64 KiB, pseudo-terminal buffer", 1920, 65536, 18000},
        {"9600 baud, 16 KiB, USB FIFO", 960, 16384, 4096},
        // The burst is taken as no faster than the line from the start.
        {"19200 baud, 64 KiB, pseudo-terminal buffer, line rate known", 1920, 65536, 18000, 1920},
        {"115200 baud, 622 KB, no buffer", 11520, 622000, 0},
        // Nothing to measure: the line's own rate stands in.
        {"9600 baud, a file the pseudo-terminal takes whole", 960, 8000, 8000, 960},
        // A USB CDC device or a pseudo-terminal: the set 19200 baud is not what the line does.
        {"set to 19200 baud, carrying 200 kB/s", 200000, 622000, 18000, 1920},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Clock::time_point t0{};
        const double end = static_cast<double>(c.total) / c.rate; // the line's last byte
        CTransferProgress progress;
        progress.Start(c.total, t0, c.lineRate);
        double worst = 0;
        for (auto t = 10ms; t.count() / 1000.0 < end; t += 10ms) {
            const double s = t.count() / 1000.0;
            const auto sent = static_cast<std::uint64_t>(std::min<double>(static_cast<double>(c.total),
                static_cast<double>(c.buffered) + c.rate * s));
            progress.Update(sent, t0 + t);
            if (s < end * 0.1)
                continue;
            const auto left = progress.TimeLeft(t0 + t);
            ASSERT_TRUE(left.has_value());
            const double predicted = s + std::chrono::duration<double>(*left).count();
            worst = std::max(worst, std::fabs(predicted - end) / end);
        }
        EXPECT_LT(worst, 0.05);
        EXPECT_NEAR(progress.BytesPerSecond(), c.rate, c.rate * 0.02);
    }
}

TEST(TransferProgress, StallAndText)
{
    const Clock::time_point t0{};
    CTransferProgress progress;
    progress.Start(10000, t0);
    EXPECT_EQ(progress.Text(t0), "0 of 10000 bytes, \u2014 bytes/s, 0:00 elapsed, \u2014 left");
    for (int i = 1; i <= 20; ++i)
        progress.Update(static_cast<std::uint64_t>(i) * 100, t0 + i * 100ms);
    EXPECT_EQ(progress.Text(t0 + 2s), "2000 of 10000 bytes, 1000 bytes/s, 0:02 elapsed, 0:08 left");
    EXPECT_FALSE(progress.Stalled(t0 + 3999ms));
    EXPECT_TRUE(progress.Stalled(t0 + 4s));
    EXPECT_EQ(progress.Text(t0 + 4s),
        "2000 of 10000 bytes, 0:04 elapsed, the line is stalled (handshake held off or the board not reading)");
    progress.Update(10000, t0 + 5s);
    EXPECT_FALSE(progress.Stalled(t0 + 9s)) << "nothing is left to send";
    EXPECT_EQ(CTransferProgress::FormatDuration(3723s), "1:02:03");
    EXPECT_EQ(CTransferProgress::FormatDuration(59499ms), "0:59");
}

TEST(TransferProgress, RateIsADashUntilMeasuredAndTheEndFreezesTheFigures)
{
    const Clock::time_point t0{};
    struct Case {
        const char* name;
        double lineRate;
        // Bytes sent by the end and when the job ended.
        std::uint64_t sent;
        std::chrono::milliseconds end;
        const char* running; // at t0 + 50 ms, before anything could be measured
        const char* final;   // long after the end
    };
    const Case cases[] = {
        {"a known line before its first byte", 1920, 0, 0ms, "0 of 71284 bytes, \u2014 bytes/s, 0:00 elapsed, \u2014 left",
         "0 of 71284 bytes, \u2014 bytes/s, 0:00 elapsed"},
        {"a fast line that took the file at once", 1920, 71284, 80ms,
         "71284 of 71284 bytes, \u2014 bytes/s, 0:00 elapsed, \u2014 left",
         "71284 of 71284 bytes, 891050 bytes/s, 0:00 elapsed"},
        {"no known rate, a run of a second and a half", 0, 71284, 1550ms,
         "71284 of 71284 bytes, \u2014 bytes/s, 0:00 elapsed, \u2014 left",
         "71284 of 71284 bytes, 45990 bytes/s, 0:02 elapsed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTransferProgress progress;
        progress.Start(71284, t0, c.lineRate);
        progress.Update(c.sent, t0 + 10ms);
        EXPECT_FALSE(progress.MeasuredRate().has_value());
        EXPECT_EQ(progress.Text(t0 + 50ms), c.running);
        progress.Update(c.sent, t0 + c.end);
        progress.Finish(t0 + c.end + 10ms);
        // Nothing moves after the end: no time left, no stall, no count of later updates.
        progress.Update(c.sent + 5, t0 + 60s);
        EXPECT_TRUE(progress.Finished());
        EXPECT_FALSE(progress.Stalled(t0 + 60s));
        EXPECT_EQ(progress.Text(t0 + 60s), c.final);
    }
}

TEST(TransferProgress, NextPercentStepVisitsEveryPercentOnce)
{
    struct Case {
        const char* name;
        std::uint64_t range;
    };
    const Case cases[] = {
        {"fewer positions than percents: every one", 42},
        {"exactly a hundred", 100},
        {"a few positions a percent", 1002},
        {"a 622 KB file", 650963},
        {"not a multiple of a hundred", 12347},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Walked from position 1 as a download does: every percent the positions reach is
        // stopped at, at its first position, and nothing else.
        std::uint64_t stops = 0;
        std::uint64_t next = CTransferProgress::NextPercentStep(1, c.range);
        for (std::uint64_t pos = 2; pos <= c.range; ++pos) {
            const bool newPercent = pos * 100 / c.range != (pos - 1) * 100 / c.range;
            ASSERT_EQ(pos == next, newPercent) << pos;
            if (pos == next) {
                ++stops;
                next = CTransferProgress::NextPercentStep(pos, c.range);
            }
        }
        EXPECT_EQ(stops, std::min<std::uint64_t>(c.range - 1, 100 - 100 / c.range));
    }
    EXPECT_EQ(CTransferProgress::NextPercentStep(7, 0), 8u);
}

} // namespace
