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

// The USB device above the tty's device (the first folder up with a product or vendor id):
// maker, product, serial number and vendor:product id.
void ReadUsbIdentity(const fs::path& deviceLink, CComPortInfo& info)
{
    std::error_code error;
    fs::path dir = fs::canonical(deviceLink, error);
    if (error)
        return;
    for (int level = 0; level < 5 && !dir.empty() && dir != dir.root_path(); ++level) {
        auto product = ReadAttribute(dir / "product");
        auto vendor = ReadAttribute(dir / "idVendor");
        if (product || vendor) {
            info.m_strProduct = product.value_or("");
            info.m_strManufacturer = ReadAttribute(dir / "manufacturer").value_or("");
            info.m_strSerial = ReadAttribute(dir / "serial").value_or("");
            if (vendor)
                info.m_strVidPid = *vendor + ":" + ReadAttribute(dir / "idProduct").value_or("????");
            return;
        }
        dir = dir.parent_path();
    }
}

std::string MakerAndProduct(const CComPortInfo& info)
{
    const std::string& maker = info.m_strManufacturer;
    const std::string& product = info.m_strProduct;
    if (product.empty())
        return {};
    if (!maker.empty() && product.find(maker) == std::string::npos)
        return maker + " " + product;
    return product;
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
        auto [prefix, number] = SplitName(name);
        std::error_code linkError;
        // Bluetooth serial ports are virtual devices without a device link of their own.
        if (!fs::exists(it->path() / "device", linkError) && prefix != "rfcomm")
            continue; // virtual terminals, consoles, pseudo-terminals
        const bool onBoard = prefix == "ttyS" && number >= 0;
        if (onBoard && !HasHardware(it->path()))
            continue;
        const std::string path = roots.m_strDev + "/" + name;
        auto state = TryDevice(path);
        if (!state)
            continue;
        CFound entry;
        ReadComPortIdentity(name, roots, entry.m_info);
        entry.m_info.m_eState = *state;
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

std::string StableName(const std::string& path, const std::string& kind, const std::string& devRoot)
{
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    if (error)
        return {};
    const fs::path dir = fs::path(devRoot) / "serial" / kind;
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        std::error_code linkError;
        if (fs::canonical(it->path(), linkError) == target && !linkError)
            names.push_back(it->path().filename().string());
    }
    if (names.empty())
        return {};
    // Several names (a device with two interfaces seen twice) give the same one every time.
    std::sort(names.begin(), names.end());
    return devRoot + "/serial/" + kind + "/" + names.front();
}

bool ReadComPortIdentity(const std::string& kernelName, const CProbeRoots& roots, CComPortInfo& info)
{
    const fs::path classEntry = fs::path(roots.m_strSys) / "class" / "tty" / kernelName;
    std::error_code error;
    if (kernelName.empty() || !fs::exists(classEntry, error))
        return false;
    auto [prefix, number] = SplitName(kernelName);
    const bool onBoard = prefix == "ttyS" && number >= 0;
    const fs::path node = fs::path(roots.m_strDev) / kernelName;
    info.m_strKernelName = kernelName;
    info.m_strPath = node.string();
    ReadUsbIdentity(classEntry / "device", info);
    info.m_strDescription = MakerAndProduct(info);
    const fs::path driver = fs::read_symlink(classEntry / "device" / "driver", error);
    if (!error)
        info.m_strDriver = driver.filename().string();
    if (prefix == "rfcomm") {
        if (auto address = ReadAttribute(classEntry / "address")) {
            info.m_strBluetooth = *address;
            if (auto channel = ReadAttribute(classEntry / "channel"))
                info.m_strBluetooth += ", channel " + *channel;
        }
    }
    info.m_strById = StableName(node.string(), "by-id", roots.m_strDev);
    info.m_strByPath = StableName(node.string(), "by-path", roots.m_strDev);
    // A USB adapter is stored by its stable name, so it is found again under another number.
    if (onBoard)
        info.m_strName = "COM" + std::to_string(number + 1);
    else if (!info.m_strById.empty())
        info.m_strName = info.m_strById;
    else
        info.m_strName = kernelName;
    return true;
}

std::string ShortPortName(const std::string& stored, const std::string& devRoot)
{
    const std::string stable = devRoot + "/serial/";
    if (stored.rfind(stable, 0) != 0)
        return stored;
    std::error_code error;
    const fs::path target = fs::canonical(stored, error);
    return (error ? fs::path(stored) : target).filename().string();
}
