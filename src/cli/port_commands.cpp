// qxprog ports and qxprog doctor: the serial ports with their identity, holders and access, and
// the checklist for one port.

#include "cli/cli_commands.h"
#include "cli/ini_settings_file.h"

#include "base/memory_settings_store.h"
#include "files/command_line.h"
#include "port/com_port_probe.h"
#include "port/port_doctor.h"
#include "port/port_settings.h"
#include "serial/remote_port_name.h"

#include <cstdio>

namespace {
const char* kPortsHelp =
    "Usage: qxprog ports\n"
    "\n"
    "Lists the serial ports of this machine. The first line of each: the device, a tab, the\n"
    "port's label (product, maker, serial number) and why it cannot be used. Indented lines\n"
    "after it: the name the settings store for it, its stable names under /dev/serial, USB id\n"
    "and driver, its access (mode, owner:group, whether you may open it), who holds its lock\n"
    "and which other processes have it open.\n";

const char* kDoctorHelp =
    "Usage: qxprog doctor [--] [PORT]\n"
    "\n"
    "Checks one serial port (default: the window program's port setting) and prints each\n"
    "check with what to do when it fails: the device exists, its group and mode against your\n"
    "groups, whether another process holds it, an on-board port without a UART, ModemManager\n"
    "probing a device plugged in just now, and that it is a terminal device at all.\n"
    "A port on another machine (rfc2217://HOST:PORT, socket://HOST:PORT) is connected to:\n"
    "the time to connect and negotiate, the options the server agreed to, the stored line\n"
    "settings sent and whether the server acknowledged them (with the round trip), and what\n"
    "to check there when it fails.\n"
    "\n"
    "Exit status:\n"
    "  0  the port can be used\n"
    "  1  wrong usage\n"
    "  2  the device does not exist (a remote port: unknown host, or nothing listens)\n"
    "  3  no permission to open it\n"
    "  4  another process holds it\n"
    "  5  an on-board port without a UART behind it\n"
    "  6  it cannot be opened for another reason (a remote host that does not answer)\n"
    "  7  it is not a serial port (a regular file, /dev/null, a TCP port without RFC 2217)\n";

const char* Mark(CPortDoctor::EMark mark)
{
    switch (mark) {
    case CPortDoctor::EMark::Ok: return "[ok] ";
    case CPortDoctor::EMark::Fail: return "[!!] ";
    case CPortDoctor::EMark::Info: break;
    }
    return "     ";
}
} // namespace

int RunPorts(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kPortsHelp, stdout);
            return 0;
        }
        std::fprintf(stderr, "qxprog ports: unknown argument '%s'\n", arg.c_str());
        return EXIT_USAGE;
    }
    const std::vector<CComPortInfo> ports = ProbeComPorts();
    if (ports.empty())
        std::fputs("qxprog: no serial ports found\n", stderr);
    const CPortDoctor doctor;
    for (const CComPortInfo& info : ports) {
        std::printf("%s\t%s\n", info.m_strPath.c_str(), ComPortLabel(info).c_str());
        std::printf("    name:    %s\n", info.m_strName.c_str());
        if (!info.m_strById.empty())
            std::printf("    by-id:   %s\n", info.m_strById.c_str());
        if (!info.m_strByPath.empty())
            std::printf("    by-path: %s\n", info.m_strByPath.c_str());
        if (!info.m_strVidPid.empty() || !info.m_strDriver.empty())
            std::printf("    device:  %s%s%s\n", info.m_strVidPid.empty() ? "" : ("usb " + info.m_strVidPid).c_str(),
                info.m_strVidPid.empty() || info.m_strDriver.empty() ? "" : ", ",
                info.m_strDriver.empty() ? "" : ("driver " + info.m_strDriver).c_str());
        std::printf("    access:  %s\n", doctor.AccessText(info.m_strPath).c_str());
        // Only a lock keeps others out; a process that merely has it open is listed apart.
        std::string held, open;
        for (const CPortHolder& holder : doctor.Holders(info.m_strPath)) {
            std::string& list = holder.m_bLock || holder.m_bLockFile ? held : open;
            list += (list.empty() ? "" : ", ") + std::to_string(holder.m_nPid) + " (" + holder.m_strName + ")";
        }
        std::printf("    held by: %s\n", held.empty() ? "nobody" : held.c_str());
        if (!open.empty())
            std::printf("    open in: %s\n", open.c_str());
    }
    return 0;
}

int RunDoctor(const std::vector<std::string>& args)
{
    std::string port;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && (arg == "--help" || arg == "-h")) {
            std::fputs(kDoctorHelp, stdout);
            return 0;
        }
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if ((options && arg.rfind("-", 0) == 0) || !port.empty() || arg.empty()) {
            const std::string what = arg.empty() ? "the port name is empty" : "unknown argument " + ShellQuote(arg);
            std::fprintf(stderr, "qxprog doctor: %s\n(see 'qxprog doctor --help')\n", what.c_str());
            return EXIT_USAGE;
        }
        port = arg;
    }
    CMemorySettingsStore store;
    CIniSettingsFile::LoadProgramSettings(store);
    CPortSettings settings;
    settings.LoadPortSettings(store);
    if (port.empty()) {
        PrintSettingsWarnings(store);
        port = settings.m_strPort;
    }
    // A line on another machine is tried with the stored line settings.
    const CPortDoctor::CReport report = CRemotePortName::IsRemote(port) ? CPortDoctor::CheckRemote(port, settings.m_line)
                                                                         : CPortDoctor().Check(port);
    for (const CPortDoctor::CCheck& check : report.m_checks)
        std::printf("%s%s\n", Mark(check.m_eMark), check.m_strText.c_str());
    return static_cast<int>(report.m_eProblem);
}
