#pragma once
// What a worker thread posts to the thread that owns it: one small struct per kind of news,
// held in CPostedEvent. The owner's sink hands them over on the owner's thread in posting order
// (see message_sink.h); each receiver looks only at the kinds that are its own.

#include <cstddef>
#include <cstdint>
#include <variant>

// The port's listener saw line events: m_nEvents holds the EV_* bits, m_nErrors the CE_* bits
// of the line errors, m_nTag the value the port was opened with.
struct CPortEvent {
    std::uint32_t m_nEvents = 0;
    std::uint32_t m_nErrors = 0;
    std::intptr_t m_nTag = 0;
};

// The device of a port that went away is present again (the device watcher).
struct CPortPresent {};

// The download job: a download of m_nCount bytes begins (the bars run from 0 to m_nCount + 2).
struct CJobBegin {
    std::size_t m_nCount = 0;
};
// The bars' new position; posted per percent of the bars, not per byte.
struct CJobStep {
    std::uint64_t m_nPosition = 0;
};
// The board reported an error.
struct CJobFailed {};
// The job has ended (its result is set); nothing more comes from its worker.
struct CJobEnd {};

// A worker of one of the owner's objects (a log's writer, a send) has news for that object: the
// object knows its own by m_pFrom; m_nWhat and m_nGeneration mean what that object says.
struct CWorkerNotice {
    const void* m_pFrom = nullptr;
    int m_nWhat = 0;
    unsigned m_nGeneration = 0;
};

using CPostedEvent = std::variant<CPortEvent, CPortPresent, CJobBegin, CJobStep, CJobFailed, CJobEnd, CWorkerNotice>;
