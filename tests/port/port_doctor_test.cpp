// CPortDoctor over fake /dev, /sys, /proc, group and lock trees: the advice after each kind of
// failed open, and the checklist's verdict for a port.

#include "temp_dir.h"

#include "port/port_doctor.h"
#include "serial/serial_error.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace {

namespace fs = std::filesystem;

// A machine in a folder: every root the doctor reads, and a user "alice" (uid 1000) whose
// process runs as 777 with only her own group.
class CFakeSystem {
public:
    CFakeSystem()
    {
        for (const char* dir : {"dev", "sys/class/tty", "proc", "run/lock"})
            m_dir.Folder(dir);
        m_dir.Write("etc/group", "root:x:0:\ndialout:x:20:\nalice:x:1000:\n");
        m_roots.m_strDev = m_dir.Path("dev");
        m_roots.m_strSys = m_dir.Path("sys");
        m_roots.m_strProc = m_dir.Path("proc");
        m_roots.m_strGroupFile = m_dir.Path("etc/group");
        m_roots.m_strLock = m_dir.Path("run/lock");
        m_user = {"alice", 1000, 1000, {1000}, 777};
    }
    // A tty known to sysfs with its node, owned by root and the group given, with the mode given.
    void Tty(const std::string& name, const char* type = nullptr, mode_t mode = 0660, gid_t group = 20)
    {
        const std::string entry = m_dir.Folder("sys/class/tty/" + name);
        m_dir.Folder("sys/devices/platform/" + name);
        fs::create_directory_symlink(m_dir.Path("sys/devices/platform/" + name), entry + "/device");
        if (type)
            m_dir.Write("sys/class/tty/" + name + "/type", std::string(type) + "\n");
        const std::string node = m_dir.Write("dev/" + name, "");
        EXPECT_EQ(::chown(node.c_str(), 0, group), 0);
        EXPECT_EQ(::chmod(node.c_str(), mode), 0);
    }
    // The USB vendor and product id above the tty.
    void UsbIds(const std::string& name, const std::string& vendor, const std::string& product)
    {
        m_dir.Write("sys/devices/platform/" + name + "/idVendor", vendor + "\n");
        m_dir.Write("sys/devices/platform/" + name + "/idProduct", product + "\n");
    }
    // A real terminal line (a pseudo-terminal), for the checks that open the device.
    std::string Pty()
    {
        m_pty = std::make_unique<CPtyPair>();
        return m_pty->SlavePath();
    }
    // The kernel's lock table names pid as holding a lock on the file (a name under dev or a path).
    void Lock(int pid, const std::string& device)
    {
        struct stat info {};
        const std::string path = device.find('/') == 0 ? device : Dev(device);
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        char where[64];
        std::snprintf(where, sizeof where, "%02x:%02x:%llu", ::major(info.st_dev), ::minor(info.st_dev),
            static_cast<unsigned long long>(info.st_ino));
        // A waiter for the same lock ("->") is no holder.
        m_dir.Write("proc/locks", "1: FLOCK  ADVISORY  WRITE " + std::to_string(pid) + " " + where + " 0 EOF\n"
            "1: -> FLOCK  ADVISORY  WRITE 9999 " + where + " 0 EOF\n");
    }
    // A process with the device open as descriptor 3.
    void Process(int pid, const std::string& name, const std::string& openDevice = {})
    {
        m_dir.Write("proc/" + std::to_string(pid) + "/comm", name + "\n");
        m_dir.Folder("proc/" + std::to_string(pid) + "/fd");
        if (!openDevice.empty())
            fs::create_symlink(openDevice.find('/') == 0 ? openDevice : m_dir.Path("dev/" + openDevice),
                m_dir.Path("proc/" + std::to_string(pid) + "/fd/3"));
    }
    std::string Dev(const std::string& name) const { return m_dir.Path("dev/" + name); }
    CPortDoctor Doctor() const { return CPortDoctor(m_roots, m_user); }

    CTempDir m_dir;
    CDoctorRoots m_roots;
    CUserIdentity m_user;
    std::unique_ptr<CPtyPair> m_pty;
};

struct AdviceRow {
    const char* m_pszName;
    std::function<void(CFakeSystem&)> m_setup;
    std::string m_strDevice;
    int m_nErrno;
    std::vector<std::string> m_expected; // texts the advice holds ("@" stands for the dev root)
    std::string m_strAbsent;             // a text it must not hold
};

class PortDoctorAdvice : public ::testing::TestWithParam<AdviceRow> {};

TEST_P(PortDoctorAdvice, SaysWhatToDo)
{
    const AdviceRow& row = GetParam();
    CFakeSystem system;
    row.m_setup(system);
    const std::vector<std::string> lines = system.Doctor().Advise(system.Dev(row.m_strDevice),
        {row.m_nErrno, std::system_category()});
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    for (std::string expected : row.m_expected) {
        if (const auto at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, system.m_roots.m_strDev);
        EXPECT_NE(text.find(expected), std::string::npos) << "missing: " << expected << "\nin:\n" << text;
    }
    if (!row.m_strAbsent.empty()) {
        EXPECT_EQ(text.find(row.m_strAbsent), std::string::npos) << text;
    }
    // The box keeps its first line and adds the advice after a blank line (nothing without advice).
    std::string box = lines.empty() ? "" : "\r\n";
    for (const std::string& line : lines)
        box += "\r\n" + line;
    EXPECT_EQ(AppendAdvice("Port open error!", lines), "Port open error!" + box);
}

INSTANTIATE_TEST_SUITE_P(Cases, PortDoctorAdvice, ::testing::Values(
    AdviceRow{"NotInGroup", [](CFakeSystem& s) { s.Tty("ttyUSB0"); }, "ttyUSB0", EACCES,
        {"@/ttyUSB0 belongs to group \"dialout\" with mode -rw-rw----.", "You (alice) are not in group \"dialout\"",
         "    sudo usermod -aG dialout $USER", "then log out and in again."}, "after this session started"},
    AdviceRow{"JoinedAfterLogin", [](CFakeSystem& s) {
            s.Tty("ttyUSB0");
            s.m_dir.Write("etc/group", "dialout:x:20:bob,alice\n");
        }, "ttyUSB0", EACCES, {"You were added to group \"dialout\" after this session started: log out and in again"},
        "usermod"},
    AdviceRow{"GroupMayNotWrite", [](CFakeSystem& s) {
            s.Tty("ttyUSB0", nullptr, 0600);
            s.m_user.m_processGroups.push_back(20);
        }, "ttyUSB0", EACCES, {"mode -rw-------", "but the group may not read and write it"}, "usermod"},
    // Joining root's group gives nothing for a 0600 device, and much else: a udev rule instead.
    AdviceRow{"OwnerOnly", [](CFakeSystem& s) { s.Tty("ttyUSB0", nullptr, 0600, 0); }, "ttyUSB0", EACCES,
        {"@/ttyUSB0 belongs to group \"root\" with mode -rw-------.", "Only its owner (root) may open it",
         "/etc/udev/rules.d/", "    SUBSYSTEM==\"tty\", KERNEL==\"ttyUSB0\", GROUP=\"dialout\", MODE=\"0660\"",
         "sudo usermod -aG dialout $USER"}, "usermod -aG root"},
    AdviceRow{"PrivilegedGroup", [](CFakeSystem& s) {
            s.Tty("ttyUSB0", nullptr, 0660, 0);
            s.UsbIds("ttyUSB0", "0403", "6001");
        }, "ttyUSB0", EACCES,
        {"that group is not one to join",
         "    SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", GROUP=\"dialout\", MODE=\"0660\""},
        "usermod -aG root"},
    AdviceRow{"HeldByAnother", [](CFakeSystem& s) {
            s.Tty("ttyUSB0");
            s.Process(4321, "minicom", "ttyUSB0");
            s.Process(4400, "bash");
        }, "ttyUSB0", EBUSY, {"It is held by process 4321 (minicom)"}, "4400"},
    // The simulator merely has the line open; the programmer holds its lock.
    AdviceRow{"OpenerIsNoHolder", [](CFakeSystem& s) {
            s.Tty("ttyUSB0");
            s.Process(4321, "qxprog", "ttyUSB0");
            s.Process(5000, "simulator", "ttyUSB0");
            s.Lock(4321, "ttyUSB0");
        }, "ttyUSB0", EBUSY, {"It is held by process 4321 (qxprog), which holds its lock: close that program, or end "
            "it with 'kill 4321'.", "Also open in process 5000 (simulator), which holds no lock."}, "kill 5000"},
    AdviceRow{"ManyOpenersNoLock", [](CFakeSystem& s) {
            s.Tty("ttyUSB0");
            s.Process(4321, "cat", "ttyUSB0");
            s.Process(5000, "simulator", "ttyUSB0");
        }, "ttyUSB0", EBUSY, {"Another program holds it", "Also open in process 4321 (cat), which holds no lock."},
        "kill"},
    AdviceRow{"NotATerminal", [](CFakeSystem& s) { s.Tty("ttyUSB0"); }, "ttyUSB0", ENOTTY,
        {"@/ttyUSB0 is not a serial port"}, ""},
    AdviceRow{"HeldByItself", [](CFakeSystem& s) {
            s.Tty("ttyACM0");
            s.Process(777, "quillorex-progr", "ttyACM0");
        }, "ttyACM0", EBUSY, {"This program itself holds it (process 777 (quillorex-progr))"}, "held by"},
    AdviceRow{"LockFile", [](CFakeSystem& s) {
            s.Tty("ttyUSB0");
            s.Process(4321, "picocom");
            s.m_dir.Write("run/lock/LCK..ttyUSB0", "      4321\n");
        }, "ttyUSB0", EBUSY, {"LCK..ttyUSB0 names process 4321 (picocom)."}, ""},
    AdviceRow{"HolderNotVisible", [](CFakeSystem& s) { s.Tty("ttyUSB0"); }, "ttyUSB0", EBUSY,
        {"Another program holds it", "sudo fuser -v @/ttyUSB0"}, ""},
    AdviceRow{"MissingListsThePresent", [](CFakeSystem& s) {
            s.Tty("ttyUSB1");
            s.Tty("ttyS0", "4");
        }, "ttyUSB0", ENOENT, {"The serial ports present now:", "    COM1\n", "    ttyUSB1\n"}, "["},
    AdviceRow{"MissingWithNoneLeft", [](CFakeSystem&) {}, "ttyUSB0", ENOENT, {"No serial port is present now"}, ""},
    AdviceRow{"OnBoardWithoutUart", [](CFakeSystem& s) { s.Tty("ttyS3", "0"); }, "ttyS3", EIO,
        {"ttyS3 has no UART behind it"}, "present now"},
    AdviceRow{"ModemManagerProbing", [](CFakeSystem& s) {
            s.Tty("ttyACM0");
            s.Process(612, "ModemManager");
        }, "ttyACM0", EIO, {"ModemManager runs and may be probing this device"}, ""},
    AdviceRow{"NoModemManager", [](CFakeSystem& s) {
            s.Tty("ttyACM0");
            s.Process(612, "NetworkManager");
        }, "ttyACM0", EIO, {}, "ModemManager"}),
    [](const auto& info) { return std::string(info.param.m_pszName); });

TEST(PortDoctorTest, ModemManagerMattersOnlyShortlyAfterPlugging)
{
    CFakeSystem system;
    system.Tty("ttyACM0");
    system.Process(612, "ModemManager");
    CPortDoctor doctor = system.Doctor();
    doctor.SetNow(std::time(nullptr) + CPortDoctor::kFreshDeviceSeconds + 60);
    EXPECT_TRUE(doctor.Advise(system.Dev("ttyACM0"), {EIO, std::system_category()}).empty());
}

struct CheckRow {
    const char* m_pszName;
    // Returns the port to check.
    std::function<std::string(CFakeSystem&)> m_setup;
    EPortProblem m_eProblem;
    std::string m_strLastCheck;
    std::string m_strAbsent = {};
};

class PortDoctorCheck : public ::testing::TestWithParam<CheckRow> {};

TEST_P(PortDoctorCheck, GivesTheVerdict)
{
    const CheckRow& row = GetParam();
    CFakeSystem system;
    const std::string port = row.m_setup(system);
    // Another open of the device holds its lock while the doctor looks.
    int held = -1;
    if (row.m_eProblem == EPortProblem::Busy) {
        held = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);
    }
    const CPortDoctor::CReport report = system.Doctor().Check(port);
    if (held >= 0)
        ::close(held);
    EXPECT_EQ(report.m_eProblem, row.m_eProblem);
    ASSERT_FALSE(report.m_checks.empty());
    std::string text;
    for (const auto& check : report.m_checks)
        text += check.m_strText + "\n";
    EXPECT_NE(text.find(row.m_strLastCheck), std::string::npos) << text;
    if (!row.m_strAbsent.empty()) {
        EXPECT_EQ(text.find(row.m_strAbsent), std::string::npos) << text;
    }
    // A failed check and the verdict agree: "ok" lines only up to the first failure, which names it.
    const auto failed = std::find_if(report.m_checks.begin(), report.m_checks.end(),
        [](const auto& check) { return check.m_eMark == CPortDoctor::EMark::Fail; });
    EXPECT_EQ(failed == report.m_checks.end(), row.m_eProblem == EPortProblem::None) << text;
    EXPECT_EQ(std::count_if(failed, report.m_checks.end(), [](const auto& check) { return check.m_eMark == CPortDoctor::EMark::Ok; }), 0) << text;
}

INSTANTIATE_TEST_SUITE_P(Cases, PortDoctorCheck, ::testing::Values(
    CheckRow{"Usable", [](CFakeSystem& s) { return s.Pty(); }, EPortProblem::None,
        "It opens and locks: the port can be used."},
    CheckRow{"Missing", [](CFakeSystem& s) {
            s.Tty("ttyUSB1");
            return s.Dev("ttyUSB0");
        }, EPortProblem::Missing, "The serial ports present now:"},
    CheckRow{"Busy", [](CFakeSystem& s) {
            const std::string port = s.Pty();
            s.Process(4321, "minicom", port);
            s.Process(5000, "simulator", port);
            s.Lock(4321, port);
            return port;
        }, EPortProblem::Busy, "It is held by process 4321 (minicom)", "kill 5000"},
    CheckRow{"NoUart", [](CFakeSystem& s) {
            s.Tty("ttyS1", "0");
            return s.Dev("ttyS1");
        }, EPortProblem::NoUart, "ttyS1 has no UART behind it"},
    CheckRow{"AlsoOpenElsewhere", [](CFakeSystem& s) {
            const std::string port = s.Pty();
            s.Process(4321, "cat", port);
            return port;
        }, EPortProblem::None, "Also open in process 4321 (cat)"},
    CheckRow{"RegularFile", [](CFakeSystem& s) {
            s.Tty("ttyUSB0");
            return s.Dev("ttyUSB0");
        }, EPortProblem::NotSerial, "It is not a serial port: a regular file.", "can be used"},
    CheckRow{"DevNull", [](CFakeSystem&) { return std::string("/dev/null"); }, EPortProblem::NotSerial,
        "It is not a serial port: it opens, but is no terminal device (Inappropriate ioctl for device).",
        "can be used"}),
    [](const auto& info) { return std::string(info.param.m_pszName); });

// A line on another machine: what to check there, by the reason its connection failed or ended.
struct RemoteAdviceRow {
    const char* m_pszName;
    const char* m_pszPort;
    std::error_code m_code;
    const char* m_pszAdvice; // empty: no advice
};

class RemoteAdvice : public ::testing::TestWithParam<RemoteAdviceRow> {};

TEST_P(RemoteAdvice, NamesTheHostAndWhatToCheck)
{
    const std::vector<std::string> lines = CPortDoctor().Advise(GetParam().m_pszPort, GetParam().m_code);
    const std::string advice = GetParam().m_pszAdvice;
    if (advice.empty()) {
        EXPECT_TRUE(lines.empty()) << lines.front();
        return;
    }
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(advice), std::string::npos) << lines[0];
}

std::error_code Errno(int value)
{
    return {value, std::system_category()};
}

INSTANTIATE_TEST_SUITE_P(Reasons, RemoteAdvice, ::testing::Values(
    RemoteAdviceRow{"Refused", "rfc2217://lab:2217", Errno(ECONNREFUSED),
        "Nothing listens on lab port 2217: is ser2net running there, with a connection whose accepter is "
        "telnet(rfc2217),tcp,2217?"},
    RemoteAdviceRow{"RefusedRaw", "socket://lab:4000", Errno(ECONNREFUSED), "whose accepter is tcp,4000?"},
    RemoteAdviceRow{"UnknownHost", "rfc2217://labx:2217", ESerialError::HostUnknown, "labx is not a name this machine can resolve"},
    RemoteAdviceRow{"NoAnswer", "rfc2217://[fe80::2]:2217", Errno(ETIMEDOUT), "fe80::2 does not answer on port 2217"},
    RemoteAdviceRow{"NoRfc2217", "rfc2217://lab:2217", ESerialError::NoLineControl,
        "does not negotiate RFC 2217: give the ser2net connection there the accepter telnet(rfc2217),tcp,2217 (a raw tcp "
        "accepter is reached as socket://lab:2217"},
    RemoteAdviceRow{"Ended", "rfc2217://lab:2217", Errno(ECONNRESET), "The connection to lab:2217 ended: is ser2net still running"},
    RemoteAdviceRow{"BadName", "rfc2217://lab", ESerialError::RemoteName, ""}),
    [](const auto& info) { return std::string(info.param.m_pszName); });

} // namespace
