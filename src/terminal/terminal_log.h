#pragma once
// CTerminalLog: writes what the terminal receives to a file, either the bytes exactly as they
// came from the board or the shown lines, each prefixed with the local time of its first byte.
// Start, Stop, OnReceived, the ITerminalSink calls and HandleMessage run on the owner's thread
// (the GUI thread); a writer thread of its own does every disk write, fed through a bounded
// queue, so a slow or failing disk never holds the owner. When the writer fails, or the queue
// would pass its bound, the log stops taking bytes and posts a notice to the sink; the owner
// hands it to HandleMessage. The sink outlives the log; the destructor writes what is queued and
// joins the writer.

#include "base/message_sink.h"
#include "base/output_file.h"
#include "terminal/terminal_sink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

class CTerminalLog : public ITerminalSink {
public:
    enum class EMode : int {
        Bytes = 0, // every received byte, 0x00-0xFF, as it came
        Lines = 1, // the shown lines, "[HH:MM:SS.mmm] text"
    };
    // What a posted notice meant, for the owner.
    enum class EEvent {
        None,    // not the log's notice
        Ended,   // the writer has written everything and closed the file (after Stop)
        Failed,  // a write failed: logging has stopped, FailureText says why
        TooSlow, // the disk did not keep up: logging has stopped, FailureText says so
    };
    using Clock = std::chrono::system_clock;

    static constexpr std::size_t kDefaultQueueLimit = 8u << 20;
    // A shown line continues on a new line at this length, as in the terminal.
    static constexpr std::size_t kMaxLineLength = 1024;
    static constexpr const char* kTextLogWriteError = "Log file write error!";
    static constexpr const char* kTextLogTooSlow = "The log file could not keep up with the board!";

    // The log posts a CWorkerNotice to sink when the writer needs the owner.
    explicit CTerminalLog(IMessageSink& sink, std::size_t queueLimit = kDefaultQueueLimit,
        std::function<Clock::time_point()> clock = &Clock::now);
    ~CTerminalLog() override;
    CTerminalLog(const CTerminalLog&) = delete;
    CTerminalLog& operator=(const CTerminalLog&) = delete;

    // Creates (or empties) the file and starts logging; the system's error when it cannot be
    // opened. A log still closing is joined first.
    std::error_code Start(const std::string& path, EMode mode);
    // Takes no more; the writer writes what is queued, closes the file and posts Ended.
    void Stop();
    // Logging is on (taking bytes).
    bool IsOn() const { return m_bTaking; }
    // The file of the current or last log.
    const std::string& Path() const { return m_strPath; }
    EMode Mode() const { return m_eMode; }
    // Bytes in the file so far.
    std::uint64_t BytesWritten() const { return m_nWritten.load(); }

    // The bytes as read from the port (Bytes mode; ignored otherwise).
    void OnReceived(const std::uint8_t* data, std::size_t size);
    // ITerminalSink: the shown text (Lines mode; ignored otherwise).
    void AppendTerminalText(std::string_view run) override;
    void DeleteLastChar() override;

    // The owner's handler of every posted event: joins a writer that has finished; None for an
    // event that is not this log's (or is of an earlier log).
    EEvent HandleMessage(const CPostedEvent& event);
    // The box for Failed and TooSlow: the first line, the file and what to do.
    std::string FailureText() const;

    // "[12:34:56.789] " in local time.
    static std::string Timestamp(Clock::time_point time);

private:
    void Queue(std::string_view bytes);
    void EndLine();
    void Writer();
    void Join();

    IMessageSink& m_sink;
    const std::size_t m_nQueueLimit;
    std::function<Clock::time_point()> m_clock;

    // Owner's thread.
    bool m_bTaking = false;
    std::string m_strPath;
    EMode m_eMode = EMode::Bytes;
    std::string m_strLine;
    bool m_bLineOpen = false;
    Clock::time_point m_lineStart;

    // Shared with the writer.
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_strQueue;
    bool m_bClosing = false;
    bool m_bWriterDone = false;
    EEvent m_eFailure = EEvent::None;
    std::error_code m_error;
    // Bytes handed over after the log stopped taking them (a failure or a full queue).
    std::uint64_t m_nNotLogged = 0;
    unsigned m_nGeneration = 0;
    std::atomic<std::uint64_t> m_nWritten{0};
    // Made by Start, then the writer's alone until it ends.
    COutputFile m_file;
    std::thread m_writer;
};
