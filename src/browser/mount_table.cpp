#include "browser/mount_table.h"

namespace {

bool IsPrefixPath(const std::string& mountPoint, const std::string& path)
{
    if (mountPoint == "/")
        return !path.empty() && path.front() == '/';
    if (path.compare(0, mountPoint.size(), mountPoint) != 0)
        return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

} // namespace

CMountTable::CMountTable(std::vector<CMountEntry> entries, std::string sysRoot)
    : m_entries(std::move(entries)), m_strSysRoot(std::move(sysRoot))
{
}

const CMountEntry* CMountTable::FindMount(const std::string& path) const
{
    const CMountEntry* best = nullptr;
    for (const CMountEntry& entry : m_entries) {
        if (!IsPrefixPath(entry.m_strMountPoint, path))
            continue;
        if (best == nullptr || entry.m_strMountPoint.size() >= best->m_strMountPoint.size())
            best = &entry;
    }
    return best;
}

int CMountTable::DriveTypeOf(const std::string& path) const
{
    if (path.empty() || path.front() != '/')
        return kDriveNoRootDir;
    const CMountEntry* mount = FindMount(path);
    if (mount == nullptr)
        return kDriveUnknown;
    return DriveTypeOf(*mount);
}
