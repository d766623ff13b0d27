#pragma once
// CFileSystemFolder: one directory of the file system as a namespace folder. Children are
// one-entry lists holding a file name. Hidden = a name starting with a dot or listed in the
// folder's ".hidden" (read once, guarded); link = symbolic link; folder = a directory, links
// followed. Safe to use from several threads at once.

#include "browser/shell_folder.h"

#include <mutex>
#include <set>

class CFileSystemFolder : public IShellFolder, public std::enable_shared_from_this<CFileSystemFolder> {
public:
    explicit CFileSystemFolder(std::string path);

    const std::string& Path() const { return m_strPath; }
    std::string ChildPath(const CPidl& child) const;

    std::error_code EnumObjects(unsigned contentFlags,
                                const std::function<bool(CPidl&&)>& onItem) override;
    std::string GetDisplayNameOf(const CPidl& child) override;
    std::uint32_t GetAttributesOf(const CPidl& child, std::uint32_t mask) override;
    CFileIdentity GetIdentityOf(const CPidl& child) override;
    void DescribeChild(const CPidl& child, std::uint32_t mask, std::uint32_t& attributes,
                       CFileIdentity& identity) override;
    std::shared_ptr<IShellFolder> BindToObject(const CPidl& child) override;

private:
    bool IsHiddenName(const std::string& name);
    const std::string m_strPath;
    std::once_flag m_hiddenOnce;
    std::set<std::string> m_hidden;
};

// Whether the folder at path holds at least one sub-folder (links to folders count).
bool HasSubFolder(const std::string& path);
