#pragma once
// CLineConfig: the settings of one serial line, typed. The port settings turn their stored texts
// into one; the port, its backend, the download job, the session, the simulator and the command
// line pass it on as it is. A plain value, any thread.

#include <cstdint>

// The enumerators' values are the positions of the choices in the settings' lists and commands.
enum class EParity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class EStopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
enum class EHandshake : std::uint8_t { None = 0, Hardware = 1, Software = 2 };

struct CLineConfig {
    std::uint32_t m_nBaud = 19200; // bits per second
    unsigned m_nDataBits = 8;      // 5 to 8
    EParity m_eParity = EParity::None;
    EStopBits m_eStopBits = EStopBits::One;
    EHandshake m_eHandshake = EHandshake::None;

    bool operator==(const CLineConfig&) const = default;
};

// Whether a UART can send the framing: 5 to 8 data bits, known parity and stop bits, 1.5 stop
// bits only with 5 data bits and 2 only with 6 to 8. The rate is the driver's to judge (not 0).
bool IsValidFraming(const CLineConfig& line);
bool IsValidHandshake(EHandshake handshake);
