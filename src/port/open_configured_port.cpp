#include "port/open_configured_port.h"

#include "base/system_error.h"
#include "port/port_doctor.h"
#include "serial/serial_device_name.h"

namespace {
// "9600 8N1" as the port reports its line now.
std::string LineText(CSerialPort& serial)
{
    static constexpr const char* kParity[] = {"N", "O", "E", "M", "S"};
    static constexpr const char* kStopBits[] = {"1", "1.5", "2"};
    const int parity = serial.GetParity();
    const int stopBits = serial.GetStopBits();
    return std::to_string(serial.GetBaudRate()) + " " + std::to_string(serial.GetDataBits())
        + (parity >= 0 && parity < 5 ? kParity[parity] : "?") + (stopBits >= 0 && stopBits < 3 ? kStopBits[stopBits] : "?");
}
} // namespace

std::error_code OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    std::string* refused)
{
    if (serial.Open(settings.m_strPort, sink, 0, 0, 0, 0))
        return serial.LastError();
    // A setting the line refuses leaves the driver's value; the port is usable all the same, and
    // the caller may tell the user what the line runs at instead.
    const std::error_code line = serial.Configure(static_cast<std::uint32_t>(settings.m_nBaud),
        static_cast<std::uint8_t>(settings.m_nDataBits), settings.m_nParity,
        static_cast<std::uint8_t>(settings.m_nStopBits));
    const std::error_code handshake = serial.SetHandshake(settings.m_nHandshake);
    if (refused && (line || handshake)) {
        *refused = std::string(kTextLineRefused) + "\r\n\r\n" + SerialDevicePath(settings.m_strPort) + " refused "
            + settings.m_strBaud + " " + settings.m_strDataBits + settings.m_strParity + settings.m_strStopBits
            + (handshake ? " with handshake " + settings.m_strHandshake : std::string())
            + "; the line runs at " + LineText(serial) + ".";
    }
    return {};
}

bool OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    IUserPrompt& prompt, const std::optional<std::string>& failureText,
    const std::function<void(CSerialPort*)>& attachTerminal)
{
    std::string refused;
    if (std::error_code code = OpenConfiguredPort(serial, settings, sink, &refused)) {
        // The system's reason, then what the user can do about it.
        const std::string device = SerialDevicePath(settings.m_strPort);
        prompt.MessageBox(AppendAdvice(FormatSystemError(code, failureText.value_or(std::string()), device),
                              CPortDoctor().Advise(device, code)),
            std::string(), MB_OK);
        return false;
    }
    if (attachTerminal)
        attachTerminal(&serial);
    if (!refused.empty())
        prompt.MessageBox(refused, kAppTitle, MB_OK | MB_ICONWARNING);
    return true;
}
