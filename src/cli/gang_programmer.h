#pragma once
// CGangProgrammer: one file to many boards at once, one CProgrammingSession per port, each on a
// thread of its own that runs the session's message loop as the one-port command does. Add
// starts a board (any time, also while others run); StopAll asks every running job to stop
// (any thread, Ctrl+C); the observer is called on a board's thread for each event, one call at
// a time. Snapshot and WaitForChange may be called from any thread. Every board gets the image
// set when it was added (read and checked once by the caller), with its serial number in place
// when numbers are given. The destructor stops and joins every board's thread; the settings,
// commands, serial numbers and observer must outlive the object.

#include "port/port_settings.h"
#include "programming/board_commands.h"
#include "programming/download_job.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CProgramImage;
class CProgrammingSession;
class CSerialNumbers;

// One attempt at a board, as the log and the JSON's attempts name it.
struct CGangAttempt {
    unsigned m_nAttempt = 1;
    EDownloadResult m_eResult = EDownloadResult::Completed;
    std::string m_strReason;
    std::uint64_t m_nBytes = 0;
    double m_dSeconds = 0;
};

// One board's state, as shown in the table, the event lines, the summary and the JSON.
struct CGangBoard {
    enum class EState { Opening, Sending, Completed, Failed };
    std::string m_strPort;
    // The port's name under /dev/serial/by-id (or the by-id folder it was named from).
    std::optional<std::string> m_strIdentity;
    EState m_eState = EState::Opening;
    EDownloadResult m_eResult = EDownloadResult::Completed;
    // The first line of the job's message, with the system's detail after it.
    std::string m_strReason;
    // The last line of text the board sent.
    std::string m_strLastText;
    std::uint64_t m_nBytes = 0;
    std::uint64_t m_nTotal = 0;
    double m_dBytesPerSecond = 0;
    double m_dSeconds = 0;
    // The SHA-256 of the file the board got (before its serial number went in).
    std::string m_strSha256;
    // The board's serial number; none without numbers (or before one was taken).
    std::optional<std::string> m_strSerial;
    // 1 for the first attempt; every attempt so far, the running one once it has ended.
    unsigned m_nAttempt = 1;
    std::vector<CGangAttempt> m_attempts;
    int Percent() const { return m_nTotal ? static_cast<int>(m_nBytes * 100 / m_nTotal) : 0; }
    bool Done() const { return m_eState == EState::Completed || m_eState == EState::Failed; }
};

// What a run does beyond sending the file once to every board.
struct CGangOptions {
    // Attempts after the first for a board that did not answer, reported an error or sent no
    // completion text.
    unsigned m_nRetries = 0;
    // Each board's serial number; null: none.
    CSerialNumbers* m_pSerials = nullptr;
    // Called on the board's thread after each attempt (the board with the attempt's figures),
    // before the board goes on or counts as done. A text stops every board: the run cannot go on
    // (a unit would go unlogged); it says why.
    std::function<std::string(const CGangBoard& board)> m_attemptEnded;
};

class CGangProgrammer {
public:
    // Retrying: an attempt failed and the next one follows.
    enum class EEvent { Started, Retrying, Ended };
    using Observer = std::function<void(const CGangBoard& board, EEvent event)>;

    // The jobs send the image without checking it again (the caller checked it once).
    CGangProgrammer(const CPortSettings& settings, const CBoardCommands& commands, CGangOptions options,
        Observer observer);
    ~CGangProgrammer();
    CGangProgrammer(const CGangProgrammer&) = delete;
    CGangProgrammer& operator=(const CGangProgrammer&) = delete;

    // Starts programming the board on port; its index in Snapshot (that of the port's earlier
    // board once Reap has joined it, a new one otherwise).
    std::size_t Add(const std::string& port);
    // The image (with its SHA-256) the boards added from now on get; boards running keep theirs.
    void SetImage(std::shared_ptr<const CProgramImage> image, std::string sha256);
    void StopAll();
    // Why the run was stopped from within (a log or the serial-number file that could not be
    // written); empty otherwise.
    std::string Halted() const;
    std::vector<CGangBoard> Snapshot() const;
    bool AllDone() const;
    // Returns when a board changed or ended, or at the deadline.
    void WaitForChange(std::chrono::steady_clock::time_point deadline);
    // Joins the threads of the boards that have ended.
    void Reap();

    // The port's name under <devRoot>/serial/by-id (the stable name probing gives it), or its own
    // name when it is given by a path in a by-id folder; none when it has no such name.
    static std::optional<std::string> Identity(const std::string& port, const std::string& devRoot = "/dev");
    // "completed", "port-open", ... : the words of the exit statuses.
    static const char* ResultWord(EDownloadResult result);
    // Whether another attempt may help: no answer, the board's error, no completion text.
    static bool Retryable(EDownloadResult result);
    // The status the one-port command exits with for the result.
    static int ExitStatus(EDownloadResult result);

private:
    struct CSlot {
        CGangBoard m_board;
        CProgrammingSession* m_pSession = nullptr;
        std::shared_ptr<const CProgramImage> m_pImage;
        std::thread m_thread;
        bool m_bJoined = false;
    };
    void Serve(CSlot& slot);
    void Publish(CSlot& slot, const std::function<void(CGangBoard&)>& change);
    void Notify(CSlot& slot, EEvent event);
    // Stops every board for the reason (the first one is kept).
    void Halt(const std::string& why);
    bool Stopping() const;
    // Takes the board's number and puts it into its image; false when the run cannot go on.
    bool TakeSerial(CSlot& slot, std::uint64_t& number);

    const CPortSettings& m_settings;
    CBoardCommands m_commands;
    const CGangOptions m_options;
    Observer m_observer;
    std::mutex m_observerMutex;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bStop = false;
    std::string m_strHalted;
    std::shared_ptr<const CProgramImage> m_pImage;
    std::string m_strSha256;
    std::list<CSlot> m_slots;
};
