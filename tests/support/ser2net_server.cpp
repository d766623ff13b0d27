#include "ser2net_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

// A port nobody listens on now: the system's choice for a socket bound and let go.
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

std::string Find(const std::string& name)
{
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin", "/sbin"}) {
        const std::string path = std::string(dir) + "/" + name;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

} // namespace

bool CSer2netServer::Available()
{
    return !Find("ser2net").empty();
}

CSer2netServer::CSer2netServer(const std::vector<std::string>& devices, bool rfc2217, int port) : m_bRfc2217(rfc2217)
{
    std::ostringstream config;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        m_ports.push_back(i == 0 && port != 0 ? port : FreePort());
        config << "connection: &board" << i << "\n"
               << "    accepter: " << (rfc2217 ? "telnet(rfc2217)," : "") << "tcp,127.0.0.1," << m_ports.back() << "\n"
               << "    connector: serialdev," << devices[i] << ",115200n81,local\n"
               << "    options:\n"
               << "      kickolduser: true\n";
    }
    const std::string configPath = m_dir.Write("ser2net.yaml", config.str());
    const std::string program = Find("ser2net");
    const std::string log = m_dir.Path("ser2net.log");
    const std::string pidFile = m_dir.Path("ser2net.pid");
    // A thread per few boards: one thread cannot move several lines at 460800 baud in time on a
    // busy machine, and what waits in the server is not seen by the program.
    const std::string threads = std::to_string(std::min<std::size_t>(devices.size(), 4));
    std::vector<std::string> args = {program, "-n", "-u", "-t", threads, "-c", configPath, "-P", pidFile};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (program.empty() || spawned != 0) {
        m_strError = "ser2net cannot be started";
        return;
    }
    m_nPid = pid;
    m_fdPid = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    // Until every port listens: each look waits on ser2net itself, so a ser2net that ends (a
    // configuration it refuses) ends the wait at once; bounded to about 5 s in all.
    for (int look = 0; look < 500; ++look) {
        bool all = true;
        for (int port : m_ports)
            all = all && Listening(port);
        if (all)
            return;
        pollfd exited{m_fdPid, POLLIN, 0};
        if (::poll(&exited, 1, 10) > 0) {
            std::ifstream in(log);
            std::stringstream text;
            text << in.rdbuf();
            m_strError = "ser2net ended: " + text.str();
            Stop(0);
            return;
        }
    }
    m_strError = "ser2net does not listen";
}

CSer2netServer::~CSer2netServer()
{
    Stop(SIGTERM);
}

std::string CSer2netServer::Url(std::size_t index) const
{
    return std::string(m_bRfc2217 ? "rfc2217" : "socket") + "://127.0.0.1:" + std::to_string(Port(index));
}

void CSer2netServer::Kill()
{
    Stop(SIGKILL);
}

void CSer2netServer::Stop(int signal)
{
    if (m_nPid <= 0)
        return;
    if (signal != 0)
        ::kill(m_nPid, signal);
    int status = 0;
    ::waitpid(m_nPid, &status, 0);
    m_nPid = -1;
    if (m_fdPid >= 0)
        ::close(m_fdPid);
    m_fdPid = -1;
}

bool CSer2netServer::Listening(int port) const
{
    // /proc/net/tcp: "sl local_address rem_address st ...", the address in hex, 0A = LISTEN.
    char want[32];
    std::snprintf(want, sizeof want, "0100007F:%04X", port);
    std::ifstream in("/proc/net/tcp");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == want && state == "0A")
            return true;
    }
    return false;
}
