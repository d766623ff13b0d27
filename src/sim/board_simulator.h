#pragma once
// CBoardSimulator: a pseudo-terminal whose far end behaves like the target board's monitor
// (CBoardMonitor), with switchable faults: silence or a delay per answer, an error at record N,
// answers split over several writes, stray control bytes around the texts, a line paced at a
// baud rate, hang-up after N bytes, and a stall (the board stops reading, as a held-off
// handshake does). Start and Stop run on the owner's thread; the simulator serves on a thread
// of its own (poll with a wake descriptor), joined by Stop and by the destructor. The queries
// may be called from any thread.

#include "base/line_config.h"
#include "sim/board_image.h"
#include "sim/board_monitor.h"
#include "sim/pseudo_terminal.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

struct CBoardSimOptions {
    CBoardMonitorConfig m_monitor;
    bool m_bSilentLoad = false;
    // The first this many download commands get no answer (a board that needs a retry).
    unsigned m_nSilentLoads = 0;
    bool m_bSilentCompletion = false;
    bool m_bSilentRun = false;
    unsigned m_nDelayLoadMs = 0;
    unsigned m_nDelayCompletionMs = 0;
    unsigned m_nDelayRunMs = 0;
    // Each answer text goes out in this many writes, kSplitGapMs apart (1: whole).
    unsigned m_nSplitPieces = 1;
    // Bell and bytes 0x80-0xFF before and after every answer text.
    bool m_bNoise = false;
    // The simulated line: each byte takes its bits per character at its rate, both ways; a rate
    // of 0: as fast as the pseudo-terminal goes.
    CLineConfig m_line{.m_nBaud = 0};
    // Closes the line after this many received bytes; 0: never.
    std::uint64_t m_nHangupAfter = 0;
    // Stops reading after this many received bytes; 0: never.
    std::uint64_t m_nStallAfter = 0;
    // Written after every completed download when not empty.
    std::string m_strImageOut;
    // Keeps every received byte, and every piece of output as it went out (for tests that
    // check the bytes on the wire).
    bool m_bKeepWire = false;
};

class CBoardSimulator {
public:
    static constexpr unsigned kSplitGapMs = 30;
    // Quiet time after which a monitor that rejected a download takes commands again.
    static constexpr unsigned kIdleAfterErrorMs = 100;
    // Echo is dropped while this much output waits for a host that does not read.
    static constexpr std::size_t kMaxPendingOutput = 64 * 1024;

    explicit CBoardSimulator(CBoardSimOptions options = {});
    ~CBoardSimulator();
    CBoardSimulator(const CBoardSimulator&) = delete;
    CBoardSimulator& operator=(const CBoardSimulator&) = delete;

    // Opens the pseudo-terminal and starts serving.
    std::error_code Start();
    void Stop();
    // The path a serial port opens, for example /dev/pts/3.
    const std::string& SlavePath() const { return m_line.SlavePath(); }

    std::vector<std::uint8_t> Image() const;
    std::vector<std::uint8_t> Wire() const;
    // The output in the pieces it was written in (echo, answers and their split pieces), in
    // order; with m_bKeepWire, and complete once WaitForAnswersSent has said so. A host that
    // reads late gets pieces joined: the pseudo-terminal keeps no bounds between writes.
    std::vector<std::string> SentPieces() const;
    std::uint64_t ReceivedBytes() const;
    unsigned CompletedDownloads() const;
    bool HungUp() const;
    // True when at least count downloads have completed within the time.
    bool WaitForDownloads(unsigned count, std::chrono::milliseconds timeout);
    // True when at least count bytes have been received within the time.
    bool WaitForBytes(std::uint64_t count, std::chrono::milliseconds timeout);
    // True when everything the board has answered so far is on the line (written to the
    // pseudo-terminal, readable at the far end) within the time.
    bool WaitForAnswersSent(std::chrono::milliseconds timeout);
    // The line as the user of the port set it (what a server in between passed on).
    std::error_code FarEndLine(CLineConfig& line) const { return m_line.FarEndLine(line); }
    // The error of the last image written (empty when fine).
    std::error_code ImageError() const;

    // The time one byte takes on the simulated line: its bits per character at its rate; zero
    // at a rate of 0.
    static std::chrono::nanoseconds ByteTime(const CLineConfig& line);

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };

    void Serve();
    void Receive(Clock::time_point now);
    void Queue(const CBoardOutput& answer, Clock::time_point now);
    void Transmit(Clock::time_point now);
    void HangUp();
    // Where the paced line's clock stands for the next read.
    Clock::time_point InLineBase(Clock::time_point now) const;
    Clock::duration ByteTime() const;

    CBoardSimOptions m_options;
    CPseudoTerminal m_line;
    std::thread m_thread;

    // Serving thread only.
    CBoardMonitor m_monitor;
    std::deque<Pending> m_output;
    std::size_t m_nPendingOutput = 0;
    Clock::time_point m_tInLine{};
    // The last read found the line empty: the next byte starts a new burst.
    bool m_bInIdle = true;
    Clock::time_point m_tOutLine{};
    Clock::time_point m_tLastRx{};
    unsigned m_nSeenCompleted = 0;
    unsigned m_nLoadsUnanswered = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::uint8_t> m_image;
    std::vector<std::uint8_t> m_wire;
    std::vector<std::string> m_sentPieces;
    std::uint64_t m_nReceived = 0;
    unsigned m_nCompleted = 0;
    bool m_bHungUp = false;
    bool m_bAnswersSent = true;
    std::error_code m_imageError;
};
