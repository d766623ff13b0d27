#pragma once
// CInstanceLock: the single-instance check's lock: an exclusive lock on a lock file, held for the
// object's lifetime; the file is removed before the lock goes, so no run leaves it behind. A
// start that waited on a file the holder has just removed takes the lock again on the file now
// at the path; without a lock file (none can be made) it holds nothing and waits for nothing.
// One thread. The system calls live in instance_lock_posix.cpp, with the number of the user
// whose instances share a key.

#include <cstdint>
#include <string>

class CInstanceLock {
public:
    // Blocks until the lock is held (or it is clear that no lock file can be made).
    explicit CInstanceLock(const std::string& path);
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    bool IsHeld() const { return m_nHandle >= 0; }

    // The number of the user running this program.
    static unsigned long UserNumber();

private:
    std::string m_strPath;
    std::intptr_t m_nHandle = -1; // the system's handle of the lock file
};
