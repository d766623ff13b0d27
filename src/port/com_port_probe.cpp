#include "port/com_port_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadAttribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// "ttyUSB12" -> ("ttyUSB", 12); a name without a trailing number gets -1.
std::pair<std::string, long> SplitName(const std::string& name)
{
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
        --digits;
    if (digits == name.size() || name.size() - digits > 9)
        return {name, -1};
    return {name.substr(0, digits), std::strtol(name.c_str() + digits, nullptr, 10)};
}

// The USB product (and maker) above the tty's device, where there is one.
std::string UsbDescription(const fs::path& deviceLink)
{
    std::error_code error;
    fs::path dir = fs::canonical(deviceLink, error);
    if (error)
        return {};
    for (int level = 0; level < 5 && !dir.empty() && dir != dir.root_path(); ++level) {
        if (auto product = ReadAttribute(dir / "product")) {
            auto maker = ReadAttribute(dir / "manufacturer");
            if (maker && !maker->empty() && product->find(*maker) == std::string::npos)
                return *maker + " " + *product;
            return *product;
        }
        dir = dir.parent_path();
    }
    return {};
}

// On-board ports exist for every possible number; only those with a UART behind them count.
bool HasHardware(const fs::path& classEntry)
{
    auto type = ReadAttribute(classEntry / "type");
    return !type || (!type->empty() && *type != "0");
}

std::optional<EComPortState> TryDevice(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY)
            return EComPortState::InUse;
        if (errno == EACCES || errno == EPERM)
            return EComPortState::NoPermission;
        return std::nullopt;
    }
    EComPortState state = EComPortState::Present;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        state = errno == EWOULDBLOCK ? EComPortState::InUse : EComPortState::Present;
    else
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return state;
}

} // namespace

std::vector<CComPortInfo> ProbeComPorts(const CProbeRoots& roots)
{
    struct CFound {
        CComPortInfo m_info;
        std::tuple<int, std::string, long, std::string> m_key;
    };
    std::vector<CFound> found;
    std::error_code error;
    const fs::path classDir = fs::path(roots.m_strSys) / "class" / "tty";
    for (fs::directory_iterator it(classDir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code linkError;
        if (!fs::exists(it->path() / "device", linkError))
            continue; // virtual terminals, consoles, pseudo-terminals
        auto [prefix, number] = SplitName(name);
        const bool onBoard = prefix == "ttyS" && number >= 0;
        if (onBoard && !HasHardware(it->path()))
            continue;
        const std::string path = roots.m_strDev + "/" + name;
        auto state = TryDevice(path);
        if (!state)
            continue;
        CFound entry;
        entry.m_info.m_strName = onBoard ? "COM" + std::to_string(number + 1) : name;
        entry.m_info.m_strPath = path;
        entry.m_info.m_strDescription = UsbDescription(it->path() / "device");
        entry.m_info.m_nState = *state;
        entry.m_key = {onBoard ? 0 : 1, prefix, number, name};
        found.push_back(std::move(entry));
    }
    std::sort(found.begin(), found.end(),
        [](const CFound& a, const CFound& b) { return a.m_key < b.m_key; });
    std::vector<CComPortInfo> ports;
    ports.reserve(found.size());
    for (CFound& entry : found)
        ports.push_back(std::move(entry.m_info));
    return ports;
}

std::string ComPortLabel(const CComPortInfo& port)
{
    std::string label = port.m_strName;
    if (!port.m_strDescription.empty())
        label += " (" + port.m_strDescription + ")";
    if (port.m_nState == EComPortState::InUse)
        label += " - in use";
    else if (port.m_nState == EComPortState::NoPermission)
        label += " - no permission (join the \"dialout\" group)";
    return label;
}
