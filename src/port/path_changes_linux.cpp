#include "port/path_changes.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF
    | IN_MOVE_SELF;

// The path's folder, or while that is gone the nearest folder above it, is watched; a
// folder made again is watched again on the next change.
void AddWatches(int fd, const std::string& path)
{
    fs::path dir = fs::path(path).parent_path();
    std::error_code error;
    while (!dir.empty() && dir != dir.root_path() && !fs::is_directory(dir, error))
        dir = dir.parent_path();
    if (!dir.empty())
        ::inotify_add_watch(fd, dir.c_str(), kEvents);
    // A stable name leads to a node elsewhere (/dev): its arrival and its mode count too.
    std::error_code linkError;
    const fs::path target = fs::read_symlink(path, linkError);
    if (!linkError) {
        const fs::path node = target.is_absolute() ? target : fs::path(path).parent_path() / target;
        if (fs::is_directory(node.parent_path(), error))
            ::inotify_add_watch(fd, node.parent_path().c_str(), kEvents);
    }
}

} // namespace

CPathChanges::~CPathChanges()
{
    Close();
}

std::error_code CPathChanges::Open(const std::string& path)
{
    Close();
    const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0)
        return {errno, std::system_category()};
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        const int error = errno;
        ::close(inotifyFd);
        return {error, std::system_category()};
    }
    m_strPath = path;
    AddWatches(inotifyFd, path);
    m_hChanges = inotifyFd;
    m_hWake = wakeFd;
    return {};
}

void CPathChanges::Close()
{
    for (std::intptr_t* handle : {&m_hChanges, &m_hWake}) {
        if (*handle >= 0)
            ::close(static_cast<int>(*handle));
        *handle = -1;
    }
}

CPathChanges::EWait CPathChanges::Wait(int timeoutMs)
{
    const int inotifyFd = static_cast<int>(m_hChanges);
    pollfd fds[2] = {{inotifyFd, POLLIN, 0}, {static_cast<int>(m_hWake), POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? EWait::Interrupted : EWait::Woken;
    if (fds[1].revents)
        return EWait::Woken;
    if (ready == 0)
        return EWait::TimedOut;
    bool changed = false;
    if (fds[0].revents & POLLIN) {
        // Only whether something changed matters; the events themselves are dropped.
        alignas(inotify_event) char buffer[4096];
        while (::read(inotifyFd, buffer, sizeof buffer) > 0)
            changed = true;
        AddWatches(inotifyFd, m_strPath);
    }
    return changed ? EWait::Changed : EWait::Interrupted;
}

void CPathChanges::Wake()
{
    const std::uint64_t one = 1;
    (void)!::write(static_cast<int>(m_hWake), &one, sizeof one);
}
