#include "qxprog_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>

extern char** environ;

namespace {
double TimevalSeconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}
} // namespace

const char* CQxprogRun::Program()
{
    const char* other = std::getenv("QX_BENCH_QXPROG");
    return other && *other ? other : QXPROG_PATH;
}

bool CQxprogRun::Run(const std::vector<std::string>& args, const std::string& errPath)
{
    m_dSeconds = m_dCpuSeconds = 0;
    m_nExitStatus = -1;
    std::vector<std::string> all = {Program()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.empty() ? "/dev/null" : errPath.c_str(),
        O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const bool started = ::posix_spawn(&pid, Program(), &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started)
        return false;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m_dCpuSeconds = TimevalSeconds(usage.ru_utime) + TimevalSeconds(usage.ru_stime);
    m_nExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}
