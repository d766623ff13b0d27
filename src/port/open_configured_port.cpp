#include "port/open_configured_port.h"

#include "app/system_error.h"

bool OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    IUserPrompt& prompt, const std::optional<std::string>& failureText,
    const std::function<void(CSerialPort*)>& attachTerminal)
{
    if (serial.Open(settings.m_strPort, sink, 0, 0, 0, 0)) {
        ShowSystemError(prompt, serial.LastError(), failureText.value_or(std::string()));
        return false;
    }
    // A setting the line refuses leaves the driver's value; the port is usable all the same.
    serial.Configure(static_cast<std::uint32_t>(settings.m_nBaud),
        static_cast<std::uint8_t>(settings.m_nDataBits), settings.m_nParity,
        static_cast<std::uint8_t>(settings.m_nStopBits));
    serial.SetHandshake(settings.m_nHandshake);
    if (attachTerminal)
        attachTerminal(&serial);
    return true;
}
