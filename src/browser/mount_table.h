#pragma once
// CMountTable: the mounts of the system from a mountinfo file (/proc/self/mountinfo by default;
// tests give their own) and the drive type of a path: the type of the mount that holds it, from
// its file-system type, its source device and /sys/block/<disk>/removable. Plain data; Load
// reads files and may block on a hung mount, so the browser calls it from its listing worker.
// Where the mounts come from and how a mount's drive type is learnt are the system's own
// (mountinfo and /sys on Linux): mount_table_linux.cpp; finding a path's mount is shared.

#include <string>
#include <string_view>
#include <vector>

// Drive types, with the numbers of the desktop's drive-type query.
constexpr int kDriveUnknown = 0;
constexpr int kDriveNoRootDir = 1;
constexpr int kDriveRemovable = 2;
constexpr int kDriveFixed = 3;
constexpr int kDriveRemote = 4;
constexpr int kDriveCdRom = 5;
constexpr int kDriveRamDisk = 6;

struct CMountEntry {
    std::string m_strMountPoint;
    std::string m_strFsType;
    std::string m_strSource;
};

class CMountTable {
public:
    static constexpr const char* kDefaultMountInfo = "/proc/self/mountinfo";
    static constexpr const char* kDefaultSysRoot = "/sys";

    CMountTable() = default;
    explicit CMountTable(std::vector<CMountEntry> entries, std::string sysRoot = kDefaultSysRoot);
    // An unreadable file gives an empty table (every path then has kDriveUnknown).
    static CMountTable Load(const std::string& mountInfoPath = kDefaultMountInfo,
                            const std::string& sysRoot = kDefaultSysRoot);
    static std::vector<CMountEntry> Parse(std::string_view text);

    const std::vector<CMountEntry>& Entries() const { return m_entries; }
    // The mount holding path (the longest mount point that is a path prefix); null if none. A
    // later mount on the same point hides an earlier one.
    const CMountEntry* FindMount(const std::string& path) const;
    int DriveTypeOf(const std::string& path) const;
    int DriveTypeOf(const CMountEntry& mount) const;

private:
    bool IsRemovableDevice(const std::string& source) const;
    std::vector<CMountEntry> m_entries;
    std::string m_strSysRoot = kDefaultSysRoot;
};
