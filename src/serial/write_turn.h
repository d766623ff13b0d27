#pragma once
// CWriteTurn: one writer at a time on a line, so one Write's bytes go out together (a key typed
// during a download waits for the current run of the file, never splits a command). Any thread
// may Take and then Release; a turn that is free is taken and given back with one atomic operation
// each, and only a writer that finds it taken waits, on a condition variable, until it is
// released or the deadline passes. A release while writers wait hands the turn to the oldest, so
// a holder that takes it again at once (the download, run after run) cannot keep it from a key
// typed meanwhile. Release only what you took.

#include "serial/deadline.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

class CWriteTurn {
public:
    // Takes the turn, waiting while another writer holds it; false when the deadline passed first.
    bool Take(const CDeadline& deadline);
    void Release();
    // Gives a taken turn back when it goes out of scope, however the write ends.
    class CHeld {
    public:
        explicit CHeld(CWriteTurn& turn) : m_turn(turn) {}
        ~CHeld() { m_turn.Release(); }
        CHeld(const CHeld&) = delete;
        CHeld& operator=(const CHeld&) = delete;

    private:
        CWriteTurn& m_turn;
    };

    // Some writer waits for the turn now.
    bool HasWaiters() const { return m_nWaiters.load() != 0; }

private:
    bool TryTake();

    std::atomic<bool> m_bTaken{false};
    // Writers inside the slow path of Take; Release wakes them only when there are any.
    std::atomic<int> m_nWaiters{0};
    std::mutex m_mutex;
    // Guarded by m_mutex: the waiters' tickets, oldest first, and the ticket a release handed the
    // still-taken turn to (0: none), so a writer arriving later queues behind them.
    std::uint64_t m_nLastTicket = 0;
    std::deque<std::uint64_t> m_waiting;
    std::uint64_t m_nHandedTo = 0;
    std::condition_variable m_cvFree;
};
