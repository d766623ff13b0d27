#include "browser/file_system_folder.h"

#include "browser/file_system.h"

#include <fstream>

namespace {

std::string_view NameOf(const CPidl& child)
{
    return PidlFileName(PidlLastEntry(child));
}

} // namespace

CFileSystemFolder::CFileSystemFolder(std::string path) : m_strPath(std::move(path)) {}

std::string CFileSystemFolder::ChildPath(const CPidl& child) const
{
    const std::string_view name = NameOf(child);
    if (name.empty())
        return m_strPath;
    std::string path = m_strPath;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

bool CFileSystemFolder::IsHiddenName(const std::string& name)
{
    if (!name.empty() && name.front() == '.')
        return true;
    std::call_once(m_hiddenOnce, [this] {
        std::ifstream in(ChildPath(CPidl::FileEntry(".hidden")));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                m_hidden.insert(line);
        }
    });
    return m_hidden.count(name) != 0;
}

std::error_code CFileSystemFolder::EnumObjects(unsigned contentFlags,
                                               const std::function<bool(CPidl&&)>& onItem)
{
    const bool wantFolders = (contentFlags & SHCONTF_FOLDERS) != 0;
    const bool wantFiles = (contentFlags & SHCONTF_NONFOLDERS) != 0;
    const bool wantHidden = (contentFlags & SHCONTF_INCLUDEHIDDEN) != 0;
    return file_system::ListFolder(m_strPath, [&](std::string&& name, file_system::EKind kind) {
        if (!wantHidden && IsHiddenName(name))
            return true;
        if (!(wantFolders && wantFiles)) {
            bool isFolder = kind == file_system::EKind::Directory;
            if (kind == file_system::EKind::Link || kind == file_system::EKind::Unknown)
                isFolder = file_system::IsDirectory(ChildPath(CPidl::FileEntry(name)));
            if (isFolder ? !wantFolders : !wantFiles)
                return true;
        }
        CPidl child = CPidl::FileEntry(name);
        if (child.IsNull())
            return true;
        return onItem(std::move(child));
    });
}

std::string CFileSystemFolder::GetDisplayNameOf(const CPidl& child)
{
    const std::string_view name = NameOf(child);
    if (!name.empty())
        return std::string(name);
    const std::size_t slash = m_strPath.find_last_of('/');
    if (slash == std::string::npos || m_strPath == "/")
        return m_strPath;
    return m_strPath.substr(slash + 1);
}

std::uint32_t CFileSystemFolder::GetAttributesOf(const CPidl& child, std::uint32_t mask)
{
    std::uint32_t attributes = 0;
    CFileIdentity identity;
    DescribeChild(child, mask, attributes, identity);
    return attributes;
}

void CFileSystemFolder::DescribeChild(const CPidl& child, std::uint32_t mask, std::uint32_t& attributes,
                                      CFileIdentity& identity)
{
    attributes = 0;
    identity = {};
    const std::string path = ChildPath(child);
    file_system::CStatus lst;
    if (file_system::LinkStatus(path, lst))
        return;
    identity = CFileIdentity{lst.m_nDevice, lst.m_nInode, true};
    file_system::CStatus st = lst;
    if (lst.m_kind == file_system::EKind::Link) {
        attributes |= SFGAO_LINK;
        if (file_system::Status(path, st))
            st = lst;
    }
    if (st.m_kind == file_system::EKind::Directory)
        attributes |= SFGAO_FOLDER;
    if ((mask & SFGAO_GHOST) != 0 && IsHiddenName(std::string(NameOf(child))))
        attributes |= SFGAO_GHOST;
    if ((mask & SFGAO_HASSUBFOLDER) != 0 && (attributes & SFGAO_FOLDER) != 0 && HasSubFolder(path))
        attributes |= SFGAO_HASSUBFOLDER;
    attributes &= mask;
}

CFileIdentity CFileSystemFolder::GetIdentityOf(const CPidl& child)
{
    file_system::CStatus st;
    if (file_system::LinkStatus(ChildPath(child), st))
        return {};
    return CFileIdentity{st.m_nDevice, st.m_nInode, true};
}

std::shared_ptr<IShellFolder> CFileSystemFolder::BindToObject(const CPidl& child)
{
    if (NameOf(child).empty())
        return shared_from_this();
    return std::make_shared<CFileSystemFolder>(ChildPath(child));
}

bool HasSubFolder(const std::string& path)
{
    bool found = false;
    file_system::ListFolder(path, [&](std::string&& name, file_system::EKind kind) {
        found = kind == file_system::EKind::Directory ||
                ((kind == file_system::EKind::Link || kind == file_system::EKind::Unknown) &&
                 file_system::IsDirectory(path + "/" + name));
        return !found;
    });
    return found;
}
