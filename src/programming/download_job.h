#pragma once
// CDownloadJob: sends one file to the board and drives the monitor's handshake (download
// command, the file byte by byte, completion message, run command), each answer with its time
// limit. StartDownload, OnDownloadEnd, IsRunning and the destructor run on the owner's thread
// (the GUI thread in the program, where the receive parser runs too); the job itself runs on a
// worker thread that writes to the port, waits on the parser's event, shows its message boxes
// through the prompt and reports by posting WM_DOWNLOAD_BEGIN/STEP/END/FAILED to the sink.
// The parser, host, tool settings, sink and prompt must outlive the job. RequestStop may be
// called from any thread (closing the window, Ctrl+C): the job ends at its next byte or wait
// without a box. The destructor stops and joins a running job; the prompt must then return
// (a box still open has to be closed by its owner first).

#include "programming/receive_parser.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class CSerialPort;
class CToolSettings;
class IMessageSink;
class IUserPrompt;

// What the owner of the port provides. Called on the worker thread.
class IDownloadHost {
public:
    virtual ~IDownloadHost() = default;
    // The port the job writes to; its IsOpen() decides whether OpenDownloadPort is called.
    virtual CSerialPort& DownloadPort() = 0;
    // Opens the closed port with the current port settings, the way OpenConfiguredPort does
    // (listener started, line and handshake applied, terminal attached). On failure it shows
    // ShowSystemError with the port's last error and failureText ("Port open error!") and
    // returns false. The job never closes the port.
    virtual bool OpenDownloadPort(const std::string& failureText) = 0;
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
};

class CDownloadJob {
public:
    // Texts of the job's boxes, as the user sees them.
    static constexpr const char* kTextPortOpenError = "Port open error!";
    static constexpr const char* kTextFileOpenError = "File open error!";
    static constexpr const char* kTextFileEmpty = "The file is empty!";
    static constexpr const char* kTextPortWriteError = "Port write error!";
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
    // Shown by the receiver of WM_DOWNLOAD_FAILED (owned by the main window, application title).
    static constexpr const char* kTextProgrammingError =
        "An error occured while programming.\r\nCheck out the terminal window.";

    // Time limits, measured from the moment the written bytes have left the port.
    static constexpr unsigned kLoadAnswerMs = 500;
    static constexpr unsigned kCompletedMs = 1000;
    static constexpr unsigned kRunAnswerMs = 500;
    static constexpr unsigned kPauseMs = 200;

    CDownloadJob(CReceiveParser& parser, IDownloadHost& host, const CToolSettings& tools,
        IMessageSink& sink, IUserPrompt& prompt);
    ~CDownloadJob();
    CDownloadJob(const CDownloadJob&) = delete;
    CDownloadJob& operator=(const CDownloadJob&) = delete;

    // Starts a job for the file unless one is running; never blocks. Returns false when the
    // request was dropped (a job runs, its boxes included, until OnDownloadEnd).
    bool StartDownload(const std::string& path);
    // The receiver of WM_DOWNLOAD_END calls this on the owner's thread: joins the worker, empties
    // the file name and the collected board text, sets the wait state to WAIT_NONE; the job no
    // longer runs afterwards.
    void OnDownloadEnd();
    // True from StartDownload until OnDownloadEnd.
    bool IsRunning() const { return m_bRunning; }
    const std::string& DownloadFile() const { return m_strDownloadFile; }

    // Any thread: the running job ends at its next byte or wait, posts WM_DOWNLOAD_END and shows
    // no box. A job waiting on one of its boxes ends once the box is closed.
    void RequestStop();

    // The outcome of the last job; valid once WM_DOWNLOAD_END has been received.
    EDownloadResult LastResult() const { return m_nResult.load(); }

    // The job itself; runs on the worker thread (public for the thread routine and tests that
    // drive it on a thread of their own).
    void RunDownload();

private:
    enum class EWait { Signalled, TimedOut, Stopped };

    EDownloadResult Run();
    // False when the write failed (its box shown) or the job is stopping.
    bool WriteToPort(const void* data, std::size_t size);
    EWait WaitForBoard(unsigned limitMs);
    // False when the job is stopping.
    bool Pause(unsigned ms);
    bool Stopping() const { return m_bStop.load(); }

    CReceiveParser& m_parser;
    CBoardState& m_state;
    IDownloadHost& m_host;
    const CToolSettings& m_tools;
    IMessageSink& m_sink;
    IUserPrompt& m_prompt;

    // Owner's thread only.
    bool m_bRunning = false;
    std::string m_strDownloadFile;
    std::thread m_downloadThread;

    // Written by the owner before the worker starts, read by the worker.
    std::string m_strJobFile;
    std::atomic<bool> m_bStop{false};
    CEvent m_evtStop{true, false};
    std::atomic<EDownloadResult> m_nResult{EDownloadResult::Completed};

    // Worker thread only.
    unsigned m_nWriteTimeoutMs = 0;
    unsigned m_nBaud = 0;
};
