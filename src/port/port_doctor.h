#pragma once
// CPortDoctor: why a serial port cannot be opened and what to do about it: the device's group
// and mode against the user's groups, the processes that hold it, the ports present now, an
// on-board port without a UART, ModemManager probing a new modem device. Reads /dev, /sys, /proc,
// the group file and the lock folder under roots given to it (tests use fake trees) and the
// user's identity given to it. Blocking but short; any thread; holds no state but its inputs.

#include "base/line_config.h"
#include "port/com_port_probe.h"

#include <ctime>
#include <string>
#include <system_error>
#include <vector>

struct CDoctorRoots : CProbeRoots {
    std::string m_strProc = "/proc";
    std::string m_strGroupFile = "/etc/group";
    std::string m_strLock = "/run/lock"; // UUCP lock files; flock and fcntl locks are in <proc>/locks
};

// Who runs this program: the login name, the primary group of the account, the groups this
// process has (which change only with a new login), and the process id.
struct CUserIdentity {
    std::string m_strName;
    unsigned m_nUid = 0;
    unsigned m_nPrimaryGid = 0;
    std::vector<unsigned> m_processGroups;
    int m_nPid = 0;

    static CUserIdentity Current();
};

// What went wrong with a port, as qxprog doctor's exit status tells it.
enum class EPortProblem {
    None = 0,
    Missing = 2,
    NoPermission = 3,
    Busy = 4,
    NoUart = 5,
    OtherFailure = 6,
    NotSerial = 7,
};

struct CPortHolder {
    int m_nPid = 0;
    std::string m_strName;    // the process's command name, "?" when unknown
    bool m_bSelf = false;     // this program
    bool m_bLock = false;     // holds a lock on the device (flock, fcntl), as /proc/locks says
    bool m_bLockFile = false; // named by a lock file
};

class CPortDoctor {
public:
    // How long after its node appeared a ttyACM device may still be probed by ModemManager.
    static constexpr int kFreshDeviceSeconds = 30;

    explicit CPortDoctor(CDoctorRoots roots = {}, CUserIdentity user = CUserIdentity::Current());

    // The lines to add after a failed open of the device (a path; a stable name is followed),
    // each a sentence; empty when there is nothing useful to say. For a line on another machine
    // (rfc2217://, socket://): what to check there, by the reason (also for a connection that
    // ended during use).
    std::vector<std::string> Advise(const std::string& device, std::error_code openError) const;

    // The processes that have the device open, that lock it, and the one a lock file names.
    std::vector<CPortHolder> Holders(const std::string& device) const;
    // "crw-rw---- root:dialout" and whether this user may open it by group or owner.
    std::string AccessText(const std::string& device) const;

    enum class EMark { Ok, Fail, Info };
    struct CCheck {
        EMark m_eMark;
        std::string m_strText;
    };
    struct CReport {
        std::string m_strDevice;
        std::vector<CCheck> m_checks;
        EPortProblem m_eProblem = EPortProblem::None;
    };
    // Tries the port (open, lock, close) and lists every check with its outcome and advice.
    CReport Check(const std::string& portName) const;
    // The same for a line on another machine (rfc2217://, socket://): connects, negotiates, sets
    // line and says whether the server acknowledged it, and the time each took.
    static CReport CheckRemote(const std::string& portName, const CLineConfig& line);

    // The time "now" for the fresh-device rule (tests move it).
    void SetNow(std::time_t now) { m_now = now; }

    // What the system says of a device node.
    struct CNodeStatus {
        unsigned m_nPermissions = 0; // read, write, run for owner, group, others (0640 as ls counts)
        bool m_bCharDevice = false;
        bool m_bRegular = false;
        unsigned m_nUid = 0;
        unsigned m_nGid = 0;
    };

private:
    // What trying the node found: the open's error (0: it opened), the terminal query's error,
    // an on-board port without a UART (asked for when askUart), whether its lock was free.
    struct CTryOut {
        int m_nOpenError = 0;
        int m_nTerminalError = 0;
        bool m_bUnknownUart = false;
        bool m_bLocked = false;
    };
    // The system's part (port_doctor_linux.cpp): the node's status, trying it, the processes
    // that hold it, the user's identity, and what sysfs and /proc tell of the device.
    static bool NodeStatus(const std::string& node, CNodeStatus& status);
    static CTryOut TryPort(const std::string& node, bool askUart);
    struct CGroup {
        std::string m_strName;
        unsigned m_nGid = 0;
        std::vector<std::string> m_members;
    };
    std::vector<CGroup> ReadGroups() const;
    std::string GroupName(unsigned gid) const;
    static std::string OwnerName(unsigned uid);
    // Whether the user is in the group by name: listed in the group file (or as the primary
    // group) or in the groups this process has now (inProcess).
    bool InGroup(const std::string& group, bool& inProcess) const;
    std::vector<std::string> PermissionAdvice(const std::string& node) const;
    // The lock holders (with the advice to end them) apart from those that only have it open;
    // exclusiveOpen: the open itself was refused, as for a port in exclusive use (TIOCEXCL).
    std::vector<std::string> BusyAdvice(const std::string& node, bool exclusiveOpen) const;
    std::vector<int> LockingProcesses(const std::string& node) const;
    std::vector<std::string> MissingAdvice() const;
    bool HasNoUart(const std::string& kernelName) const;
    bool ModemManagerMayProbe(const std::string& node) const;
    std::string Resolve(const std::string& device) const;
    // What to check on the far machine, by the reason (port_doctor_remote.cpp).
    static std::vector<std::string> RemoteAdvice(const std::string& name, std::error_code code);

    CDoctorRoots m_roots;
    CUserIdentity m_user;
    std::time_t m_now = 0;
};

// The box text with the doctor's lines after it (a blank line between).
std::string AppendAdvice(const std::string& text, const std::vector<std::string>& lines);
