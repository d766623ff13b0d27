#include "port/port_doctor.h"

#include "serial/remote_port_name.h"
#include "serial/serial_device_name.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {


bool IsNumber(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "crw-rw----": the kind, then read, write and run for owner, group and others.
std::string ModeText(const CPortDoctor::CNodeStatus& status)
{
    std::string text = status.m_bCharDevice ? "c" : status.m_bRegular ? "-" : "?";
    const char* letters = "rwxrwxrwx";
    for (int bit = 8; bit >= 0; --bit)
        text += (status.m_nPermissions & (1u << bit)) ? letters[8 - bit] : '-';
    return text;
}

bool Allows(const CPortDoctor::CNodeStatus& status, fs::perms permission)
{
    return (status.m_nPermissions & static_cast<unsigned>(permission)) != 0;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

} // namespace

CPortDoctor::CPortDoctor(CDoctorRoots roots, CUserIdentity user) : m_roots(std::move(roots)), m_user(std::move(user)) {}

std::string AppendAdvice(const std::string& text, const std::vector<std::string>& lines)
{
    if (lines.empty())
        return text;
    std::string result = text + "\r\n";
    for (const std::string& line : lines)
        result += "\r\n" + line;
    return result;
}

std::string CPortDoctor::Resolve(const std::string& device) const
{
    std::error_code error;
    const fs::path node = fs::canonical(device, error);
    return error ? device : node.string();
}

std::vector<CPortDoctor::CGroup> CPortDoctor::ReadGroups() const
{
    std::vector<CGroup> groups;
    std::ifstream in(m_roots.m_strGroupFile);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, ':');)
            fields.push_back(field);
        if (fields.size() < 3 || !IsNumber(fields[2]))
            continue;
        CGroup group;
        group.m_strName = fields[0];
        group.m_nGid = static_cast<unsigned>(std::stoul(fields[2]));
        if (fields.size() > 3) {
            std::stringstream members(fields[3]);
            for (std::string member; std::getline(members, member, ',');)
                group.m_members.push_back(member);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

std::string CPortDoctor::GroupName(unsigned gid) const
{
    for (const CGroup& group : ReadGroups())
        if (group.m_nGid == gid)
            return group.m_strName;
    return std::to_string(gid);
}

bool CPortDoctor::InGroup(const std::string& group, bool& inProcess) const
{
    inProcess = false;
    bool listed = false;
    for (const CGroup& entry : ReadGroups()) {
        if (entry.m_strName != group)
            continue;
        listed = listed || m_user.m_nPrimaryGid == entry.m_nGid
            || std::find(entry.m_members.begin(), entry.m_members.end(), m_user.m_strName) != entry.m_members.end();
        inProcess = inProcess
            || std::find(m_user.m_processGroups.begin(), m_user.m_processGroups.end(), entry.m_nGid)
                != m_user.m_processGroups.end();
    }
    return listed || inProcess;
}

std::vector<std::string> CPortDoctor::PermissionAdvice(const std::string& node) const
{
    CNodeStatus info;
    if (!NodeStatus(node, info))
        return {};
    std::vector<std::string> lines;
    std::string name = GroupName(info.m_nGid);
    bool inProcess = false;
    const bool listed = InGroup(name, inProcess) || m_user.m_nPrimaryGid == info.m_nGid;
    inProcess = inProcess
        || std::find(m_user.m_processGroups.begin(), m_user.m_processGroups.end(), info.m_nGid)
            != m_user.m_processGroups.end();
    lines.push_back(node + " belongs to group " + Quoted(name) + " with mode " + ModeText(info) + ".");
    const bool groupMayUse = Allows(info, fs::perms::group_read) && Allows(info, fs::perms::group_write);
    // Joining root's or an administrators' group for one device grants far more than the device.
    static const char* const kPrivileged[] = {"root", "sudo", "wheel", "adm"};
    const bool privileged = info.m_nGid == 0
        || std::find(std::begin(kPrivileged), std::end(kPrivileged), name) != std::end(kPrivileged);
    if (groupMayUse && !privileged) {
        if (inProcess) {
            lines.push_back("You are in group " + Quoted(name)
                + ", yet the device refused: an access list or a security module may forbid it.");
        } else if (listed) {
            lines.push_back("You were added to group " + Quoted(name) + " after this session started: log out and "
                "in again (or start the program from 'newgrp " + name + "') so that it counts.");
        } else {
            lines.push_back("You (" + (m_user.m_strName.empty() ? "this user" : m_user.m_strName)
                + ") are not in group " + Quoted(name) + ". Join it with:");
            lines.push_back("    sudo usermod -aG " + name + " $USER");
            lines.push_back("then log out and in again.");
        }
        return lines;
    }
    if (inProcess && !groupMayUse)
        lines.push_back("You are in group " + Quoted(name) + ", but the group may not read and write it: only its "
            "owner (" + OwnerName(info.m_nUid) + ") may open it.");
    else if (!groupMayUse)
        lines.push_back("Only its owner (" + OwnerName(info.m_nUid) + ") may open it; joining its group would not help.");
    else
        lines.push_back("Only its owner (" + OwnerName(info.m_nUid) + ") and group " + Quoted(name)
            + " may open it, and that group is not one to join for a serial port.");
    const std::string group = privileged ? "dialout" : name;
    CComPortInfo port;
    const std::string kernel = fs::path(node).filename().string();
    const bool known = ReadComPortIdentity(kernel, m_roots, port);
    const std::size_t colon = port.m_strVidPid.find(':');
    std::string match = "KERNEL==\"" + kernel + "\"";
    if (known && colon != std::string::npos && port.m_strVidPid.find('?') == std::string::npos)
        match = "ATTRS{idVendor}==\"" + port.m_strVidPid.substr(0, colon) + "\", ATTRS{idProduct}==\""
            + port.m_strVidPid.substr(colon + 1) + "\"";
    lines.push_back("A udev rule gives group " + Quoted(group) + " access: as root, put this line into "
        "/etc/udev/rules.d/70-serial-port.rules:");
    lines.push_back("    SUBSYSTEM==\"tty\", " + match + ", GROUP=\"" + group + "\", MODE=\"0660\"");
    lines.push_back("then run 'sudo udevadm control --reload-rules' and 'sudo udevadm trigger' (or plug the device "
        "in again).");
    bool groupInProcess = false;
    if (!InGroup(group, groupInProcess))
        lines.push_back("Join group " + Quoted(group) + " too: sudo usermod -aG " + group
            + " $USER, then log out and in again.");
    return lines;
}

std::vector<std::string> CPortDoctor::BusyAdvice(const std::string& node, bool exclusiveOpen) const
{
    const std::vector<CPortHolder> all = Holders(node);
    std::vector<CPortHolder> holders, openers;
    for (const CPortHolder& holder : all)
        (holder.m_bLock || holder.m_bLockFile ? holders : openers).push_back(holder);
    // An open refused for exclusive use (TIOCEXCL) names no process; with one process having it
    // open, that one asked for it.
    const bool exclusiveHolder = exclusiveOpen && holders.empty() && openers.size() == 1;
    if (exclusiveHolder) {
        holders = openers;
        openers.clear();
    }
    std::vector<std::string> lines;
    for (const CPortHolder& holder : holders) {
        const std::string who = "process " + std::to_string(holder.m_nPid) + " (" + holder.m_strName + ")";
        const std::string how = holder.m_bLock ? ", which holds its lock" : exclusiveHolder ? ", which opened it for "
            "its own use alone (TIOCEXCL)" : "";
        if (holder.m_bSelf)
            lines.push_back("This program itself holds it (" + who + "): close the port here first.");
        else if (holder.m_bLockFile && !holder.m_bLock)
            lines.push_back("The lock file " + m_roots.m_strLock + "/LCK.." + fs::path(node).filename().string() + " names "
                + who + ".");
        else
            lines.push_back("It is held by " + who + how + ": close that program, or end it with 'kill "
                + std::to_string(holder.m_nPid) + "'.");
    }
    if (holders.empty())
        lines.push_back("Another program holds it (its process is not visible to this user; 'sudo fuser -v " + node
            + "' shows it).");
    for (const CPortHolder& opener : openers)
        if (!opener.m_bSelf)
            lines.push_back("Also open in process " + std::to_string(opener.m_nPid) + " (" + opener.m_strName
                + "), which holds no lock.");
    return lines;
}

std::vector<std::string> CPortDoctor::MissingAdvice() const
{
    const std::vector<CComPortInfo> ports = ProbeComPorts(m_roots);
    if (ports.empty())
        return {"No serial port is present now: check the cable, or plug the adapter in."};
    std::vector<std::string> lines{"The serial ports present now:"};
    for (const CComPortInfo& port : ports) {
        // The name to type follows in brackets unless the label already starts with it.
        const std::string label = ComPortLabel(port);
        const bool named = label.rfind(port.m_strName, 0) == 0 &&
            (label.size() == port.m_strName.size() || label[port.m_strName.size()] == ' ');
        lines.push_back("    " + label + (named ? std::string() : "  [" + port.m_strName + "]"));
    }
    return lines;
}

std::vector<std::string> CPortDoctor::Advise(const std::string& device, std::error_code openError) const
{
    if (CRemotePortName::IsRemote(device))
        return RemoteAdvice(device, openError);
    const std::string node = Resolve(device);
    const std::string kernel = fs::path(node).filename().string();
    std::vector<std::string> lines;
    auto add = [&lines](const std::vector<std::string>& more) { lines.insert(lines.end(), more.begin(), more.end()); };
    const bool noUart = HasNoUart(kernel);
    if (noUart)
        lines.push_back(kernel + " has no UART behind it: this machine has no such serial port (use another port, "
            "or a USB adapter).");
    if (openError.category() == std::system_category()) {
        switch (openError.value()) {
        case EACCES:
        case EPERM: add(PermissionAdvice(node)); break;
        case EBUSY:
        case EWOULDBLOCK: add(BusyAdvice(node, true)); break;
        case ENOTTY:
            lines.push_back(node + " is not a serial port: name a terminal device such as /dev/ttyUSB0.");
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            if (!noUart)
                add(MissingAdvice());
            break;
        default: break;
        }
    }
    if (ModemManagerMayProbe(node))
        lines.push_back("ModemManager runs and may be probing this device, which was plugged in just now: wait a few "
            "seconds and try again (a udev rule with ENV{ID_MM_DEVICE_IGNORE}=\"1\" makes it leave the device alone).");
    return lines;
}

std::string CPortDoctor::AccessText(const std::string& device) const
{
    const std::string node = Resolve(device);
    CNodeStatus info;
    if (!NodeStatus(node, info))
        return "missing";
    std::string text = ModeText(info) + " " + OwnerName(info.m_nUid) + ":" + GroupName(info.m_nGid);
    const bool inGroup = std::find(m_user.m_processGroups.begin(), m_user.m_processGroups.end(), info.m_nGid)
        != m_user.m_processGroups.end();
    if (m_user.m_nUid == 0)
        text += ", you are root";
    else if (info.m_nUid == m_user.m_nUid)
        text += ", you own it";
    else if (inGroup)
        text += ", you are in its group";
    else if (Allows(info, fs::perms::others_write))
        text += ", anyone may use it";
    else
        text += ", you are not in its group";
    return text;
}

CPortDoctor::CReport CPortDoctor::Check(const std::string& portName) const
{
    CReport report;
    report.m_strDevice = SerialDevicePath(portName, m_roots.m_strDev);
    const std::string node = Resolve(report.m_strDevice);
    const std::string kernel = fs::path(node).filename().string();
    auto check = [&report](EMark mark, const std::string& text) { report.m_checks.push_back({mark, text}); };
    auto advise = [&](const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            check(EMark::Info, line);
    };

    CComPortInfo info;
    const bool known = ReadComPortIdentity(kernel, m_roots, info);
    const std::string label = known ? ComPortLabel(info) : std::string();
    check(EMark::Info, "Port " + portName + (node != portName ? " = " + node : std::string())
        + (label.empty() || label == portName ? std::string() : ": " + label));
    if (known && !info.m_strVidPid.empty())
        check(EMark::Info, "USB " + info.m_strVidPid + (info.m_strDriver.empty() ? "" : ", driver " + info.m_strDriver));
    if (!info.m_strById.empty() && info.m_strById != portName)
        check(EMark::Info, "Stable name: " + info.m_strById);

    CNodeStatus status;
    if (!NodeStatus(node, status)) {
        check(EMark::Fail, report.m_strDevice + " does not exist.");
        advise(MissingAdvice());
        report.m_eProblem = EPortProblem::Missing;
        return report;
    }
    check(EMark::Ok, node + " exists (" + AccessText(node) + ").");

    const CTryOut tried = TryPort(node, kernel.rfind("ttyS", 0) == 0);
    if (tried.m_nOpenError != 0) {
        const int error = tried.m_nOpenError;
        check(EMark::Fail, "It cannot be opened: " + std::string(std::strerror(error)) + ".");
        advise(Advise(node, {error, std::system_category()}));
        // The node exists: a missing device behind it (ENXIO, ENODEV) is not a missing port.
        report.m_eProblem = error == EACCES || error == EPERM ? EPortProblem::NoPermission
            : error == EBUSY                                ? EPortProblem::Busy
            : HasNoUart(kernel)                             ? EPortProblem::NoUart
            : error == ENOENT                               ? EPortProblem::Missing
            : error == ENOTTY                               ? EPortProblem::NotSerial
                                                            : EPortProblem::OtherFailure;
        return report;
    }
    const int terminalError = tried.m_nTerminalError;
    const bool locked = tried.m_bLocked;
    if (tried.m_bUnknownUart || HasNoUart(kernel)) {
        check(EMark::Fail, kernel + " has no UART behind it: this machine has no such serial port.");
        report.m_eProblem = EPortProblem::NoUart;
        return report;
    }
    if (terminalError != 0) {
        check(EMark::Fail, "It is not a serial port: "
            + (status.m_bRegular ? std::string("a regular file")
                    : status.m_bCharDevice ? "it opens, but is no terminal device (" + std::string(std::strerror(terminalError)) + ")"
                                                : std::string("not a device"))
            + ".");
        report.m_eProblem = EPortProblem::NotSerial;
        return report;
    }
    if (!locked) {
        check(EMark::Fail, "It opens, but another program holds its lock.");
        advise(BusyAdvice(node, false));
        report.m_eProblem = EPortProblem::Busy;
        return report;
    }
    check(EMark::Ok, "It opens and locks: the port can be used.");
    for (const CPortHolder& holder : Holders(node))
        if (!holder.m_bSelf && !holder.m_bLockFile)
            check(EMark::Info, "Also open in process " + std::to_string(holder.m_nPid) + " (" + holder.m_strName
                + "): both would read what the board sends.");
    if (ModemManagerMayProbe(node))
        check(EMark::Info, "ModemManager runs and may be probing this new device for a few seconds.");
    return report;
}
