#pragma once
// CTerminalInput: what the keys typed in the terminal put on the line: each byte as it is, Enter
// as CR, LF or CR LF, and with local echo on the typed text shown through the echo sink as well.
// Counts what went out. Never waits for the line: what it does not take at once (a download
// keeps it full, a handshake holds it off) goes to the line from CTerminalWriter's queue, in
// order. While a download or a file being sent owns the line, keys are refused (not sent, not
// echoed) and the busy notice is called once for each such stretch. GUI thread (the terminal window calls it from its key handler); the echo sink, the
// counters and the port outlive it.

#include "terminal/terminal_counters.h"
#include "terminal/terminal_io_settings.h"
#include "terminal/terminal_sink.h"
#include "terminal/terminal_writer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

class CSerialPort;

class CTerminalInput {
public:
    CTerminalInput(ITerminalSink& echo, CTerminalCounters& counters)
        : m_echo(echo), m_counters(counters), m_writer(counters)
    {
    }

    void SetLocalEcho(bool on) { m_bLocalEcho = on; }
    bool LocalEcho() const { return m_bLocalEcho; }
    void SetEnterSends(EEnterSends what) { m_eEnterSends = what; }
    // Called on the first key refused because another writer owns the line, once for each time
    // a writer claims it.
    void SetBusyNotice(std::function<void()> notice) { m_busyNotice = std::move(notice); }
    EEnterSends EnterSends() const { return m_eEnterSends; }

    // The bytes Enter sends.
    static std::string_view EnterBytes(EEnterSends what);
    // Text for the board (Latin-1): every line end (CR LF, CR or LF) as Enter sends it.
    static std::string BoardText(std::string_view text, EEnterSends what);

    // One typed byte (a control code included); shown when echo is on and it shows. An error
    // when the port cannot take it, or too many typed bytes wait already (the key is lost).
    std::error_code Type(CSerialPort& port, std::uint8_t byte);
    // The Enter key; echo shows a line end.
    std::error_code Enter(CSerialPort& port);
    // A whole line (the command line's bytes with their line end) sent as typed keys are, and
    // shown as a paste is when echo is on.
    std::error_code SendLine(CSerialPort& port, std::string_view bytes);
    // Text sent another way (a paste) shown as typed text would be, when echo is on.
    void Echo(std::string_view bytes);
    // Typed bytes the line has not taken yet.
    std::size_t Waiting() const { return m_writer.Waiting(); }
    bool WaitUntilSent(std::chrono::milliseconds limit) const { return m_writer.WaitEmpty(limit); }

private:
    std::error_code Send(CSerialPort& port, std::string_view bytes);
    std::error_code Write(CSerialPort& port, std::string_view bytes);

    ITerminalSink& m_echo;
    CTerminalCounters& m_counters;
    bool m_bLocalEcho = false;
    std::uint64_t m_nBusyToldClaim = 0;
    std::function<void()> m_busyNotice;
    EEnterSends m_eEnterSends = EEnterSends::CR;
    // Last: its worker stops before the rest goes.
    CTerminalWriter m_writer;
};
