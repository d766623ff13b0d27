#pragma once
// CDownloadJob: sends one file to the board and drives the monitor's handshake (download
// command, the file in short runs, completion message, run command), each answer with its time
// limit. StartDownload, OnDownloadEnd, IsRunning and the destructor run on the owner's thread
// (where the receive parser runs too); the job itself runs on a worker thread that writes to the
// port, waits on the parser's event and reports by posting CJobBegin/Step/End/Failed to
// the sink: a step carries the bars' new position (0 .. size + 2) and comes once per percent and
// where a stage ends, never per byte (BytesSent is there for the figures in between). It shows nothing: how it ended (LastResult, LastError) is read by its owner once
// CJobEnd has arrived, and the owner tells the user (CProgrammingSession does, for the
// window and the command line alike). The parser, host, board commands and sink must outlive
// the job. RequestStop may be called from any thread (closing the window, Ctrl+C): the job ends
// at its next run of bytes or wait. The destructor stops and joins a running job.
#include "programming/board_protocol.h"
#include "programming/receive_parser.h"
#include "terminal/terminal_counters.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <system_error>

class CBoardCommands;
class CProgramImage;
class CSerialPort;
class IMessageSink;

// What the owner of the port provides. Called on the worker thread.
class IDownloadHost {
public:
    virtual ~IDownloadHost() = default;
    // The port the job writes to; its IsOpen() decides whether OpenDownloadPort is called.
    virtual CSerialPort& DownloadPort() = 0;
    // Opens the closed port with the settings of the job's start, the way OpenConfiguredPort
    // does (listener started, line and handshake applied) but without a box: the port's error
    // when it cannot be opened. The job never closes the port.
    virtual std::error_code OpenDownloadPort() = 0;
};

// How a job ended, for callers that need more than the boxes (the command line's exit status).
enum class EDownloadResult : int {
    Completed = 0,
    PortOpenFailed,
    FileOpenFailed,
    FileEmpty,
    OutOfMemory,
    NoLoadAnswer,
    BoardError,
    NoCompletedMessage,
    NoRunAnswer,
    WriteFailed,
    Stopped,
    BadHexFile,
    // The reset sequence's lines could not be driven.
    ResetFailed,
};

// What a completed download moved, for its summary line. Valid once CJobEnd of a
// completed job has arrived.
struct CDownloadSummary {
    std::uint64_t m_nBytes = 0;
    // The file was checked as Intel HEX: the addresses its data went to.
    bool m_bHasRange = false;
    std::uint32_t m_nLow = 0;
    std::uint32_t m_nHigh = 0;
    // From the first data byte written to the board's completion text.
    std::chrono::steady_clock::duration m_took{};
};

class CDownloadJob {
public:
    // Texts of the job's boxes, as the user sees them.
    static constexpr const char* kTextPortOpenError = "Port open error!";
    static constexpr const char* kTextFileOpenError = "File open error!";
    static constexpr const char* kTextFileEmpty = "The file is empty!";
    static constexpr const char* kTextPortWriteError = "Port write error!";
    // First line of the box when the reset sequence cannot drive a line; the system's reason follows.
    static constexpr const char* kTextResetError =
        "Port reset error! The port cannot drive the modem lines (DTR, RTS) of the reset sequence.";
    static constexpr const char* kTextNoLoadAnswer =
        "The target board does not respond to the LOAD command.\r\n"
        "Check out follwings and try again:\r\n"
        "\t- Reset the target board.\r\n"
        "\t- Check the port configuration.\r\n"
        "\t- Check the communicatin cable.";
    static constexpr const char* kTextNoCompletedMessage =
        "The target board does not send COMPLETED message.\r\n"
        "Check out follwings and try again:\r\n"
        "\t- Reset the target board.\r\n"
        "\t- Check the port configuration.\r\n"
        "\t- Check the communicatin cable.";
    static constexpr const char* kTextNoRunAnswer =
        "The target board does not respond to the RUN command.\r\n"
        "Check out follwings and try again:\r\n"
        "\t- Reset the target board.\r\n"
        "\t- Check the port configuration.\r\n"
        "\t- Check the communicatin cable.";
    static constexpr const char* kTextCompleted = "Programming has been completed!";
    // First line of the box for an Intel HEX file with a fault; the file and the fault follow.
    static constexpr const char* kTextBadHexFile = "The file is not a valid Intel HEX file. Nothing has been sent.";
    // Shown by the receiver of CJobFailed (application title).
    static constexpr const char* kTextProgrammingError =
        "An error occured while programming.\r\nCheck out the terminal window.";

    // The time limits and the pause, as the board protocol has them.
    static constexpr unsigned kLoadAnswerMs = board::kLoadAnswerMs;
    static constexpr unsigned kCompletedMs = board::kCompletedMs;
    static constexpr unsigned kRunAnswerMs = board::kRunAnswerMs;
    static constexpr unsigned kPauseMs = board::kPauseMs;

    CDownloadJob(CReceiveParser& parser, IDownloadHost& host, const CBoardCommands& commands, IMessageSink& sink);
    ~CDownloadJob();
    CDownloadJob(const CDownloadJob&) = delete;
    CDownloadJob& operator=(const CDownloadJob&) = delete;

    // Starts a job for the file unless one is running; never blocks. Returns false with no
    // error when the request was dropped (a job runs until OnDownloadEnd), false with the
    // error when the worker thread could not be started. With an image the job sends its bytes
    // as they are (read and checked by the caller) instead of reading the file; path still
    // names it.
    bool StartDownload(const std::string& path, std::error_code* error = nullptr,
        std::shared_ptr<const CProgramImage> image = {});
    // The receiver of CJobEnd calls this on the owner's thread: joins the worker, empties
    // the file name and the collected board text, sets the wait state to WAIT_NONE; the job no
    // longer runs afterwards.
    void OnDownloadEnd();
    // True from StartDownload until OnDownloadEnd.
    bool IsRunning() const { return m_bRunning; }
    const std::string& DownloadFile() const { return m_strDownloadFile; }

    // Any thread: the running job ends at its next run of bytes or wait (a HEX file's data at
    // the end of the line being sent, so the board never gets half a record), posts
    // CJobEnd and ends as Stopped.
    void RequestStop();
    // Any thread (the port's listener): the line went away. A running job ends at once as
    // WriteFailed with the code, whatever it waits for.
    void OnPortLost(std::error_code code);

    // The outcome of the last job and the system error behind it (a port that would not open or
    // write, a file that would not read); valid once CJobEnd has been received.
    EDownloadResult LastResult() const { return m_eResult.load(); }
    std::error_code LastError() const { return m_lastError; }
    // With BadHexFile: "line 17: checksum 3C, the record needs 3B".
    const std::string& HexFault() const { return m_strHexFault; }
    const CDownloadSummary& Summary() const { return m_summary; }

    // Data bytes written to the port so far by the running job (any thread); after the line was
    // lost, no more than it could have carried since the first of them.
    std::uint64_t BytesSent() const { return m_nBytesSent.load(std::memory_order_relaxed); }
    // Every byte the job writes (commands and data) is added here as it goes, on the worker;
    // set while no job runs. Null: not counted.
    void SetSentCounter(CTerminalCounters* counters) { m_pSentCounter = counters; }

    // The earliest end of the wait for the completion text: the later of the drained queue plus
    // the limit and the time the line needs for every data byte from the first one plus the
    // limit (bytes can wait in an adapter's FIFO or a pseudo-terminal the driver does not count).
    static std::chrono::steady_clock::time_point CompletionDeadline(std::chrono::steady_clock::time_point drained,
        std::chrono::steady_clock::time_point firstData, std::uint64_t bytes, unsigned baud, unsigned bitsPerCharacter,
        unsigned limitMs);

    // Bytes the job writes at once: what the line carries in 10 ms at its rate, 1 to 4096.
    static std::size_t RunBytes(unsigned baud, unsigned bitsPerCharacter);

    // The job itself; runs on the worker thread (public for the thread routine and tests that
    // drive it on a thread of their own).
    void RunDownload();

private:
    // One exchange of the handshake: what the parser awaits, how long the board may take once
    // the written bytes have left the port, and how the job ends when it stays silent.
    struct CExchange {
        EWaitState m_eAwait;
        unsigned m_nLimitMs;
        EDownloadResult m_eOnSilence;
    };

    EDownloadResult Run();
    // The job's image: the one given, or the file read (and checked) now; Completed, or how
    // reading or checking it failed.
    EDownloadResult LoadImage(std::shared_ptr<const CProgramImage>& image);
    // Writes text (may be empty) while the parser awaits the exchange's answer, then waits for
    // it; Completed when it came.
    EDownloadResult Exchange(const CExchange& exchange, const std::string& text);
    // The file in runs of RunBytes, with the bars' steps; Completed when every byte went out.
    EDownloadResult SendData(const std::vector<std::uint8_t>& buffer);
    // Completed when written, otherwise WriteFailed (or Stopped, unless finishing: the rest of a
    // line goes out after Stop, within the write's time limit).
    EDownloadResult WriteToPort(CSerialPort& port, const void* data, std::size_t size);
    EDownloadResult WriteToPort(CSerialPort& port, const void* data, std::size_t size, std::size_t& done,
        bool finishing = false);
    // Stopped during a HEX file's data after sent bytes: sends the rest of the line being sent;
    // Stopped when it went out, else how writing it failed.
    EDownloadResult FinishLine(CSerialPort& port, const std::vector<std::uint8_t>& buffer, std::size_t& sent);
    // Drops what the board said so far, read or not, and awaits nothing.
    void DropBoardText(CSerialPort& port);
    // After a job that wrote to the board and did not complete, the board may still wait for
    // records: a line end brings it back to its prompt, and what it says until then is dropped.
    EDownloadResult ResyncBoard(CSerialPort& port);
    // How a wait that was woken early ends: WriteFailed with the port's error when the line went
    // away, else Stopped.
    EDownloadResult Interrupted();
    // Completed when the board answered, otherwise the exchange's failure (or Stopped).
    EDownloadResult WaitForBoard(const CExchange& exchange);
    // False when the job is stopping.
    bool Pause(unsigned ms);
    bool Stopping() const { return m_bStop.load(); }
    bool PortLost() const { return m_bPortLost.load(); }
    // The board reported an error: posts CJobFailed.
    EDownloadResult BoardFailed();
    // A failure, unless the job was asked to stop meanwhile.
    EDownloadResult Fail(EDownloadResult result, std::error_code code = {});

    CReceiveParser& m_parser;
    CBoardState& m_state;
    IDownloadHost& m_host;
    const CBoardCommands& m_commands;
    IMessageSink& m_sink;

    // Owner's thread only.
    bool m_bRunning = false;
    std::string m_strDownloadFile;
    std::thread m_downloadThread;

    // Written by the owner before the worker starts, read by the worker.
    std::string m_strJobFile;
    // Taken by the worker when it starts.
    std::shared_ptr<const CProgramImage> m_pJobImage;
    std::atomic<bool> m_bStop{false};
    CEvent m_evtStop{true, false};
    std::atomic<bool> m_bPortLost{false};
    std::mutex m_lostMutex;
    std::error_code m_lostError; // guarded by m_lostMutex
    std::atomic<EDownloadResult> m_eResult{EDownloadResult::Completed};

    // Worker thread only; read by the owner after CJobEnd.
    std::error_code m_lastError;
    std::string m_strHexFault;
    CDownloadSummary m_summary;
    unsigned m_nWriteTimeoutMs = 0;
    unsigned m_nBaud = 0;
    unsigned m_nBitsPerCharacter = 10;
    std::chrono::steady_clock::time_point m_tFirstData{};
    std::uint64_t m_nDataBytes = 0;
    std::atomic<std::uint64_t> m_nBytesSent{0};
    // Set when a job wrote to the board and did not complete; the next job resyncs first.
    bool m_bWroteToBoard = false;
    bool m_bResyncBoard = false;
    bool m_bHexData = false;
    CTerminalCounters* m_pSentCounter = nullptr;
};
