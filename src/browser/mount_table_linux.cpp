#include "browser/mount_table.h"

#include "browser/file_system.h"

#include <array>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            bool octal = digits.size() == 3;
            int value = 0;
            for (char c : digits) {
                if (c < '0' || c > '7') {
                    octal = false;
                    break;
                }
                value = value * 8 + (c - '0');
            }
            if (octal) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        std::size_t end = pos;
        while (end < line.size() && line[end] != ' ')
            ++end;
        if (end > pos)
            fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

bool ReadFirstChar(const std::string& path, char& c)
{
    std::ifstream in(path);
    return static_cast<bool>(in.get(c));
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

CMountTable CMountTable::Load(const std::string& mountInfoPath, const std::string& sysRoot)
{
    std::ifstream in(mountInfoPath);
    if (!in)
        return CMountTable({}, sysRoot);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return CMountTable(Parse(text), sysRoot);
}

std::vector<CMountEntry> CMountTable::Parse(std::string_view text)
{
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    std::vector<CMountEntry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::vector<std::string_view> fields = SplitFields(text.substr(pos, end - pos));
        pos = end + 1;
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (fields.size() < 6 || dash + 2 >= fields.size())
            continue;
        CMountEntry entry;
        entry.m_strMountPoint = Unescape(fields[4]);
        entry.m_strFsType = Unescape(fields[dash + 1]);
        entry.m_strSource = Unescape(fields[dash + 2]);
        entries.push_back(std::move(entry));
    }
    return entries;
}

int CMountTable::DriveTypeOf(const CMountEntry& mount) const
{
    static constexpr std::array<std::string_view, 16> kRemote = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs",
        "lustre", "davfs", "fuse.sshfs", "sshfs", "fuse.davfs", "fuse.rclone"};
    static constexpr std::array<std::string_view, 3> kRam = {"tmpfs", "ramfs", "devtmpfs"};
    static constexpr std::array<std::string_view, 2> kOptical = {"iso9660", "udf"};
    const std::string& fs = mount.m_strFsType;
    for (std::string_view t : kRemote) {
        if (fs == t)
            return kDriveRemote;
    }
    // "server:/export" and "//server/share" sources are network mounts whatever the type says.
    if (StartsWith(mount.m_strSource, "//") ||
        (mount.m_strSource.find(":/") != std::string::npos && !StartsWith(mount.m_strSource, "/")))
        return kDriveRemote;
    for (std::string_view t : kRam) {
        if (fs == t)
            return kDriveRamDisk;
    }
    const std::string device = mount.m_strSource.substr(mount.m_strSource.rfind('/') + 1);
    if (StartsWith(mount.m_strSource, "/dev/sr") || StartsWith(mount.m_strSource, "/dev/cdrom"))
        return kDriveCdRom;
    for (std::string_view t : kOptical) {
        if (fs == t)
            return kDriveCdRom;
    }
    if (StartsWith(mount.m_strSource, "/dev/") && IsRemovableDevice(device))
        return kDriveRemovable;
    return kDriveFixed;
}

bool CMountTable::IsRemovableDevice(const std::string& device) const
{
    if (device.empty())
        return false;
    const std::string blockRoot = m_strSysRoot + "/block/";
    char flag = '0';
    if (ReadFirstChar(blockRoot + device + "/removable", flag))
        return flag == '1';
    // A partition: its disk is the block device whose folder holds a folder of that name.
    std::string disk = device;
    while (!disk.empty()) {
        disk.pop_back();
        if (file_system::Exists(blockRoot + disk + "/" + device))
            return ReadFirstChar(blockRoot + disk + "/removable", flag) && flag == '1';
    }
    return false;
}
