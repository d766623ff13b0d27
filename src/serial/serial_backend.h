#pragma once
// CSerialBackend: the system side of one serial line, one implementation per OS (this build:
// serial_port_posix.cpp), and one for a line on another machine over TCP (RFC 2217 or raw bytes:
// remote_serial_posix.cpp). CSerialPort keeps the rules and result codes; the backend only talks
// to the system. Threads: one Read, one Write and one WaitEvents may run at once; WakeAll and
// WakeWaiter may be called from any thread; Open and Close only while nothing else runs.

#include "base/line_config.h"
#include "serial/deadline.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

class CSerialBackend {
public:
    static std::unique_ptr<CSerialBackend> Create();
    // A line named rfc2217://HOST:PORT or socket://HOST:PORT.
    static std::unique_ptr<CSerialBackend> CreateRemote();
    virtual ~CSerialBackend() = default;

    // Opens the device exclusively in raw mode (a remote line: connects and negotiates).
    virtual std::error_code Open(const std::string& path) = 0;
    // Lets queued output go out (bounded by the time it needs at the line's rate, then dropped),
    // restores the line's original settings and releases the device.
    virtual void Close() = 0;
    // A close is coming: every wait in progress (and any later one) ends with ECANCELED.
    virtual void WakeAll() = 0;
    // The event mask changed: the wait in progress, or the next one when none is in progress,
    // ends with no events (so a stop cannot slip in between two waits).
    virtual void WakeWaiter() = 0;
    // Forgets a WakeWaiter no wait has taken yet.
    virtual void ForgetWake() = 0;

    virtual std::error_code GetLine(CLineConfig& line) = 0;
    // Writes the settings and reads them back; a setting the driver does not keep gives EINVAL
    // and the previous settings are put back.
    virtual std::error_code SetLine(const CLineConfig& line) = 0;

    // Moves up to size bytes. waitAll: until size bytes have come; otherwise what is buffered.
    virtual std::error_code Read(void* buffer, std::size_t size, std::size_t& done, bool waitAll,
        const CDeadline& deadline) = 0;
    // One writer at a time: a Write waits for the one in progress (until the deadline).
    virtual std::error_code Write(const void* data, std::size_t size, std::size_t& done,
        const CDeadline& deadline) = 0;
    // Waits until a masked event occurs (events != 0), the mask changes (events == 0) or the
    // deadline passes.
    virtual std::error_code WaitEvents(std::uint32_t mask, std::uint32_t& events,
        const CDeadline& deadline) = 0;
    // Bytes written but not yet sent by the driver.
    virtual std::error_code OutputQueue(std::size_t& bytes) = 0;
    // Drops what has been received and not read yet.
    virtual std::error_code DiscardInput() = 0;
    // Line errors (CE_*) since the last call.
    virtual std::error_code ClearErrors(std::uint32_t& errors) = 0;
    // Raises (on) or drops one output line (MODEM_DTR, MODEM_RTS).
    virtual std::error_code SetModemLine(std::uint32_t line, bool on) = 0;
    // The modem lines (MODEM_*) as the driver reports them.
    virtual std::error_code GetModemLines(std::uint32_t& lines) = 0;
    // How long a request takes to reach the far end of a line on another machine and its answer
    // to come back, as last measured (at connecting, then at each acknowledged setting); 0 for a
    // local line. Any thread.
    virtual std::uint32_t RoundTripMs() const { return 0; }
    // What the server of a line on another machine agreed to ("BINARY both ways, ..."); empty
    // for a local line.
    virtual std::string AgreedOptions() { return {}; }
};
