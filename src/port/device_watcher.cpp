#include "port/device_watcher.h"

#include "serial/remote_port_name.h"

#include <algorithm>
#include <filesystem>

namespace {

// A line on another machine has no node to appear: it counts as present, and each look is a
// connection tried, less often the longer it fails.
bool Present(const std::string& path)
{
    if (CRemotePortName::IsRemote(path))
        return true;
    std::error_code error;
    return std::filesystem::exists(path, error);
}

constexpr int kRemoteRecheckMaxMs = 5000;

} // namespace

CDeviceWatcher::CDeviceWatcher(IMessageSink& sink) : m_sink(sink) {}

CDeviceWatcher::~CDeviceWatcher()
{
    Stop();
}

std::error_code CDeviceWatcher::Watch(const std::string& path)
{
    Stop();
    // In place before Watch returns: nothing that happens from here on is missed.
    if (std::error_code error = m_changes.Open(path))
        return error;
    m_strPath = path;
    m_bPosted = false;
    try {
        m_thread = std::thread([this] { ThreadProc(); });
    } catch (const std::system_error& error) {
        m_changes.Close();
        return error.code();
    }
    return {};
}

void CDeviceWatcher::Stop()
{
    if (!m_thread.joinable())
        return;
    m_changes.Wake();
    m_thread.join();
    m_changes.Close();
}

void CDeviceWatcher::ThreadProc()
{
    const std::string path = m_strPath;
    // Already back before the watches were in place.
    bool wasPresent = Present(path);
    if (wasPresent && !m_bPosted.exchange(true))
        m_sink.Post(CPortPresent{});
    const bool remote = CRemotePortName::IsRemote(path);
    int recheckMs = kRecheckMs;
    for (;;) {
        const CPathChanges::EWait wait = m_changes.Wait(recheckMs);
        if (remote)
            recheckMs = std::min(recheckMs * 2, kRemoteRecheckMaxMs);
        if (wait == CPathChanges::EWait::Woken)
            return;
        const bool present = Present(path);
        // Present after a change, newly present, or still present a second later (its open failed).
        const bool changed = wait == CPathChanges::EWait::Changed;
        if (present && (changed || !wasPresent || wait == CPathChanges::EWait::TimedOut) && !m_bPosted.exchange(true))
            m_sink.Post(CPortPresent{});
        wasPresent = present;
    }
}
