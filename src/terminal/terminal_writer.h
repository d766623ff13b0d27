#pragma once
// CTerminalWriter: puts typed bytes on the line that it could not take at once (its queue is
// full while a download keeps it busy, or a handshake holds it off), so the key handler never
// waits for the line. A worker thread, started when first needed, writes them in order, waiting
// for its turn between the download's runs; what it writes counts as sent. Queue and Waiting on
// the GUI thread; the port and the counters outlive the writer, whose destructor joins the worker.

#include "terminal/terminal_counters.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class CSerialPort;

class CTerminalWriter {
public:
    // Typed bytes that wait, at most; a key beyond it is not sent.
    static constexpr std::size_t kCapacity = 4096;
    // How long one write waits before the worker looks at the stop request again.
    static constexpr std::uint32_t kSliceMs = 100;

    explicit CTerminalWriter(CTerminalCounters& counters) : m_counters(counters) {}
    ~CTerminalWriter();
    CTerminalWriter(const CTerminalWriter&) = delete;
    CTerminalWriter& operator=(const CTerminalWriter&) = delete;

    // After what waits already; false (and nothing queued) when the bytes do not fit.
    bool Queue(CSerialPort& port, std::string_view bytes);
    // Bytes still waiting for the line.
    std::size_t Waiting() const;
    // Waits until no byte waits (written and counted, or dropped by a failed port); false when
    // the limit came first.
    bool WaitEmpty(std::chrono::milliseconds limit) const;

private:
    void Run();

    CTerminalCounters& m_counters;
    mutable std::mutex m_mutex;
    std::condition_variable m_cvWork;
    mutable std::condition_variable m_cvEmpty;
    std::string m_strWaiting;
    CSerialPort* m_pPort = nullptr;
    bool m_bQuit = false;
    std::thread m_worker;
};
