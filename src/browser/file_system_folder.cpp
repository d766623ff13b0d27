#include "browser/file_system_folder.h"

#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

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
    DIR* dir = ::opendir(m_strPath.c_str());
    if (dir == nullptr)
        return std::error_code(errno, std::system_category());
    const bool wantFolders = (contentFlags & SHCONTF_FOLDERS) != 0;
    const bool wantFiles = (contentFlags & SHCONTF_NONFOLDERS) != 0;
    const bool wantHidden = (contentFlags & SHCONTF_INCLUDEHIDDEN) != 0;
    std::error_code result;
    while (true) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                result = std::error_code(errno, std::system_category());
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!wantHidden && IsHiddenName(name))
            continue;
        if (!(wantFolders && wantFiles)) {
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                const std::string path = ChildPath(CPidl::FileEntry(name));
                isFolder = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            if (isFolder ? !wantFolders : !wantFiles)
                continue;
        }
        CPidl child = CPidl::FileEntry(name);
        if (child.IsNull())
            continue;
        if (!onItem(std::move(child)))
            break;
    }
    ::closedir(dir);
    return result;
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
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) != 0)
        return;
    identity = CFileIdentity{lst.st_dev, lst.st_ino, true};
    struct stat st = lst;
    if (S_ISLNK(lst.st_mode)) {
        attributes |= SFGAO_LINK;
        if (::stat(path.c_str(), &st) != 0)
            st = lst;
    }
    if (S_ISDIR(st.st_mode))
        attributes |= SFGAO_FOLDER;
    if ((mask & SFGAO_GHOST) != 0 && IsHiddenName(std::string(NameOf(child))))
        attributes |= SFGAO_GHOST;
    if ((mask & SFGAO_HASSUBFOLDER) != 0 && (attributes & SFGAO_FOLDER) != 0 && HasSubFolder(path))
        attributes |= SFGAO_HASSUBFOLDER;
    attributes &= mask;
}

CFileIdentity CFileSystemFolder::GetIdentityOf(const CPidl& child)
{
    struct stat st {};
    if (::lstat(ChildPath(child).c_str(), &st) != 0)
        return {};
    return CFileIdentity{st.st_dev, st.st_ino, true};
}

std::shared_ptr<IShellFolder> CFileSystemFolder::BindToObject(const CPidl& child)
{
    if (NameOf(child).empty())
        return shared_from_this();
    return std::make_shared<CFileSystemFolder>(ChildPath(child));
}

bool HasSubFolder(const std::string& path)
{
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (entry->d_type == DT_DIR) {
            found = true;
            break;
        }
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            if (::stat((path + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                found = true;
                break;
            }
        }
    }
    ::closedir(dir);
    return found;
}
