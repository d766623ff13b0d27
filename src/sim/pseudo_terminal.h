#pragma once
// CPseudoTerminal: the simulator's line: a pseudo-terminal whose far end (SlavePath) a program
// opens as its serial port, while the simulator reads and writes the near end without blocking.
// The simulator holds the far end open itself, so the line does not hang up between two users of
// the port. Open, Close and the destructor belong to the owner while no thread serves the line;
// Wait, Read, Write and HangUp run on the serving thread; Wake on any thread. The system calls
// live in pseudo_terminal_posix.cpp.

#include "base/line_config.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

class CPseudoTerminal {
public:
    enum class EWait {
        Woken,    // Wake was called, or waiting failed: the serving ends
        Readable, // bytes have come, or the line has news (hang-up, error) a read will tell
        Other,    // the time ran out, the line takes bytes again, or the wait was interrupted
    };

    CPseudoTerminal() = default;
    ~CPseudoTerminal();
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    // The far end is set raw until a user configures it.
    std::error_code Open();
    void Close();
    const std::string& SlavePath() const { return m_strSlavePath; }
    // False once HangUp (or Close) has let the line go.
    bool IsOpen() const { return m_hMaster >= 0; }

    // timeoutMs < 0: no time limit. wantIn: bytes to read end the wait; wantOut: room to write.
    EWait Wait(bool wantIn, bool wantOut, int timeoutMs);
    // Up to size bytes that have come; 0 when none have (or nobody has the port open).
    std::size_t Read(void* buffer, std::size_t size);
    // What the line took of data; 0 when it is full.
    std::size_t Write(const void* data, std::size_t size);
    // Lets both ends go: the user of the port sees the line hang up.
    void HangUp();
    // The line as the user of the far end set it (rate, framing, flow control); any thread
    // while open.
    std::error_code FarEndLine(CLineConfig& line) const;
    void Wake();

private:
    std::string m_strSlavePath;
    // The system's handles (near end, far end, wake-up); -1 when closed.
    std::intptr_t m_hMaster = -1;
    std::intptr_t m_hSlave = -1;
    std::intptr_t m_hWake = -1;
};
