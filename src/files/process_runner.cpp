#include "files/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

extern char** environ;

namespace {
// A descriptor at 3 or above, so that placing the child's ends on 0..2 never meets itself.
int AboveStdio(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

bool MakePipe(int fds[2])
{
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    fds[0] = AboveStdio(fds[0]);
    fds[1] = AboveStdio(fds[1]);
    return fds[0] >= 0 && fds[1] >= 0;
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// Spawns args with stdin/stdout/stderr on the given ends, in a session (and process group) of
// its own, with a clean signal state. Returns the child's id or -1 with errno set.
pid_t SpawnChild(const std::vector<std::string>& args, const std::string& workingDir, int in, int out, int err)
{
    if (args.empty() || args[0].empty()) {
        errno = ENOENT;
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    if (!workingDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());

    sigset_t mask;
    sigemptyset(&mask);
    posix_spawnattr_setsigmask(&attr, &mask);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}
} // namespace

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

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    int wake[2] = {-1, -1};
    pid_t pid = -1;
    if (MakePipe(in) && MakePipe(out) && MakePipe(err) && MakePipe(wake))
        pid = SpawnChild(args, workingDir, in[0], out[1], m_bMergedOutput ? out[1] : err[1]);
    // The reason of a failure, before the closing below can change errno.
    m_nStartError = pid < 0 ? errno : 0;
    // Only the child holds its ends from now on, so the readers see the end of their pipes
    // when the child (and whatever inherited them) is gone.
    CloseFd(in[0]);
    CloseFd(out[1]);
    CloseFd(err[1]);
    m_fdStdinWrite = in[1];
    m_fdStdoutRead = out[0];
    m_fdStderrRead = err[0];
    m_fdWakeRead = wake[0];
    m_fdWakeWrite = wake[1];

    if (pid < 0) {
        CloseAll();
        CountRun();
        // The first line as it always was; the system's reason on the next.
        OnStdout("Unable to start " + commandLine + "\n" + std::system_category().message(m_nStartError) + "\n");
        return false;
    }

    m_pid = pid;
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
    m_stdoutReader = std::thread(&CProcessRunner::ReaderMain, this, m_fdStdoutRead, m_fdWakeRead, false);
    m_stderrReader = std::thread(&CProcessRunner::ReaderMain, this, m_fdStderrRead, m_fdWakeRead, true);
    m_watcher = std::thread(&CProcessRunner::WatcherMain, this, pid);
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

    if (m_pid > 0) {
        // Until the watcher has collected the child, its id still names its process group, even
        // when it has already ended; the watcher collects only after the readers are done, and
        // they are woken below, after the group has been ended.
        std::lock_guard lock(m_reapMutex);
        if (!m_bReaped) {
            if (!m_evtEnded.IsSet()) {
                kill(-m_pid, SIGTERM);
                m_evtEnded.Wait(kStopGraceMs);
            }
            kill(-m_pid, SIGKILL);
        }
    }

    if (m_fdWakeWrite >= 0) {
        char byte = 1;
        while (write(m_fdWakeWrite, &byte, 1) < 0 && errno == EINTR) {
        }
    }
    if (m_stdoutReader.joinable())
        m_stdoutReader.join();
    if (m_stderrReader.joinable())
        m_stderrReader.join();
    if (m_watcher.joinable())
        m_watcher.join();
    m_bRunning = false;
    m_pid = -1;
    CloseAll();
}

bool CProcessRunner::IsActive() const
{
    return m_pid > 0 && !m_evtEnded.IsSet();
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

void CProcessRunner::ReaderMain(int fd, int wakeFd, bool isError)
{
    struct CFinish {
        CProcessRunner* m_pRunner;
        ~CFinish() { m_pRunner->ReaderFinished(); }
    } finish{this};
    char buffer[kReadSize];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        if (count == 0)
            return;
        if (!WaitForRoom())
            return;
        std::string_view text(buffer, static_cast<std::size_t>(count));
        if (isError)
            OnStderr(text);
        else
            OnStdout(text);
        if (m_bStopRequested)
            return;
    }
}

void CProcessRunner::WatcherMain(pid_t pid)
{
    // Waits for the end without collecting the child: the zombie keeps the id (and so the
    // process group) reserved while something of the group may still hold the pipes.
    siginfo_t info{};
    int rc;
    do {
        rc = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    } while (rc < 0 && errno == EINTR);
    CExitStatus status;
    status.m_bEnded = true;
    status.m_bStopped = m_bStopRequested;
    if (rc == 0) {
        status.m_bSignalled = info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED;
        status.m_nCode = info.si_status;
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
        int wstatus = 0;
        while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
        }
        m_bReaped = true;
    }
    OnFinished(status);
    ThreadFinished();
}

void CProcessRunner::CloseAll()
{
    CloseFd(m_fdStdinWrite);
    CloseFd(m_fdStdoutRead);
    CloseFd(m_fdStderrRead);
    CloseFd(m_fdWakeRead);
    CloseFd(m_fdWakeWrite);
}
