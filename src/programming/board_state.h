#pragma once
// CBoardState: what the receive parser and the download job share. The job (worker thread)
// writes the wait state and clears the error flag; the parser (the thread that handles the
// port's notifications, the GUI thread in the program) reads the wait state, raises the error
// flag and signals the event (for an awaited marker and for an error alike). Both integers are atomic; the auto-reset event is the only
// wake-up path from the parser to the job. Owned by the receive parser.

#include "base/event.h"

#include <atomic>
#include <mutex>

enum EWaitState : int {
    WAIT_NONE = 0,
    WAIT_LOAD = 1,
    WAIT_COMPLETED = 2,
    WAIT_RUN = 3,
    WAIT_PROMPT = 4, // the board's prompt, after a resync
};

struct CBoardState {
    std::atomic<int> m_nWaitState{WAIT_NONE};
    // Auto-reset, initially not signalled.
    CEvent m_evtBoard{false, false};
    std::atomic<int> m_bBoardError{0};
    // Raised by the job before its download command: the parser drops the text it collected
    // until then.
    std::atomic<unsigned> m_nDiscard{0};
    // Held by the job while it drops the board's earlier text, and by the parser while it reads
    // and takes what one notification announced: text read before the drop is taken before it,
    // never under the wait state the job sets after it.
    std::mutex m_discardMutex;
};
