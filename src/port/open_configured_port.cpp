#include "port/open_configured_port.h"

#include "base/system_error.h"

std::error_code OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink)
{
    if (serial.Open(settings.m_strPort, sink, 0, 0, 0, 0))
        return serial.LastError();
    // A setting the line refuses leaves the driver's value; the port is usable all the same.
    serial.Configure(static_cast<std::uint32_t>(settings.m_nBaud),
        static_cast<std::uint8_t>(settings.m_nDataBits), settings.m_nParity,
        static_cast<std::uint8_t>(settings.m_nStopBits));
    serial.SetHandshake(settings.m_nHandshake);
    return {};
}

bool OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    IUserPrompt& prompt, const std::optional<std::string>& failureText,
    const std::function<void(CSerialPort*)>& attachTerminal)
{
    if (std::error_code code = OpenConfiguredPort(serial, settings, sink)) {
        ShowSystemError(prompt, code, failureText.value_or(std::string()));
        return false;
    }
    if (attachTerminal)
        attachTerminal(&serial);
    return true;
}
