#include "port/device_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
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

bool Present(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

CDeviceWatcher::CDeviceWatcher(IMessageSink& sink) : m_sink(sink) {}

CDeviceWatcher::~CDeviceWatcher()
{
    Stop();
}

std::error_code CDeviceWatcher::Watch(const std::string& path)
{
    Stop();
    const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0)
        return {errno, std::system_category()};
    const int stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopFd < 0) {
        const int error = errno;
        ::close(inotifyFd);
        return {error, std::system_category()};
    }
    m_strPath = path;
    m_bPosted = false;
    // In place before Watch returns: nothing that happens from here on is missed.
    AddWatches(inotifyFd, path);
    m_fdInotify = inotifyFd;
    m_fdStop = stopFd;
    try {
        m_thread = std::thread([this, inotifyFd, stopFd] { ThreadProc(inotifyFd, stopFd); });
    } catch (const std::system_error& error) {
        ::close(inotifyFd);
        ::close(stopFd);
        m_fdInotify = m_fdStop = -1;
        return error.code();
    }
    return {};
}

void CDeviceWatcher::Stop()
{
    if (!m_thread.joinable())
        return;
    const std::uint64_t one = 1;
    (void)!::write(m_fdStop, &one, sizeof one);
    m_thread.join();
    ::close(m_fdInotify);
    ::close(m_fdStop);
    m_fdInotify = m_fdStop = -1;
}

void CDeviceWatcher::ThreadProc(int inotifyFd, int stopFd)
{
    const std::string path = m_strPath;
    // Already back before the watches were in place.
    bool wasPresent = Present(path);
    if (wasPresent && !m_bPosted.exchange(true))
        m_sink.Post(CPortPresent{});
    for (;;) {
        pollfd fds[2] = {{inotifyFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, kRecheckMs);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        bool changed = false;
        if (fds[0].revents & POLLIN) {
            // Only whether something changed matters; the events themselves are dropped.
            alignas(inotify_event) char buffer[4096];
            while (::read(inotifyFd, buffer, sizeof buffer) > 0)
                changed = true;
            AddWatches(inotifyFd, path);
        }
        const bool present = Present(path);
        // Present after a change, newly present, or still present a second later (its open failed).
        if (present && (changed || !wasPresent || ready == 0) && !m_bPosted.exchange(true))
            m_sink.Post(CPortPresent{});
        wasPresent = present;
    }
}
