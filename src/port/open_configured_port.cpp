#include "port/open_configured_port.h"

#include "base/system_error.h"
#include "port/port_doctor.h"
#include "serial/serial_device_name.h"

namespace {
// "9600 8N1" as the port reports its line now.
std::string LineText(CSerialPort& serial)
{
    CLineConfig line;
    if (serial.GetLine(line))
        return "-1 -1??"; // what the number queries give for a line that cannot be read
    return std::to_string(line.m_nBaud) + " " + std::to_string(line.m_nDataBits)
        + CPortSettings::ParityText(line.m_eParity) + CPortSettings::StopBitsText(line.m_eStopBits);
}
} // namespace

std::error_code OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    std::string* refused)
{
    if (serial.Open(settings.m_strPort, sink, 0, 0, 0))
        return serial.LastError();
    // The framing, then the handshake, each over what the line holds: a part the line refuses
    // leaves the driver's value, the other part still applies, and the port is usable all the
    // same; the caller may tell the user what the line runs at instead.
    const CLineConfig& wanted = settings.m_line;
    CLineConfig held;
    std::error_code line = serial.GetLine(held);
    if (!line) {
        CLineConfig framing = wanted;
        framing.m_eHandshake = held.m_eHandshake;
        line = serial.SetLine(framing);
    }
    std::error_code handshake = serial.GetLine(held);
    if (!handshake) {
        held.m_eHandshake = wanted.m_eHandshake;
        handshake = serial.SetLine(held);
    }
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
        prompt.ShowBox(AppendAdvice(FormatSystemError(code, failureText.value_or(std::string()), device),
                              CPortDoctor().Advise(device, code)),
            std::string(), kBoxOk);
        return false;
    }
    if (attachTerminal)
        attachTerminal(&serial);
    if (!refused.empty())
        prompt.ShowBox(refused, kAppTitle, kBoxOk | kBoxIconWarning);
    return true;
}
