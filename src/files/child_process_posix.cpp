#include "files/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

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

void CloseHandle(std::intptr_t& handle)
{
    if (handle >= 0)
        close(static_cast<int>(handle));
    handle = -1;
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

CChildProcess::~CChildProcess()
{
    Close();
}

int CChildProcess::Start(const std::vector<std::string>& args, const std::string& workingDir, bool mergedOutput)
{
    Close();
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    int wake[2] = {-1, -1};
    pid_t pid = -1;
    if (MakePipe(in) && MakePipe(out) && MakePipe(err) && MakePipe(wake))
        pid = SpawnChild(args, workingDir, in[0], out[1], mergedOutput ? out[1] : err[1]);
    // The reason of a failure, before the closing below can change errno.
    const int error = pid < 0 ? errno : 0;
    // Only the child holds its ends from now on, so the readers see the end of their pipes
    // when the child (and whatever inherited them) is gone.
    CloseFd(in[0]);
    CloseFd(out[1]);
    CloseFd(err[1]);
    m_hStdinWrite = in[1];
    m_hStdoutRead = out[0];
    m_hStderrRead = err[0];
    m_hWakeRead = wake[0];
    m_hWakeWrite = wake[1];
    if (pid < 0) {
        Close();
        return error;
    }
    m_nProcess = pid;
    return 0;
}

void CChildProcess::EndGroup(bool forced)
{
    if (m_nProcess > 0)
        kill(-static_cast<pid_t>(m_nProcess), forced ? SIGKILL : SIGTERM);
}

void CChildProcess::WakeReaders()
{
    if (m_hWakeWrite < 0)
        return;
    char byte = 1;
    while (write(static_cast<int>(m_hWakeWrite), &byte, 1) < 0 && errno == EINTR) {
    }
}

std::size_t CChildProcess::Read(EStream stream, char* buffer, std::size_t size)
{
    const int fd = static_cast<int>(stream == EStream::Error ? m_hStderrRead : m_hStdoutRead);
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {static_cast<int>(m_hWakeRead), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        if (fds[1].revents != 0)
            return 0;
        ssize_t count = read(fd, buffer, size);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return 0;
        }
        return static_cast<std::size_t>(count);
    }
}

bool CChildProcess::WaitForEnd(bool& signalled, int& code)
{
    siginfo_t info{};
    int rc;
    do {
        rc = waitid(P_PID, static_cast<id_t>(m_nProcess), &info, WEXITED | WNOWAIT);
    } while (rc < 0 && errno == EINTR);
    if (rc != 0)
        return false;
    signalled = info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED;
    code = info.si_status;
    return true;
}

void CChildProcess::Collect()
{
    int wstatus = 0;
    while (waitpid(static_cast<pid_t>(m_nProcess), &wstatus, 0) < 0 && errno == EINTR) {
    }
}

void CChildProcess::Close()
{
    CloseHandle(m_hStdinWrite);
    CloseHandle(m_hStdoutRead);
    CloseHandle(m_hStderrRead);
    CloseHandle(m_hWakeRead);
    CloseHandle(m_hWakeWrite);
    m_nProcess = -1;
}
