#pragma once
// CPathChanges: the system's word that something changed around a path: in its folder (or, while
// that is gone, the nearest folder above it that exists) and, for a link, in the folder of the
// node it leads to. The device watcher waits on it for an adapter to come back. Open, Close
// and the constructor/destructor belong to the owner; Wait runs on one thread while Wake may be
// called from another. The system calls live in path_changes_linux.cpp (inotify).

#include <cstdint>
#include <string>
#include <system_error>

class CPathChanges {
public:
    enum class EWait {
        Changed,     // something changed (the watches have been renewed)
        TimedOut,    // nothing changed in the time given
        Interrupted, // the wait was cut short; nothing is known
        Woken,       // Wake was called, or waiting failed: the waiting ends
    };

    CPathChanges() = default;
    ~CPathChanges();
    CPathChanges(const CPathChanges&) = delete;
    CPathChanges& operator=(const CPathChanges&) = delete;

    // The watches are in place when it returns: nothing that happens from then on is missed.
    std::error_code Open(const std::string& path);
    void Close();
    EWait Wait(int timeoutMs);
    void Wake();

private:
    std::string m_strPath;
    // The system's handles (the change queue, the wake-up); -1 when closed.
    std::intptr_t m_hChanges = -1;
    std::intptr_t m_hWake = -1;
};
