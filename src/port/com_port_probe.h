#pragma once
// ProbeComPorts: the serial devices present on this machine, for the port list and the port
// setup dialog. Reads the tty class in sysfs and tries each device node (open, lock, close at
// once). Takes its roots so tests can build a fake tree. Blocking but short; any thread.

#include <string>
#include <vector>

enum class EComPortState {
    Present,      // opened and locked: free to use
    InUse,        // busy or locked by another program (or by our own open port)
    NoPermission, // the user may not open it (usually: not in the "dialout" group)
};

struct CComPortInfo {
    std::string m_strName;        // the name to store and show: "COM1" for ttyS0, else "ttyUSB0"
    std::string m_strPath;        // the device node: "/dev/ttyUSB0"
    std::string m_strDescription; // the USB product where sysfs has one, else empty
    EComPortState m_nState = EComPortState::Present;
};

struct CProbeRoots {
    std::string m_strDev = "/dev";
    std::string m_strSys = "/sys";
};

// On-board ports (ttyS with real hardware, as COMn) first by number, then the other kinds
// (ttyACM, ttyAMA, ttyUSB, rfcomm, ...) by name and number. Devices that cannot be opened for
// another reason than busy or permission are left out.
std::vector<CComPortInfo> ProbeComPorts(const CProbeRoots& roots = {});

// The text the port list shows for a port: its name, the description in parentheses when
// there is one, and why it cannot be used.
std::string ComPortLabel(const CComPortInfo& port);
