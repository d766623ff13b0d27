#include "port/com_port_probe.h"

bool CComPortInfo::Matches(const std::string& stored) const
{
    if (stored.empty())
        return false;
    if (stored.front() != '/')
        return stored == m_strName || stored == m_strKernelName;
    return stored == m_strName || stored == m_strPath || stored == m_strById || stored == m_strByPath;
}

std::string ComPortLabel(const CComPortInfo& port)
{
    const bool onBoard = port.m_strName.rfind("COM", 0) == 0;
    std::string label = onBoard || port.m_strKernelName.empty() ? port.m_strName : port.m_strKernelName;
    std::string details;
    auto add = [&details](const std::string& part) {
        if (!part.empty())
            details += (details.empty() ? "" : ", ") + part;
    };
    if (!port.m_strProduct.empty()) {
        label += " - " + port.m_strProduct;
        if (port.m_strProduct.find(port.m_strManufacturer) == std::string::npos)
            add(port.m_strManufacturer);
        add(port.m_strSerial);
    } else if (!port.m_strBluetooth.empty()) {
        label += " - Bluetooth";
        add(port.m_strBluetooth);
    }
    if (!details.empty())
        label += " (" + details + ")";
    if (port.m_eState == EComPortState::InUse)
        label += " - in use";
    else if (port.m_eState == EComPortState::NoPermission)
        label += " - no permission (join the device's group, e.g. \"dialout\")";
    return label;
}
