#include "port/port_doctor.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

CUserIdentity CUserIdentity::Current()
{
    CUserIdentity user;
    user.m_nUid = ::getuid();
    user.m_nPid = ::getpid();
    user.m_nPrimaryGid = ::getgid();
    if (const passwd* entry = ::getpwuid(::getuid())) {
        user.m_strName = entry->pw_name;
        user.m_nPrimaryGid = entry->pw_gid;
    }
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = groups.empty() ? 0 : ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        user.m_processGroups.push_back(groups[static_cast<std::size_t>(i)]);
    user.m_processGroups.push_back(::getegid());
    return user;
}

std::string CPortDoctor::OwnerName(unsigned uid)
{
    if (const passwd* entry = ::getpwuid(uid))
        return entry->pw_name;
    return std::to_string(uid);
}

bool CPortDoctor::NodeStatus(const std::string& node, CNodeStatus& status)
{
    struct stat info {};
    if (::stat(node.c_str(), &info) != 0)
        return false;
    status.m_nPermissions = static_cast<unsigned>(info.st_mode & 0777);
    status.m_bCharDevice = S_ISCHR(info.st_mode);
    status.m_bRegular = S_ISREG(info.st_mode);
    status.m_nUid = info.st_uid;
    status.m_nGid = info.st_gid;
    return true;
}

CPortDoctor::CTryOut CPortDoctor::TryPort(const std::string& node, bool askUart)
{
    CTryOut out;
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.m_nOpenError = errno;
        return out;
    }
    termios line {};
    out.m_nTerminalError = ::tcgetattr(fd, &line) == 0 ? 0 : errno;
    serial_struct serial {};
    out.m_bUnknownUart = askUart && ::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN;
    out.m_bLocked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return out;
}

std::vector<int> CPortDoctor::LockingProcesses(const std::string& node) const
{
    struct stat info {};
    if (::stat(node.c_str(), &info) != 0)
        return {};
    // "1: FLOCK  ADVISORY  WRITE 4321 00:05:1234 0 EOF": the device and inode in the sixth field,
    // in hexadecimal and decimal; "->" marks a waiter, not a holder.
    std::vector<int> pids;
    std::ifstream in(fs::path(m_roots.m_strProc) / "locks");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, type, kind, mode, pid, where;
        fields >> id >> type;
        if (type == "->")
            continue;
        fields >> kind >> mode >> pid >> where;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (!AllDigits(pid) || pid.size() > 9
            || std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        if (major == ::major(info.st_dev) && minor == ::minor(info.st_dev) && inode == info.st_ino)
            pids.push_back(std::stoi(pid));
    }
    return pids;
}

std::vector<CPortHolder> CPortDoctor::Holders(const std::string& device) const
{
    std::vector<CPortHolder> holders;
    const std::string node = Resolve(device);
    auto named = [this](int pid) {
        CPortHolder holder;
        holder.m_nPid = pid;
        holder.m_strName = FirstLine(fs::path(m_roots.m_strProc) / std::to_string(pid) / "comm");
        if (holder.m_strName.empty())
            holder.m_strName = "?";
        holder.m_bSelf = pid == m_user.m_nPid;
        return holder;
    };
    auto find = [&holders](int pid) {
        return std::find_if(holders.begin(), holders.end(), [pid](const CPortHolder& h) { return h.m_nPid == pid; });
    };
    std::error_code error;
    for (fs::directory_iterator it(m_roots.m_strProc, error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (!AllDigits(pid) || pid.size() > 9)
            continue;
        std::error_code fdError;
        bool found = false;
        for (fs::directory_iterator fd(it->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd && !found;
             fd.increment(fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd->path(), linkError);
            found = !linkError && (target == node || target == device);
        }
        if (found)
            holders.push_back(named(std::stoi(pid)));
    }
    for (const int pid : LockingProcesses(node)) {
        auto it = find(pid);
        if (it == holders.end())
            it = holders.insert(holders.end(), named(pid));
        it->m_bLock = true;
    }
    // UUCP-style lock files name the process in text.
    const std::string lock = FirstLine(fs::path(m_roots.m_strLock) / ("LCK.." + fs::path(node).filename().string()));
    const std::string lockPid = lock.substr(std::min(lock.find_first_not_of(' '), lock.size()));
    if (AllDigits(lockPid) && lockPid.size() < 10) {
        const int pid = std::stoi(lockPid);
        auto it = find(pid);
        if (it == holders.end())
            it = holders.insert(holders.end(), named(pid));
        it->m_bLockFile = true;
    }
    std::sort(holders.begin(), holders.end(), [](const CPortHolder& a, const CPortHolder& b) { return a.m_nPid < b.m_nPid; });
    return holders;
}

bool CPortDoctor::HasNoUart(const std::string& kernelName) const
{
    if (kernelName.rfind("ttyS", 0) != 0)
        return false;
    const fs::path entry = fs::path(m_roots.m_strSys) / "class" / "tty" / kernelName;
    std::error_code error;
    if (!fs::exists(entry, error))
        return false;
    return FirstLine(entry / "type") == "0" || FirstLine(entry / "port") == "0x0";
}

bool CPortDoctor::ModemManagerMayProbe(const std::string& node) const
{
    if (fs::path(node).filename().string().rfind("ttyACM", 0) != 0)
        return false;
    struct stat info {};
    if (::stat(node.c_str(), &info) != 0)
        return false;
    const std::time_t now = m_now ? m_now : std::time(nullptr);
    if (now - info.st_ctime > kFreshDeviceSeconds)
        return false;
    std::error_code error;
    for (fs::directory_iterator it(m_roots.m_strProc, error), end; !error && it != end; it.increment(error))
        if (AllDigits(it->path().filename().string()) && FirstLine(it->path() / "comm") == "ModemManager")
            return true;
    return false;
}
