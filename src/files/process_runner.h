#pragma once
// CProcessRunner: runs one external program with its standard input, output and error on pipes,
// reads the output on two threads of its own and watches the child on a third. Start, Stop and
// IsActive belong to one thread (the GUI thread). OnStdout/OnStderr run on the reader threads,
// OnExit on the watcher: hooks must be safe from any thread and must not wait for the GUI
// thread. A derived class that overrides hooks calls Stop() in its own destructor, so that no
// thread reaches a hook of a half-destroyed object. No shell is involved anywhere: the program
// is executed directly with the arguments the caller split. An ended child is collected (no
// zombie is left) as soon as its output has been read to the end; OnFinished runs then.

#include "base/event.h"
#include "files/child_process.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// How the last child ended.
struct CExitStatus {
    bool m_bEnded = false;
    // True: m_nCode is the signal that ended the child; false: its exit status.
    bool m_bSignalled = false;
    int m_nCode = 0;
    // Stop was asked for before the child ended.
    bool m_bStopped = false;

    bool operator==(const CExitStatus&) const = default;
};

class CProcessRunner {
public:
    // Bytes read at a time; each read becomes one hook call.
    static constexpr std::size_t kReadSize = 256;
    // Time a child (and its process group) gets between the polite and the forced end.
    static constexpr int kStopGraceMs = 1000;

    CProcessRunner();
    virtual ~CProcessRunner();
    CProcessRunner(const CProcessRunner&) = delete;
    CProcessRunner& operator=(const CProcessRunner&) = delete;

    // Starts args (args[0] is the program, found through PATH when it has no slash); commandLine
    // is what the hooks and the failure text show. A child still held from an earlier Start is
    // stopped first (its process group ended, its readers joined), so one child is held at a
    // time. workingDir non-empty: the child starts there (this process's directory is kept).
    // On failure "Unable to start <commandLine>\n" and the system's reason ("No such file or
    // directory\n") go through OnStdout and false is returned.
    bool Start(const std::string& commandLine, const std::vector<std::string>& args,
               const std::string& workingDir = {});
    // Ends the child's whole process group (TERM, then KILL after kStopGraceMs), joins the three
    // threads, collects the child and closes every pipe. Safe to call when idle and repeatedly.
    void Stop();
    // True while the child has been started and has not ended.
    bool IsActive() const;
    // Why the last Start failed (an errno value; 0 after a successful Start).
    int StartError() const { return m_nStartError; }
    // The working folder given to the last Start (empty: this process's directory).
    const std::string& WorkingDir() const { return m_strWorkingDir; }
    // How the last child ended (m_bEnded false while it runs or when none ran).
    CExitStatus ExitStatus() const;
    // Waits until the child has ended and both readers have reached the end of their pipes
    // (every run has been handed to the hooks) and the child has been collected. False on
    // time-out or when nothing was started.
    bool WaitUntilDone(int timeoutMs);

    // Back-pressure: at most maxRuns runs handed to the hooks and not yet acknowledged with
    // OutputConsumed (0: no limit). A reader at the limit waits (the child then waits on its
    // full pipe) until a run is consumed or Stop is called. Any thread.
    void SetOutputWindow(std::size_t maxRuns);
    void OutputConsumed(std::size_t runs = 1);

    // True: the child's standard error goes into the pipe of its standard output, so what it
    // prints reaches OnStdout in the order it printed it, as on a terminal (OnStderr then hears
    // nothing). Takes effect at the next Start; off by default.
    void SetMergedOutput(bool merged) { m_bMergedOutput = merged; }

    // Number of the current child, counted up by each Start (successful or not) before any of
    // its runs reach the hooks; a hook can tag its runs with it so a receiver can drop runs of
    // an earlier child still queued. Any thread.
    unsigned CurrentRun() const { return m_nRun; }

protected:
    virtual void OnStart(const std::string& commandLine);
    virtual void OnStdout(std::string_view text);
    virtual void OnStderr(std::string_view text);
    virtual void OnExit();
    // On the watcher thread, once per started child, after every run of it has been handed to
    // the hooks (or Stop cut the reading short) and the child has been collected.
    virtual void OnFinished(const CExitStatus& status);

private:
    void ReaderMain(CChildProcess::EStream stream);
    void WatcherMain();
    bool WaitForRoom();
    void CountRun();
    void ReaderFinished();
    void ThreadFinished();

    CChildProcess m_child;
    bool m_bMergedOutput = false;
    std::string m_strWorkingDir;
    int m_nStartError = 0;
    std::thread m_stdoutReader;
    std::thread m_stderrReader;
    std::thread m_watcher;

    std::atomic<unsigned> m_nRun{0};
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bStopRequested{false};
    CEvent m_evtEnded{true, false};
    CEvent m_evtDone{true, false};
    std::atomic<int> m_nFinishedThreads{0};
    // Both readers are done: the watcher may collect the child.
    CEvent m_evtReadersDone{true, false};
    std::atomic<int> m_nFinishedReaders{0};
    // Guards the collection of the child against Stop's signals to its process group: once
    // collected, the id may name another process.
    std::mutex m_reapMutex;
    bool m_bReaped = false;

    mutable std::mutex m_statusMutex;
    CExitStatus m_exitStatus;

    std::mutex m_flowMutex;
    std::condition_variable m_flowCv;
    std::size_t m_nInFlight = 0;
    std::size_t m_nMaxInFlight = 0;
};
