#pragma once
// CDeviceWatcher: waits on a thread of its own for a device path to be present again (an adapter
// plugged back in, its by-id link made again) and posts CPortPresent each time it finds the path
// present: after a change the system reports in the path's folder (or the nearest folder above that
// exists), and at most once a second while the path is present, so a device udev has not yet
// given its group is tried again. One notice at a time: the next comes only after Rearm (the
// owner's open failed), so a busy owner never finds a pile of them. A line on another machine
// (rfc2217://, socket://) counts as present: it is tried after 1 s, 2 s, 4 s, then every 5 s.
// Watch and Stop belong to one owner thread; Stop (and the destructor) wake the thread and join
// it. The sink must outlive the watching.

#include "base/message_sink.h"
#include "port/path_changes.h"

#include <atomic>
#include <string>
#include <system_error>
#include <thread>

class CDeviceWatcher {
public:
    // How long the thread waits between looks when the system reports no change.
    static constexpr int kRecheckMs = 1000;

    explicit CDeviceWatcher(IMessageSink& sink);
    ~CDeviceWatcher();
    CDeviceWatcher(const CDeviceWatcher&) = delete;
    CDeviceWatcher& operator=(const CDeviceWatcher&) = delete;

    // Stops a watch in progress and watches path.
    std::error_code Watch(const std::string& path);
    void Stop();
    // The owner took the last notice and could not use the device: look again.
    void Rearm() { m_bPosted = false; }
    bool IsWatching() const { return m_thread.joinable(); }
    const std::string& Path() const { return m_strPath; }

private:
    void ThreadProc();

    IMessageSink& m_sink;
    std::string m_strPath;
    std::thread m_thread;
    CPathChanges m_changes;
    std::atomic<bool> m_bPosted{false};
};
