#pragma once
// ISessionObserver: what a programming session tells its owner's parts, as typed events, on the
// owner's thread, in the order they happen. A download's events come as Begin, Step..., maybe
// Failed, then Ending, ResultShown and Ended, always all three: the session ends every job the
// same way (what the board still sent is shown, then the outcome's box, then the worker is
// joined). Observers are added and removed on the owner's thread and outlive their
// registration.

#include "programming/download_job.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <system_error>
#include <variant>

namespace session_event {
// The board's bytes went to the terminal.
struct CReceived {};
// A download starts: m_nCount bytes, so the bars run from 0 to m_nCount + 2.
struct CBegin {
    std::size_t m_nCount = 0;
};
// The bars moved to m_nPosition (once per percent and where a stage ends).
struct CStep {
    std::uint64_t m_nPosition = 0;
};
// The board reported an error; its box has been shown.
struct CFailed {};
// The job has ended; its figures are final. The outcome's box comes next.
struct CEnding {};
// The outcome's box has been closed (or there was none); the job still counts as running.
struct CResultShown {
    EDownloadResult m_eResult = EDownloadResult::Completed;
};
// The worker has been joined: no job runs.
struct CEnded {
    EDownloadResult m_eResult = EDownloadResult::Completed;
};
// The port's device went away and reconnecting is off: the port is closed.
struct CPortLost {
    std::error_code m_error;
};
// The device went away: the port is closed, the terminal says so, its return is awaited.
struct CPortDisconnected {};
// The device came back and the port is open again with its settings.
struct CPortReconnected {};
} // namespace session_event

using CSessionEvent = std::variant<session_event::CReceived, session_event::CBegin, session_event::CStep,
    session_event::CFailed, session_event::CEnding, session_event::CResultShown, session_event::CEnded,
    session_event::CPortLost, session_event::CPortDisconnected, session_event::CPortReconnected>;

class ISessionObserver {
public:
    virtual ~ISessionObserver() = default;
    virtual void OnSessionEvent(const CSessionEvent& event) = 0;
};

// An observer that hands each event to a function (for an owner that keeps its state in locals).
class CSessionObserverFunction : public ISessionObserver {
public:
    explicit CSessionObserverFunction(std::function<void(const CSessionEvent&)> function) : m_function(std::move(function)) {}
    void OnSessionEvent(const CSessionEvent& event) override { m_function(event); }

private:
    std::function<void(const CSessionEvent&)> m_function;
};
