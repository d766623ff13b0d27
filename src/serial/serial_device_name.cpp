#include "serial/serial_device_name.h"

#include "serial/remote_port_name.h"

#include <cctype>

std::string SerialDevicePath(const std::string& name, const std::string& devRoot)
{
    if (!name.empty() && name.front() == '/')
        return name;
    // A line on another machine keeps its URL.
    if (CRemotePortName::IsRemote(name))
        return name;
    // "COMn" with n >= 1 names the n-th on-board port.
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0 && name.size() <= 12) {
        bool digits = true;
        for (std::size_t i = 3; i < name.size(); ++i)
            digits = digits && std::isdigit(static_cast<unsigned char>(name[i]));
        if (digits && name[3] != '0')
            return devRoot + "/ttyS" + std::to_string(std::stoul(name.substr(3)) - 1);
    }
    return devRoot + "/" + name;
}
