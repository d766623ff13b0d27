#pragma once
// CTransferProgress: the figures of a running download (bytes sent of total, bytes per second,
// elapsed time, time left, a stalled line) from samples of the bytes sent. With the line's rate
// known, the rate is what went since the first byte, never above the line's rate; otherwise it
// is measured over the last kWindow, never reaching back into the first kSettle after the first
// byte. Either way the burst a driver, an adapter's FIFO or a pseudo-terminal takes at once is
// not line speed, and the time left counts those bytes as still to go. Pure: the caller passes
// the clock's time; one thread (the owner's).

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

class CTransferProgress {
public:
    using Clock = std::chrono::steady_clock;
    // How far back the rate is measured, and how long without a byte counts as stalled.
    static constexpr std::chrono::milliseconds kWindow{3000};
    static constexpr std::chrono::milliseconds kStalledAfter{2000};
    static constexpr std::chrono::milliseconds kSettle{100};
    // More than the line's rate could have carried by this many bytes: no buffer on the way
    // holds that much, so the line is faster than its setting (a USB CDC device, a
    // pseudo-terminal) and the rate is measured as without a known one.
    static constexpr std::uint64_t kBurstBytes = 32 * 1024;

    // lineRate: what the line carries at most (bytes per second from its settings), taken as
    // the rate until one has been measured; 0: none. A line seen to be faster (kBurstBytes) is
    // measured as one without.
    void Start(std::uint64_t total, Clock::time_point now, double lineRate = 0);
    // The bytes sent so far (never less than before).
    void Update(std::uint64_t sent, Clock::time_point now);

    std::uint64_t Sent() const { return m_nSent; }
    std::uint64_t Total() const { return m_nTotal; }
    // As above; the line's rate until it can be measured (a file the driver or adapter takes
    // whole at once gives nothing to measure).
    double BytesPerSecond() const;
    // The rate as measured; none until it can be (the figures then show a dash, not the line's
    // setting as if it had been measured).
    std::optional<double> MeasuredRate() const;
    // The job has ended: the figures stay as they are now, with the rate over the whole run
    // (from the first byte to now) and no time left.
    void Finish(Clock::time_point now);
    bool Finished() const { return m_bFinished; }
    Clock::duration Elapsed(Clock::time_point now) const { return (m_bFinished ? m_tFinish : now) - m_tStart; }
    // Unknown until the rate is. Once every byte is written the rate last measured stays, and
    // the time left counts down what the line still has to carry.
    std::optional<Clock::duration> TimeLeft(Clock::time_point now) const;
    // No byte sent for kStalledAfter while bytes are left.
    bool Stalled(Clock::time_point now) const;

    // "12345 of 65536 bytes, 1920 bytes/s, 0:07 elapsed, 0:27 left"; a stalled line says so; a
    // figure not known yet is a dash ("— bytes/s", "— left"); once finished, no time left.
    std::string Text(Clock::time_point now) const;
    // m:ss, or h:mm:ss from an hour.
    static std::string FormatDuration(Clock::duration duration);
    // The first position after pos whose whole percent of range differs from pos's: where a bar
    // that shows percents has to move next (pos + 1 when range is 0).
    static std::uint64_t NextPercentStep(std::uint64_t pos, std::uint64_t range);

private:
    struct CSample {
        Clock::time_point at;
        std::uint64_t sent;
    };
    std::uint64_t m_nTotal = 0;
    std::uint64_t m_nSent = 0;
    double m_dLineRate = 0;
    Clock::time_point m_tStart{};
    Clock::time_point m_tLastMove{};
    Clock::time_point m_tFirstByte{};
    // The last update while bytes were left to write: the rate's end point.
    Clock::time_point m_tRateAt{};
    bool m_bMoved = false;
    bool m_bFasterThanLine = false;
    bool m_bFinished = false;
    Clock::time_point m_tFinish{};
    // At most one sample every kSampleGap: bounded by kWindow / kSampleGap + 2.
    std::deque<CSample> m_samples;
};
