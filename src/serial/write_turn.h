#pragma once
// CWriteTurn: one writer at a time on a line, so one Write's bytes go out together (a key typed
// during a download waits for the current byte, never splits a command). Any thread may Take and
// then Release; a turn that is free is taken and given back with one atomic operation each (the
// download writes a byte per call), and only a writer that finds it taken waits, on a condition
// variable, until it is released or the deadline passes. Release only what you took.

#include "serial/deadline.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

class CWriteTurn {
public:
    // Takes the turn, waiting while another writer holds it; false when the deadline passed first.
    bool Take(const CDeadline& deadline);
    void Release();

private:
    bool TryTake();

    std::atomic<bool> m_bTaken{false};
    // Writers inside the slow path of Take; Release wakes them only when there are any.
    std::atomic<int> m_nWaiters{0};
    std::mutex m_mutex;
    std::condition_variable m_cvFree;
};
