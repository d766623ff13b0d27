#pragma once
// CResetSequence: the modem lines many boards are reset with before programming, as a text such
// as "dtr,-dtr" or "rts:50,-rts": each step raises (or, after '-', drops) DTR or RTS and then
// pauses (100 ms unless ":MS" says otherwise). Parse is pure; Apply drives a port on the
// caller's thread (the download job's worker). Read-only once parsed; any thread.

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

class CSerialPort;

class CResetSequence {
public:
    static constexpr unsigned kDefaultPauseMs = 100;
    static constexpr unsigned kMaxPauseMs = 10000;

    struct CStep {
        std::uint32_t m_nLine = 0; // MODEM_DTR or MODEM_RTS
        bool m_bRaise = true;
        unsigned m_nPauseMs = kDefaultPauseMs;
        bool operator==(const CStep&) const = default;
    };

    // False with why; the empty text is no sequence.
    bool Parse(const std::string& text, std::string& why);
    bool Empty() const { return m_steps.empty(); }
    const std::vector<CStep>& Steps() const { return m_steps; }

    // Drives the lines in order, pausing after each step through pause (false: stop now, the
    // rest is left out). The port's error when a line cannot be driven (a pseudo-terminal or a
    // raw TCP port has no modem lines).
    std::error_code Apply(CSerialPort& port, const std::function<bool(unsigned ms)>& pause) const;

private:
    std::vector<CStep> m_steps;
};
