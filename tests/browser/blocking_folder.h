#pragma once
// A stand-in for a slow network mount, without FUSE: a desktop whose "Home" place lists only
// after a gate opens (or its hold time has passed). Everything else is the real file system.

#include "browser/desktop_folder.h"
#include "browser/file_system_folder.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

class CListingGate {
public:
    explicit CListingGate(std::chrono::milliseconds hold) : m_hold(hold) {}
    // Blocks until Open or the hold time, whichever comes first.
    void Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_nWaiting;
        m_cv.notify_all();
        m_cv.wait_for(lock, m_hold, [this] { return m_bOpen; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bOpen = true;
        m_cv.notify_all();
    }
    // True once a listing is blocked in Wait (or has passed it).
    bool WaitForListing(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [this] { return m_nWaiting > 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bOpen = false;
    int m_nWaiting = 0;
    const std::chrono::milliseconds m_hold;
};

class CBlockingFolder : public CFileSystemFolder {
public:
    CBlockingFolder(std::string path, std::shared_ptr<CListingGate> gate)
        : CFileSystemFolder(std::move(path)), m_pGate(std::move(gate))
    {
    }
    std::error_code EnumObjects(unsigned contentFlags, const std::function<bool(CPidl&&)>& onItem) override
    {
        m_pGate->Wait();
        return CFileSystemFolder::EnumObjects(contentFlags, onItem);
    }

private:
    std::shared_ptr<CListingGate> m_pGate;
};

class CSlowHomeDesktop : public CDesktopFolder {
public:
    CSlowHomeDesktop(CPlacesConfig config, std::shared_ptr<CListingGate> gate)
        : CDesktopFolder(std::move(config)), m_pGate(std::move(gate))
    {
    }
    std::shared_ptr<IShellFolder> BindToObject(const CPidl& child) override
    {
        const std::string_view entry = PidlLastEntry(child);
        if (PidlPlaceType(entry) == EPlaceType::Home)
            return std::make_shared<CBlockingFolder>(std::string(PidlPlacePath(entry)), m_pGate);
        return CDesktopFolder::BindToObject(child);
    }

private:
    std::shared_ptr<CListingGate> m_pGate;
};
