#include "terminal/terminal_input.h"

#include "serial/serial_error.h"
#include "serial/serial_port.h"

namespace {
constexpr std::uint8_t kBackspace = 0x08;

// What the terminal shows of a received byte, so an echoed byte shows the same way.
bool IsDisplayable(std::uint8_t b)
{
    return (b >= 0x20 && b <= 0x7E) || (b >= 0x09 && b <= 0x0D);
}
} // namespace

std::string_view CTerminalInput::EnterBytes(EEnterSends what)
{
    switch (what) {
    case EEnterSends::LF: return "\n";
    case EEnterSends::CRLF: return "\r\n";
    case EEnterSends::CR: break;
    }
    return "\r";
}

std::string CTerminalInput::BoardText(std::string_view text, EEnterSends what)
{
    const std::string_view enter = EnterBytes(what);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += enter;
        } else {
            out += ch;
        }
    }
    return out;
}

std::error_code CTerminalInput::Send(CSerialPort& port, std::string_view bytes)
{
    const std::error_code code = Write(port, bytes);
    if (code != make_error_code(ESerialError::LineBusy))
        return code;
    const std::uint64_t claim = port.SoleWriterClaims();
    if (claim != m_nBusyToldClaim && m_busyNotice)
        m_busyNotice();
    m_nBusyToldClaim = claim;
    return code;
}

std::error_code CTerminalInput::Write(CSerialPort& port, std::string_view bytes)
{
    // Behind keys that wait, never before them.
    if (m_writer.Waiting() == 0) {
        std::uint32_t written = 0;
        std::error_code code = port.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written, nullptr, 0);
        // A port opened for blocking use has no time limits: it writes as it always did.
        if (code == make_error_code(ESerialError::InvalidFunction))
            code = port.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
        m_counters.AddSent(written);
        if (code != make_error_code(ESerialError::Timeout))
            return code;
        bytes.remove_prefix(written);
        if (bytes.empty())
            return {};
    }
    return m_writer.Queue(port, bytes) ? std::error_code() : make_error_code(ESerialError::Timeout);
}

std::error_code CTerminalInput::Type(CSerialPort& port, std::uint8_t byte)
{
    const char ch = static_cast<char>(byte);
    const std::error_code code = Send(port, std::string_view(&ch, 1));
    if (!code && m_bLocalEcho) {
        if (byte == kBackspace)
            m_echo.DeleteLastChar();
        else if (IsDisplayable(byte))
            m_echo.AppendTerminalText(std::string_view(&ch, 1));
    }
    return code;
}

std::error_code CTerminalInput::Enter(CSerialPort& port)
{
    const std::error_code code = Send(port, EnterBytes(m_eEnterSends));
    if (!code && m_bLocalEcho)
        m_echo.AppendTerminalText("\n");
    return code;
}

std::error_code CTerminalInput::SendLine(CSerialPort& port, std::string_view bytes)
{
    const std::error_code code = Send(port, bytes);
    if (!code)
        Echo(bytes);
    return code;
}

void CTerminalInput::Echo(std::string_view bytes)
{
    if (!m_bLocalEcho)
        return;
    std::string shown;
    shown.reserve(bytes.size());
    for (const char ch : bytes) {
        if (IsDisplayable(static_cast<std::uint8_t>(ch)))
            shown += ch;
    }
    if (!shown.empty())
        m_echo.AppendTerminalText(shown);
}
