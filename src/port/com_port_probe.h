#pragma once
// ProbeComPorts: the serial devices present on this machine, for the port list, the port
// setup dialog, qxprog ports and the port checks. Reads the tty class in sysfs, the stable names
// under /dev/serial and tries each device node (open, lock, close at once). Takes its roots so
// tests can build a fake tree. Blocking but short; any thread; no state of its own. Finding the
// ports and their identity is the system's part (com_port_probe_linux.cpp); matching a stored
// name and the label are shared.

#include <string>
#include <vector>

enum class EComPortState {
    Present,      // opened and locked: free to use
    InUse,        // busy or locked by another program (or by our own open port)
    NoPermission, // the user may not open it (usually: not in the "dialout" group)
};

struct CComPortInfo {
    std::string m_strName;        // the name to store: the by-id path of a USB port, "COM1" for ttyS0, else "ttyUSB0"
    std::string m_strPath;        // the device node: "/dev/ttyUSB0"
    std::string m_strDescription; // the USB maker and product where sysfs has them, else empty
    EComPortState m_eState = EComPortState::Present;
    std::string m_strKernelName;  // "ttyUSB0"
    std::string m_strById;        // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" or empty
    std::string m_strByPath;      // "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0" or empty
    std::string m_strManufacturer;
    std::string m_strProduct;
    std::string m_strSerial;
    std::string m_strVidPid;      // "0403:6001"
    std::string m_strDriver;      // "ftdi_sio", "cdc_acm", "serial8250"
    std::string m_strBluetooth;   // an rfcomm port's remote address and channel: "00:11:22:33:44:55, channel 1"

    // True when a stored port name means this port: its name, kernel name, node or a stable name.
    bool Matches(const std::string& stored) const;
};

struct CProbeRoots {
    std::string m_strDev = "/dev";
    std::string m_strSys = "/sys";
};

// On-board ports (ttyS with real hardware, as COMn) first by number, then the other kinds
// (ttyACM, ttyAMA, ttyUSB, rfcomm, ...) by name and number. Devices that cannot be opened for
// another reason than busy or permission are left out.
std::vector<CComPortInfo> ProbeComPorts(const CProbeRoots& roots = {});

// The identity of one tty (no open is tried; m_eState stays Present); false when sysfs does not
// know the kernel name.
bool ReadComPortIdentity(const std::string& kernelName, const CProbeRoots& roots, CComPortInfo& info);

// The stable name under <devRoot>/serial/<kind> ("by-id", "by-path") that leads to the same
// device as path (a node or a link to one), as a path; empty when there is none. Of several, the
// first by name.
std::string StableName(const std::string& path, const std::string& kind, const std::string& devRoot = "/dev");

// The text the port list shows for a port: "ttyUSB0 - FT232R USB UART (FTDI, A50285BI)", on-board
// ports as "COM1", and why the port cannot be used.
std::string ComPortLabel(const CComPortInfo& port);

// The short name of a stored port for the status bar: a stable name under <dev>/serial resolves
// to the node it points at ("ttyUSB0"), or its own file name while the device is away; other
// names are returned as they are.
std::string ShortPortName(const std::string& stored, const std::string& devRoot = "/dev");
