// The port doctor's part for a line on another machine: what to check by the reason its
// connection failed or ended, and the checks of qxprog doctor rfc2217://... (connect, negotiate,
// the stored line settings acknowledged, the round trip).

#include "port/port_doctor.h"

#include "port/port_settings.h"
#include "serial/remote_port_name.h"
#include "serial/serial_error.h"
#include "serial/serial_port.h"

#include <cerrno>
#include <chrono>
#include <optional>

namespace {

std::string SettingsText(const CLineConfig& line)
{
    return std::to_string(line.m_nBaud) + " " + std::to_string(line.m_nDataBits) + CPortSettings::ParityText(line.m_eParity)
        + CPortSettings::StopBitsText(line.m_eStopBits) + " " + CPortSettings::HandshakeText(line.m_eHandshake);
}

long long ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

// What to check for a line on another machine, by the reason its connection failed or ended.
std::vector<std::string> CPortDoctor::RemoteAdvice(const std::string& name, std::error_code code)
{
    const std::optional<CRemotePortName> remote = CRemotePortName::Parse(name);
    if (!remote)
        return {};
    const std::string host = remote->m_strHost;
    const std::string port = std::to_string(remote->m_nPort);
    const bool telnet = remote->m_eKind == ERemoteKind::Rfc2217;
    const std::string accepter = std::string(telnet ? "telnet(rfc2217)," : "") + "tcp," + port;
    if (code == ESerialError::HostUnknown)
        return {host + " is not a name this machine can resolve: check its spelling and the network's name service, "
                "or give the machine's address."};
    if (code == ESerialError::NoLineControl)
        return {"A program listens on " + host + " port " + port + " but does not negotiate RFC 2217: give the ser2net "
                "connection there the accepter " + accepter + " (a raw tcp accepter is reached as socket://"
                + remote->HostPort() + ", without line settings)."};
    if (code.category() != std::system_category())
        return {};
    switch (code.value()) {
    case ECONNREFUSED:
        return {"Nothing listens on " + host + " port " + port + ": is ser2net running there, with a connection whose "
                "accepter is " + accepter + "?"};
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
        return {host + " does not answer on port " + port + ": check that the machine is up, the network to it and any "
                "firewall between."};
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
    case ENODEV:
    case EIO:
        return {"The connection to " + remote->HostPort() + " ended: is ser2net still running there, and the network "
                "up? Another client that takes the port over ends it too (ser2net's kickolduser)."};
    default:
        return {};
    }
}

CPortDoctor::CReport CPortDoctor::CheckRemote(const std::string& portName, const CLineConfig& line)
{
    CReport report;
    report.m_strDevice = portName;
    auto check = [&report](EMark mark, const std::string& text) { report.m_checks.push_back({mark, text}); };
    const std::optional<CRemotePortName> remote = CRemotePortName::Parse(portName);
    if (!remote) {
        check(EMark::Fail, portName + " is not a valid remote port: it needs the form " + CRemotePortName::kExpectedForm + ".");
        report.m_eProblem = EPortProblem::Missing;
        return report;
    }
    const bool telnet = remote->m_eKind == ERemoteKind::Rfc2217;
    check(EMark::Info, "Port " + portName + ": " + (telnet ? "RFC 2217 (Telnet Com Port Control)" : "raw TCP, bytes only")
        + " on " + remote->HostPort());
    CSerialPort port;
    const auto start = std::chrono::steady_clock::now();
    if (const std::error_code code = port.Open(portName, 0, 0, true)) {
        check(EMark::Fail, "It cannot be used: " + code.message());
        for (const std::string& advice : RemoteAdvice(portName, code))
            check(EMark::Info, advice);
        report.m_eProblem = code == ESerialError::HostUnknown || code == std::error_code(ECONNREFUSED, std::system_category())
            ? EPortProblem::Missing
            : code == ESerialError::NoLineControl ? EPortProblem::NotSerial
                                                   : EPortProblem::OtherFailure;
        return report;
    }
    const long long connected = ElapsedMs(start);
    if (!telnet) {
        check(EMark::Ok, "Connected in " + std::to_string(connected) + " ms. A socket:// port carries bytes only: line "
            "settings, DTR and RTS are not sent.");
        return report;
    }
    check(EMark::Ok, "Connected and RFC 2217 negotiated in " + std::to_string(connected) + " ms: "
        + port.AgreedOptions() + ".");
    CLineConfig held;
    port.GetLine(held);
    check(EMark::Info, "The server's line was " + SettingsText(held) + ".");
    const auto asked = std::chrono::steady_clock::now();
    const std::error_code set = port.SetLine(line);
    const long long roundTrip = ElapsedMs(asked);
    port.GetLine(held);
    if (!set)
        check(EMark::Ok, "The server acknowledged " + SettingsText(line) + " in " + std::to_string(roundTrip) + " ms (one round trip).");
    else
        check(EMark::Info, "The server did not take " + SettingsText(line) + " (" + set.message() + "); the line runs at "
            + SettingsText(held) + ".");
    port.Close();
    return report;
}
