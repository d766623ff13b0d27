// ProbeComPorts on a fake /dev and /sys tree: which devices are listed, their order, names,
// descriptions and states (free, in use, no permission).

#include "temp_dir.h"

#include "port/com_port_probe.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

class ComPortProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_root / "dev");
        fs::create_directories(m_root / "sys" / "class" / "tty");
        fs::create_directories(m_root / "sys" / "devices");
        fs::permissions(m_root, fs::perms::all);
        m_roots.m_strDev = (m_root / "dev").string();
        m_roots.m_strSys = (m_root / "sys").string();
    }

    // A tty class entry; hardware: whether its device link exists; type: the UART type file.
    void AddTty(const std::string& name, bool withDevice, const char* type = nullptr,
        bool withNode = true, const char* product = nullptr)
    {
        const fs::path entry = m_root / "sys" / "class" / "tty" / name;
        fs::create_directories(entry);
        if (withDevice) {
            // devices/<usb device>/<interface>/<name>, with the product two levels up.
            const fs::path usb = m_root / "sys" / "devices" / ("usb-" + name);
            const fs::path device = usb / "1-1:1.0" / name;
            fs::create_directories(device);
            if (product) {
                std::ofstream(usb / "product") << product << "\n";
                std::ofstream(usb / "manufacturer") << "Maker\n";
            }
            fs::create_directory_symlink(device, entry / "device");
        }
        if (type)
            std::ofstream(entry / "type") << type << "\n";
        if (withNode) {
            std::ofstream(m_root / "dev" / name) << "";
            fs::permissions(m_root / "dev" / name, fs::perms::owner_read | fs::perms::owner_write
                | fs::perms::group_read | fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
        }
    }

    std::vector<std::string> Names(const std::vector<CComPortInfo>& ports)
    {
        std::vector<std::string> names;
        for (const CComPortInfo& port : ports)
            names.push_back(port.m_strName);
        return names;
    }

    const CTempDir m_dir;
    const fs::path m_root = m_dir.Path();
    CProbeRoots m_roots;
};

TEST_F(ComPortProbeTest, ListsRealDevicesInAStableOrder)
{
    AddTty("ttyS0", true, "4");
    AddTty("ttyS1", true, "0");     // no UART behind it
    AddTty("ttyS10", true, "4");
    AddTty("ttyS2", true, "4");
    AddTty("ttyUSB10", true, nullptr, true, "FT232R USB UART");
    AddTty("ttyUSB2", true);
    AddTty("ttyACM0", true, nullptr, true, "Board CDC");
    AddTty("tty5", false);          // a virtual console
    AddTty("ttyUSB7", true, nullptr, false); // sysfs knows it, the node is gone
    const auto ports = ProbeComPorts(m_roots);
    EXPECT_EQ(Names(ports), (std::vector<std::string>{"COM1", "COM3", "COM11", "ttyACM0", "ttyUSB2", "ttyUSB10"}));
    ASSERT_EQ(ports.size(), 6u);
    EXPECT_EQ(ports[0].m_strPath, m_roots.m_strDev + "/ttyS0");
    EXPECT_EQ(ports[3].m_strDescription, "Maker Board CDC");
    EXPECT_EQ(ports[5].m_strDescription, "Maker FT232R USB UART");
    EXPECT_EQ(ports[4].m_strDescription, "");
    for (const CComPortInfo& port : ports)
        EXPECT_EQ(port.m_eState, EComPortState::Present) << port.m_strName;
    // Probing twice gives the same list.
    EXPECT_EQ(Names(ProbeComPorts(m_roots)), Names(ports));
}

TEST_F(ComPortProbeTest, TwentyFivePortsWithGapsAreAllListedInOrder)
{
    std::vector<std::string> expected;
    for (int n = 0; n < 30; ++n) {
        if (n == 3 || n == 11 || n == 12 || n == 20 || n == 27)
            continue; // gaps
        AddTty("ttyUSB" + std::to_string(n), true);
        expected.push_back("ttyUSB" + std::to_string(n));
    }
    ASSERT_EQ(expected.size(), 25u);
    const auto ports = ProbeComPorts(m_roots);
    EXPECT_EQ(Names(ports), expected);
}

TEST_F(ComPortProbeTest, LockedDeviceIsInUse)
{
    AddTty("ttyUSB0", true);
    AddTty("ttyUSB1", true);
    int fd = ::open((m_root / "dev" / "ttyUSB1").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const auto ports = ProbeComPorts(m_roots);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].m_eState, EComPortState::Present);
    EXPECT_EQ(ports[1].m_eState, EComPortState::InUse);
    EXPECT_NE(ComPortLabel(ports[1]).find("in use"), std::string::npos);
    ::close(fd);
    EXPECT_EQ(ProbeComPorts(m_roots)[1].m_eState, EComPortState::Present);
}

TEST_F(ComPortProbeTest, UnreadableDeviceIsListedWithoutPermission)
{
    AddTty("ttyUSB0", true);
    AddTty("ttyACM3", true);
    fs::permissions(m_root / "dev" / "ttyACM3", fs::perms::owner_read | fs::perms::owner_write);
    // Root opens anything: probe as an ordinary user in a child process.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        std::string result;
        for (const CComPortInfo& port : ProbeComPorts(m_roots))
            result += port.m_strName + "=" + std::to_string(static_cast<int>(port.m_eState)) + ";";
        (void)!::write(pipeFds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "could not drop privileges";
    EXPECT_EQ(result, "ttyACM3=2;ttyUSB0=0;");
    CComPortInfo denied;
    denied.m_strName = "ttyACM3";
    denied.m_eState = EComPortState::NoPermission;
    EXPECT_NE(ComPortLabel(denied).find("dialout"), std::string::npos);
}

// One port of each kind as sysfs and udev show it, with its identity and its label.
struct IdentityRow {
    const char* m_pszKind;
    std::string m_strKernel;
    std::string m_strDriver;
    std::map<std::string, std::string> m_usb; // attribute files of the USB device
    std::map<std::string, std::string> m_tty; // attribute files of the tty class entry
    std::string m_strById;                    // the by-id name udev makes, or empty
    std::string m_strName;                    // the name stored for it ("@" stands for the dev root)
    std::string m_strLabel;
    std::string m_strVidPid;
};

class ComPortIdentity : public ComPortProbeTest, public ::testing::WithParamInterface<IdentityRow> {};

TEST_P(ComPortIdentity, ReadsStableNamesAndSysfs)
{
    const IdentityRow& row = GetParam();
    const fs::path entry = m_root / "sys" / "class" / "tty" / row.m_strKernel;
    fs::create_directories(entry);
    if (!row.m_strDriver.empty()) {
        const fs::path usb = m_root / "sys" / "devices" / "pci0000:00" / "usb1" / "1-2";
        const fs::path device = usb / "1-2:1.0" / row.m_strKernel;
        fs::create_directories(device);
        for (const auto& [file, value] : row.m_usb)
            std::ofstream(usb / file) << value << "\n";
        fs::create_directories(m_root / "sys" / "bus" / "drivers" / row.m_strDriver);
        fs::create_directory_symlink(m_root / "sys" / "bus" / "drivers" / row.m_strDriver, device / "driver");
        fs::create_directory_symlink(device, entry / "device");
    }
    for (const auto& [file, value] : row.m_tty)
        std::ofstream(entry / file) << value << "\n";
    std::ofstream(m_root / "dev" / row.m_strKernel) << "";
    if (!row.m_strById.empty()) {
        fs::create_directories(m_root / "dev" / "serial" / "by-id");
        fs::create_directories(m_root / "dev" / "serial" / "by-path");
        fs::create_symlink("../../" + row.m_strKernel, m_root / "dev" / "serial" / "by-id" / row.m_strById);
        fs::create_symlink("../../" + row.m_strKernel, m_root / "dev" / "serial" / "by-path" / "pci-0000:00:14.0-usb-0:2:1.0");
    }
    const auto ports = ProbeComPorts(m_roots);
    ASSERT_EQ(ports.size(), 1u);
    const CComPortInfo& port = ports[0];
    std::string name = row.m_strName;
    if (name.front() == '@')
        name = m_roots.m_strDev + name.substr(1);
    EXPECT_EQ(port.m_strName, name);
    EXPECT_EQ(port.m_strKernelName, row.m_strKernel);
    EXPECT_EQ(port.m_strDriver, row.m_strDriver);
    EXPECT_EQ(port.m_strVidPid, row.m_strVidPid);
    EXPECT_EQ(ComPortLabel(port), row.m_strLabel);
    EXPECT_EQ(port.m_strByPath.empty(), row.m_strById.empty());
    // Every name the settings may hold today, and the stable ones, find the port.
    for (const std::string& stored : {port.m_strName, row.m_strKernel, port.m_strPath})
        EXPECT_TRUE(port.Matches(stored)) << stored;
    EXPECT_FALSE(port.Matches(row.m_strKernel + "1"));
    // The status bar shows the node a stable name leads to, and the stable name once it dangles.
    EXPECT_EQ(ShortPortName(port.m_strName, m_roots.m_strDev), row.m_strKernel == "ttyS0" ? "COM1" : row.m_strKernel);
    if (!row.m_strById.empty()) {
        fs::remove(m_root / "dev" / row.m_strKernel);
        EXPECT_EQ(ShortPortName(port.m_strName, m_roots.m_strDev), row.m_strById);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ComPortIdentity, ::testing::Values(
    IdentityRow{"usb", "ttyUSB0", "ftdi_sio",
        {{"manufacturer", "FTDI"}, {"product", "FT232R USB UART"}, {"serial", "A50285BI"}, {"idVendor", "0403"}, {"idProduct", "6001"}},
        {}, "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "@/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
        "ttyUSB0 - FT232R USB UART (FTDI, A50285BI)", "0403:6001"},
    IdentityRow{"acm", "ttyACM0", "cdc_acm",
        {{"manufacturer", "Quillorex"}, {"product", "Quillorex Debug Probe"}, {"serial", "QX0042"}, {"idVendor", "1209"}, {"idProduct", "0001"}},
        {}, "usb-Quillorex_Debug_Probe_QX0042-if00", "@/serial/by-id/usb-Quillorex_Debug_Probe_QX0042-if00",
        "ttyACM0 - Quillorex Debug Probe (QX0042)", "1209:0001"},
    IdentityRow{"onboard", "ttyS0", "serial8250", {}, {{"type", "4"}}, "", "COM1", "COM1", ""},
    IdentityRow{"bluetooth", "rfcomm0", "", {}, {{"address", "00:1a:7d:da:71:13"}, {"channel", "1"}}, "", "rfcomm0",
        "rfcomm0 - Bluetooth (00:1a:7d:da:71:13, channel 1)", ""}),
    [](const auto& info) { return std::string(info.param.m_pszKind); });

TEST_F(ComPortProbeTest, MissingRootsGiveAnEmptyList)
{
    CProbeRoots roots;
    roots.m_strDev = (m_root / "nothing").string();
    roots.m_strSys = (m_root / "nothing").string();
    EXPECT_TRUE(ProbeComPorts(roots).empty());
}

} // namespace
