#include "files/process_runner.h"

#include <algorithm>
#include <system_error>

CProcessRunner::CProcessRunner() = default;

CProcessRunner::~CProcessRunner()
{
    Stop();
}

void CProcessRunner::OnStart(const std::string&) {}
void CProcessRunner::OnStdout(std::string_view) {}
void CProcessRunner::OnStderr(std::string_view) {}
void CProcessRunner::OnExit() {}
void CProcessRunner::OnFinished(const CExitStatus&) {}

bool CProcessRunner::Start(const std::string& commandLine, const std::vector<std::string>& args,
                           const std::string& workingDir)
{
    // One child at a time: the earlier one is ended and its threads joined before its
    // descriptors and process are let go.
    Stop();
    ++m_nRun;
    m_strWorkingDir = workingDir;

    m_nStartError = m_child.Start(args, workingDir, m_bMergedOutput);
    if (m_nStartError != 0) {
        CountRun();
        // The first line as it always was; the system's reason on the next.
        OnStdout("Unable to start " + commandLine + "\n" + std::system_category().message(m_nStartError) + "\n");
        return false;
    }

    {
        std::lock_guard lock(m_statusMutex);
        m_exitStatus = {};
    }
    m_evtEnded.Reset();
    m_evtDone.Reset();
    m_evtReadersDone.Reset();
    m_nFinishedThreads = 0;
    m_nFinishedReaders = 0;
    {
        std::lock_guard lock(m_reapMutex);
        m_bReaped = false;
    }
    m_bStopRequested = false;
    m_bRunning = true;
    m_stdoutReader = std::thread(&CProcessRunner::ReaderMain, this, CChildProcess::EStream::Output);
    m_stderrReader = std::thread(&CProcessRunner::ReaderMain, this, CChildProcess::EStream::Error);
    m_watcher = std::thread(&CProcessRunner::WatcherMain, this);
    OnStart(commandLine);
    return true;
}

void CProcessRunner::Stop()
{
    m_bStopRequested = true;
    {
        std::lock_guard lock(m_flowMutex);
    }
    m_flowCv.notify_all();

    if (m_child.IsStarted()) {
        // Until the watcher has collected the child, its id still names its process group, even
        // when it has already ended; the watcher collects only after the readers are done, and
        // they are woken below, after the group has been ended.
        std::lock_guard lock(m_reapMutex);
        if (!m_bReaped) {
            if (!m_evtEnded.IsSet()) {
                m_child.EndGroup(false);
                m_evtEnded.Wait(kStopGraceMs);
            }
            m_child.EndGroup(true);
        }
    }

    m_child.WakeReaders();
    if (m_stdoutReader.joinable())
        m_stdoutReader.join();
    if (m_stderrReader.joinable())
        m_stderrReader.join();
    if (m_watcher.joinable())
        m_watcher.join();
    m_bRunning = false;
    m_child.Close();
}

bool CProcessRunner::IsActive() const
{
    return m_child.IsStarted() && !m_evtEnded.IsSet();
}

CExitStatus CProcessRunner::ExitStatus() const
{
    std::lock_guard lock(m_statusMutex);
    return m_exitStatus;
}

void CProcessRunner::SetOutputWindow(std::size_t maxRuns)
{
    {
        std::lock_guard lock(m_flowMutex);
        m_nMaxInFlight = maxRuns;
    }
    m_flowCv.notify_all();
}

void CProcessRunner::OutputConsumed(std::size_t runs)
{
    {
        std::lock_guard lock(m_flowMutex);
        m_nInFlight -= std::min(runs, m_nInFlight);
    }
    m_flowCv.notify_all();
}

bool CProcessRunner::WaitForRoom()
{
    std::unique_lock lock(m_flowMutex);
    m_flowCv.wait(lock, [this] {
        return m_bStopRequested || m_nMaxInFlight == 0 || m_nInFlight < m_nMaxInFlight;
    });
    if (m_bStopRequested)
        return false;
    ++m_nInFlight;
    return true;
}

void CProcessRunner::CountRun()
{
    std::lock_guard lock(m_flowMutex);
    ++m_nInFlight;
}

bool CProcessRunner::WaitUntilDone(int timeoutMs)
{
    return m_evtDone.Wait(static_cast<std::uint32_t>(timeoutMs));
}

void CProcessRunner::ReaderFinished()
{
    if (++m_nFinishedReaders == 2)
        m_evtReadersDone.Set();
    ThreadFinished();
}

void CProcessRunner::ThreadFinished()
{
    if (++m_nFinishedThreads == 3)
        m_evtDone.Set();
}

void CProcessRunner::ReaderMain(CChildProcess::EStream stream)
{
    struct CFinish {
        CProcessRunner* m_pRunner;
        ~CFinish() { m_pRunner->ReaderFinished(); }
    } finish{this};
    char buffer[kReadSize];
    for (;;) {
        const std::size_t count = m_child.Read(stream, buffer, sizeof buffer);
        if (count == 0)
            return;
        if (!WaitForRoom())
            return;
        std::string_view text(buffer, count);
        if (stream == CChildProcess::EStream::Error)
            OnStderr(text);
        else
            OnStdout(text);
        if (m_bStopRequested)
            return;
    }
}

void CProcessRunner::WatcherMain()
{
    // Waits for the end without collecting the child: the zombie keeps the id (and so the
    // process group) reserved while something of the group may still hold the pipes.
    bool signalled = false;
    int code = 0;
    const bool known = m_child.WaitForEnd(signalled, code);
    CExitStatus status;
    status.m_bEnded = true;
    status.m_bStopped = m_bStopRequested;
    if (known) {
        status.m_bSignalled = signalled;
        status.m_nCode = code;
    }
    {
        std::lock_guard lock(m_statusMutex);
        m_exitStatus = status;
    }
    m_bRunning = false;
    m_evtEnded.Set();
    OnExit();

    // The pipes are closed (or Stop has ended the group and woken the readers): nothing is
    // left that a signal to the group must reach, so the child is collected now.
    m_evtReadersDone.Wait();
    {
        std::lock_guard lock(m_reapMutex);
        m_child.Collect();
        m_bReaped = true;
    }
    OnFinished(status);
    ThreadFinished();
}
