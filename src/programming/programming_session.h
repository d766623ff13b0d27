#pragma once
// CProgrammingSession: one board on one port: the serial port with its listener, the receive
// parser and the download job, put together once for the window, the command line, the tests
// and the benchmarks. Everything runs on the owner's thread (the GUI thread, the command line's
// main thread) except RequestStop, which any thread may call. The port posts through a sink
// that keeps one "bytes received" queued at a time into the owner's sink; the owner hands every
// event it takes to OnPosted (or lets RunJob take them from its queue), and the session tells
// its observers what happened (ISessionObserver). The session ends every job the same way: what
// the board still sent, then the outcome through the prompt (a box in the window, a line on the
// command line, always with the same texts), then the worker is joined. Destroying the session
// stops and joins a running job, then closes the port.

#include "base/message_queue.h"
#include "base/message_sink.h"
#include "base/user_prompt.h"
#include "port/device_watcher.h"
#include "port/port_settings.h"
#include "programming/download_job.h"
#include "programming/receive_parser.h"
#include "programming/session_observer.h"
#include "programming/transfer_progress.h"
#include "serial/rx_coalescing_sink.h"
#include "serial/serial_wnd.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CBoardCommands;
class ITerminalSink;

class CProgrammingSession : private IDownloadHost {
public:
    // Received blocks (of CReceiveParser::kBlockSize bytes) read per port notification before
    // the owner turns to its other messages; the rest is announced again. About 16 KiB.
    static constexpr int kBlocksPerNotification = 64;

    // The terminal's lines when the device goes and comes back.
    static std::string DisconnectedLine(const std::string& device)
    {
        return "\n--- " + device + " disconnected, waiting for it ---\n";
    }
    static constexpr const char* kTextReconnected = "--- reconnected ---\n";

    // The terminal, the board commands, the owner's sink and the prompt outlive the session.
    CProgrammingSession(ITerminalSink& terminal, const CBoardCommands& commands, IMessageSink& sink,
        IUserPrompt& prompt);
    ~CProgrammingSession() override;
    CProgrammingSession(const CProgrammingSession&) = delete;
    CProgrammingSession& operator=(const CProgrammingSession&) = delete;

    CSerialWnd& Port() { return m_port; }
    CReceiveParser& Parser() { return m_parser; }
    CDownloadJob& Job() { return m_job; }
    // The settings the port is opened with; a job uses a copy taken when it starts.
    CPortSettings& PortSettings() { return m_portSettings; }
    // The sink the port posts through (for whoever else opens the port).
    CRxCoalescingSink& PortSink() { return m_rxSink; }

    // Opens the closed port with the port settings. On failure shows the port's error after
    // failureText and returns false; on success calls attachTerminal(&port) when given.
    bool OpenPort(const std::optional<std::string>& failureText,
        const std::function<void(CSerialPort*)>& attachTerminal = {});

    // Told everything that happens from now on, until removed.
    void AddObserver(ISessionObserver& observer);
    void RemoveObserver(ISessionObserver& observer);

    // Called by the owner now and then (a timer): when the open port's device went away (its
    // listener ended with an error) and no download runs, closes the port and tells CPortLost
    // or, with reconnecting on, CPortDisconnected (watching for the device from then on).
    void CheckPortLost();
    std::error_code LostError() const { return m_lostError; }
    bool IsWaitingForPort() const { return m_watcher.IsWatching(); }
    // The device shown in the terminal's lines: the node the port was opened on.
    const std::string& PortDevice() const { return m_strNode; }
    // The owner opened the port itself, or changed its settings: a wait in progress ends, or
    // watches the port now set.
    void StopWaiting() { m_watcher.Stop(); }
    void RestartWaiting();
    // The port is open (by whoever opened it): remembers the node it is on.
    void NotePortOpened();

    // Starts a download of the file unless one runs; false when dropped or when the worker
    // could not start (then after its box). With an image, its bytes go as they are (see
    // CDownloadJob::StartDownload).
    bool StartDownload(const std::string& path, std::shared_ptr<const CProgramImage> image = {});
    void RequestStop() { m_job.RequestStop(); }
    bool IsDownloadRunning() const { return m_job.IsRunning(); }
    EDownloadResult LastResult() const { return m_job.LastResult(); }

    // The owner's thread hands over every event posted to its sink, in order; false when it was
    // not the session's. A job's end is handled here to its last step (see ISessionObserver).
    bool OnPosted(const CPostedEvent& event);
    // For an owner whose thread has no event loop (the command line, a board of the gang, tests):
    // takes the events from queue (the sink the session was made with) and hands them to
    // OnPosted until the running job has ended; false when no job runs or the deadline came
    // first. onIdle, when given, runs whenever idle passes without an event.
    bool RunJob(CMessageQueue& queue,
        std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max(),
        std::chrono::milliseconds idle = {}, const std::function<void()>& onIdle = {});
    // Sees every block read from the port, byte for byte as the board sent it (before the parser
    // turns it into text), on the owner's thread; empty: none.
    using CReceiveTap = std::function<void(const std::uint8_t* data, std::size_t size)>;
    void SetReceiveTap(CReceiveTap tap) { m_receiveTap = std::move(tap); }
    // Bytes per second the open port's line settings allow; 0 when unknown.
    double LineRate();
    // From CBegin on: the file's size.
    std::size_t Count() const { return m_nCount; }
    // The bars' position since CBegin (0 .. Count() + 2): 1 once the download command
    // went, 1 + the bytes sent, Count() + 2 when the board answered; exact at every end.
    std::uint64_t Position() const { return m_nPosition; }
    // The running download's figures, brought up to date at every step and by Refresh (a timer
    // of the owner, so a stalled line is noticed while no step comes).
    const CTransferProgress& Progress() const { return m_progress; }
    void Refresh(CTransferProgress::Clock::time_point now);
    // "data.hex: 12345 of 65536 bytes, 1920 bytes/s, 0:07 elapsed, 0:27 left"; from CEnding
    // on, the final figures ("data.hex: 65536 of 65536 bytes, 1915 bytes/s, 0:34 elapsed").
    std::string ProgressText(CTransferProgress::Clock::time_point now) const;
    // From CEnding on, for a completed job: one line with the file, its bytes, the addresses of
    // a checked Intel HEX file, the time and the rate; empty for any other outcome.
    std::string SummaryLine() const;

    // The box for a job's outcome: its text and caption; false when the outcome shows none. The
    // device and the file name what a failure was about.
    static bool ResultMessage(EDownloadResult result, std::error_code code, std::string& text, std::string& caption,
        const std::string& device, const std::string& file, const std::string& hexFault = {});
    static std::string FormatSummary(const std::string& file, const CDownloadSummary& summary);

private:
    // IDownloadHost, on the worker.
    CSerialPort& DownloadPort() override { return m_port; }
    std::error_code OpenDownloadPort() override;

    void ReadPort(const CPortEvent& event);
    void OnPortPresent();
    // The one way a job ends: drains, shows the result, joins the worker, telling each step.
    void EndJob();
    // Shows how the job ended (nothing when it was stopped, or when the board's error was shown
    // at CFailed).
    void ShowResult();
    void Tell(const CSessionEvent& event);

    IUserPrompt& m_prompt;
    IMessageSink& m_sink;
    std::vector<ISessionObserver*> m_observers;
    // Counts the jobs ended, for RunJob.
    unsigned m_nJobsEnded = 0;
    CRxCoalescingSink m_rxSink;
    CPortSettings m_portSettings;
    // The settings the running job opens the port with (a copy for the worker).
    CPortSettings m_jobPortSettings;
    CReceiveParser m_parser;
    CSerialWnd m_port;
    CDownloadJob m_job;
    std::size_t m_nCount = 0;
    std::uint64_t m_nPosition = 0;
    // The running or last job's file, kept past EndDownload for the summary.
    std::string m_strFile;
    CTransferProgress m_progress;
    CReceiveTap m_receiveTap;
    ITerminalSink& m_terminal;
    std::error_code m_lostError;
    std::string m_strNode;
    std::string m_strOpenedAs; // the setting's path m_strNode was resolved from
    // Last: its thread posts into the owner's sink and is joined first.
    CDeviceWatcher m_watcher;
};
