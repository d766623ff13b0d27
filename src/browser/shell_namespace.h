#pragma once
// The browser's namespace operations that need no window: describing and ordering listed items,
// listing the children of an item (what the lazy tree's worker runs), the expand-button rules,
// and the path of shown names that "LastBrowse" keeps. EnumerateChildren may block on a slow
// mount: run it on a worker. Everything else is cheap and safe on any thread.

#include "browser/loading_progress.h"
#include "browser/mount_table.h"
#include "browser/shell_folder.h"

#include <string>
#include <vector>

// The desktop's own item: the empty list, the desktop's name, a folder.
ShellItemData MakeRootItem(const std::shared_ptr<IShellFolder>& desktop, unsigned flags);

// A child that folder listed under parentPidl: name, attributes and identity read now.
ShellItemData DescribeShellItem(const std::shared_ptr<IShellFolder>& folder, const CPidl& parentPidl,
                             const CPidl& child, unsigned flags);

// Order of two children of one folder, by that folder's own order: -1, 0 or 1.
int CompareShellItems(const ShellItemData& a, const ShellItemData& b);

// Whether an item shows an expand button before it has been listed: every folder when files are
// shown; otherwise a removable volume, or a folder with sub-folders.
int ShellItemChildren(const ShellItemData& item);

struct CFolderListing {
    // False when the folder could not be bound or gave no enumerator.
    bool m_bListed = false;
    std::error_code m_error;
    bool m_bCancelled = false;
    // 1: the expand button shall show whether children were found; 0: it stays (a volume that
    // is not fixed may change at any time).
    int m_nPopulate = 1;
    // Sorted in the folder's order.
    std::vector<ShellItemData> m_items;
};

struct CMountSource {
    std::string m_strMountInfo = CMountTable::kDefaultMountInfo;
    std::string m_strSysRoot = CMountTable::kDefaultSysRoot;
};

// Lists the children of parent: files when its flags say so, hidden ones when they say so,
// reporting progress (no total while listing, then 1 of 1) and stopping when cancelled.
CFolderListing EnumerateChildren(const ShellItemData& parent, CLoadingProgress& progress,
                                 const CMountSource& mounts = {});

// "LastBrowse" paths: shown names from the desktop down, joined by a separator. Splitting skips
// empty names, as a tokenizer does; names compare without regard to ASCII case.
std::vector<std::string> SplitBrowsePath(const std::string& path, const std::string& separators);
std::string JoinBrowsePath(const std::vector<std::string>& names, char separator);
bool BrowseNamesEqual(const std::string& a, const std::string& b);
// The first of the names (in their order) equal to name; -1 when none is.
int FindBrowseName(const std::vector<std::string>& names, const std::string& name);

// The chain of items, from the root down, that selecting path reaches: each name is looked up
// among the children of the item before (listing it), and the deepest match ends the chain.
// Empty when the first name is not the root's.
std::vector<ShellItemData> FindBrowsePath(const ShellItemData& root, const std::string& path,
                                       const std::string& separators,
                                       const CMountSource& mounts = {});
