#include "browser/shell_namespace.h"

#include <algorithm>

ShellItemData MakeRootItem(const std::shared_ptr<IShellFolder>& desktop, unsigned flags)
{
    ShellItemData item;
    item.m_pFolder = desktop;
    item.m_pidl = CPidl::Empty();
    item.m_nFlags = flags;
    if (desktop) {
        item.m_strName = desktop->GetDisplayNameOf(item.m_pidl);
        item.m_nAttributes = SFGAO_FOLDER;
    }
    return item;
}

ShellItemData DescribeShellItem(const std::shared_ptr<IShellFolder>& folder, const CPidl& parentPidl,
                             const CPidl& child, unsigned flags)
{
    ShellItemData item;
    item.m_pFolder = folder;
    item.m_pidl = CPidl::Concat(parentPidl, child);
    item.m_nFlags = flags & 0xF;
    item.m_strName = folder->GetDisplayNameOf(child);
    std::uint32_t mask = SFGAO_GHOST | SFGAO_LINK | SFGAO_SHARE | SFGAO_FOLDER | SFGAO_REMOVABLE;
    if ((flags & SHELLTREE_FILES) == 0)
        mask |= SFGAO_HASSUBFOLDER;
    folder->DescribeChild(child, mask, item.m_nAttributes, item.m_identity);
    return item;
}

int CompareShellItems(const ShellItemData& a, const ShellItemData& b)
{
    if (!b.m_pFolder)
        return 0;
    const int r = b.m_pFolder->CompareItems(a, b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int ShellItemChildren(const ShellItemData& item)
{
    if (!item.IsFolder())
        return 0;
    if ((item.m_nFlags & SHELLTREE_FILES) != 0)
        return 1;
    if ((item.m_nAttributes & SFGAO_REMOVABLE) != 0)
        return 1;
    return (item.m_nAttributes & SFGAO_HASSUBFOLDER) != 0 ? 1 : 0;
}

CFolderListing EnumerateChildren(const ShellItemData& parent, CLoadingProgress& progress,
                                 const CMountSource& mounts)
{
    CFolderListing listing;
    if (!parent.m_pFolder || parent.m_pidl.IsNull())
        return listing;
    std::shared_ptr<IShellFolder> folder = parent.m_pidl.IsEmpty()
                                               ? parent.m_pFolder
                                               : parent.m_pFolder->BindToObject(parent.m_pidl.Last());
    if (!folder) {
        // A folder that cannot be bound loses its expand button.
        return listing;
    }
    const unsigned contentFlags = SHCONTF_FOLDERS | ((parent.m_nFlags & 3u) << 6);
    progress.SetLoadingProgress(0, 0);
    listing.m_error = folder->EnumObjects(contentFlags, [&](CPidl&& child) {
        if (progress.IsCancelled())
            return false;
        listing.m_items.push_back(DescribeShellItem(folder, parent.m_pidl, child, parent.m_nFlags));
        progress.AddLoadingProgress(1);
        return true;
    });
    listing.m_bCancelled = progress.IsCancelled();
    listing.m_bListed = !listing.m_error || !listing.m_items.empty();
    if (listing.m_bCancelled) {
        listing.m_items.clear();
        return listing;
    }
    std::stable_sort(listing.m_items.begin(), listing.m_items.end(),
                     [](const ShellItemData& a, const ShellItemData& b) { return CompareShellItems(a, b) < 0; });
    progress.SetLoadingProgress(1, 1);

    // A volume that is not fixed keeps its expand button whatever was found.
    const std::string path = GetPidlPath(parent.m_pidl);
    if (!path.empty()) {
        const CMountTable table = CMountTable::Load(mounts.m_strMountInfo, mounts.m_strSysRoot);
        if (table.DriveTypeOf(path) != kDriveFixed)
            listing.m_nPopulate = 0;
    }
    return listing;
}

std::vector<std::string> SplitBrowsePath(const std::string& path, const std::string& separators)
{
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t start = path.find_first_not_of(separators, pos);
        if (start == std::string::npos)
            break;
        std::size_t end = path.find_first_of(separators, start);
        if (end == std::string::npos)
            end = path.size();
        names.push_back(path.substr(start, end - start));
        pos = end;
    }
    return names;
}

std::string JoinBrowsePath(const std::vector<std::string>& names, char separator)
{
    std::string path;
    for (const std::string& name : names) {
        if (!path.empty())
            path += separator;
        path += name;
    }
    return path;
}

bool BrowseNamesEqual(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

int FindBrowseName(const std::vector<std::string>& names, const std::string& name)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (BrowseNamesEqual(names[i], name))
            return static_cast<int>(i);
    }
    return -1;
}

std::vector<ShellItemData> FindBrowsePath(const ShellItemData& root, const std::string& path,
                                       const std::string& separators, const CMountSource& mounts)
{
    std::vector<ShellItemData> chain;
    const std::vector<std::string> names = SplitBrowsePath(path, separators);
    if (names.empty() || !BrowseNamesEqual(root.m_strName, names.front()))
        return chain;
    chain.push_back(root);
    for (std::size_t level = 1; level < names.size(); ++level) {
        const ShellItemData& current = chain.back();
        if (ShellItemChildren(current) == 0)
            break;
        CLoadingProgress progress;
        CFolderListing listing = EnumerateChildren(current, progress, mounts);
        std::vector<std::string> shown;
        for (const ShellItemData& child : listing.m_items)
            shown.push_back(child.m_strName);
        const int index = FindBrowseName(shown, names[level]);
        if (index < 0)
            break;
        chain.push_back(std::move(listing.m_items[static_cast<std::size_t>(index)]));
    }
    return chain;
}
