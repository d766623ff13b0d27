#include "browser/desktop_folder.h"

#include "browser/file_system.h"
#include "browser/file_system_folder.h"

#include <cstdlib>
#include <fstream>

namespace {

constexpr const char* kVolumeRoots[] = {"/media/", "/run/media/", "/mnt/"};

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The value of XDG_DESKTOP_DIR in user-dirs.dirs, with $HOME expanded; empty when absent.
std::string ReadXdgDesktopDir(const std::string& home)
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const std::string dir = (configHome != nullptr && *configHome != 0) ? std::string(configHome)
                                                                         : home + "/.config";
    std::ifstream in(dir + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        return value;
    }
    return {};
}

} // namespace

CPlacesConfig CPlacesConfig::FromEnvironment()
{
    CPlacesConfig config;
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != 0) {
        config.m_strHome = home;
    } else {
        config.m_strHome = file_system::UserHomeFolder();
    }
    config.m_strDesktopDir = ReadXdgDesktopDir(config.m_strHome);
    if (config.m_strDesktopDir.empty() && !config.m_strHome.empty())
        config.m_strDesktopDir = config.m_strHome + "/Desktop";
    return config;
}

CDesktopFolder::CDesktopFolder(CPlacesConfig config) : m_config(std::move(config)) {}

std::error_code CDesktopFolder::EnumObjects(unsigned contentFlags,
                                            const std::function<bool(CPidl&&)>& onItem)
{
    // Places are folders: a listing without folders has none.
    if ((contentFlags & SHCONTF_FOLDERS) == 0)
        return {};
    std::vector<CPidl> places;
    if (file_system::IsDirectory(m_config.m_strHome))
        places.push_back(CPidl::PlaceEntry(EPlaceType::Home, kDriveUnknown, m_config.m_strHome));
    if (file_system::IsDirectory(m_config.m_strDesktopDir) && m_config.m_strDesktopDir != m_config.m_strHome)
        places.push_back(CPidl::PlaceEntry(EPlaceType::Desktop, kDriveUnknown, m_config.m_strDesktopDir));
    places.push_back(CPidl::PlaceEntry(EPlaceType::FileSystem, kDriveFixed, "/"));
    const CMountTable mounts = CMountTable::Load(m_config.m_strMountInfo, m_config.m_strSysRoot);
    std::vector<std::string> seen;
    for (const CMountEntry& mount : mounts.Entries()) {
        const std::string& point = mount.m_strMountPoint;
        bool below = false;
        for (const char* root : kVolumeRoots) {
            const std::string prefix = root;
            below = below || (point.size() > prefix.size() && point.compare(0, prefix.size(), prefix) == 0);
        }
        bool known = false;
        for (const std::string& s : seen)
            known = known || s == point;
        if (!below || known)
            continue;
        seen.push_back(point);
        places.push_back(CPidl::PlaceEntry(EPlaceType::Volume, mounts.DriveTypeOf(mount), point));
    }
    for (CPidl& place : places) {
        if (place.IsNull())
            continue;
        if (!onItem(std::move(place)))
            break;
    }
    return {};
}

std::string CDesktopFolder::GetDisplayNameOf(const CPidl& child)
{
    const std::string_view entry = PidlLastEntry(child);
    if (entry.empty())
        return kDisplayName;
    switch (PidlPlaceType(entry)) {
    case EPlaceType::Home:
        return "Home";
    case EPlaceType::Desktop:
        return "Desktop";
    case EPlaceType::FileSystem:
        return "File System";
    case EPlaceType::Volume:
        return BaseName(std::string(PidlPlacePath(entry)));
    }
    return {};
}

std::uint32_t CDesktopFolder::GetAttributesOf(const CPidl& child, std::uint32_t mask)
{
    const std::string_view entry = PidlLastEntry(child);
    std::uint32_t attributes = SFGAO_FOLDER;
    if (!entry.empty()) {
        const int type = PidlPlaceDriveType(entry);
        if (PidlPlaceType(entry) == EPlaceType::Volume && type != kDriveFixed)
            attributes |= SFGAO_REMOVABLE;
        if ((mask & SFGAO_HASSUBFOLDER) != 0 && HasSubFolder(std::string(PidlPlacePath(entry))))
            attributes |= SFGAO_HASSUBFOLDER;
    } else {
        attributes |= SFGAO_HASSUBFOLDER;
    }
    return attributes & mask;
}

CFileIdentity CDesktopFolder::GetIdentityOf(const CPidl& child)
{
    const std::string_view entry = PidlLastEntry(child);
    file_system::CStatus st;
    if (entry.empty() || file_system::LinkStatus(std::string(PidlPlacePath(entry)), st))
        return {};
    return CFileIdentity{st.m_nDevice, st.m_nInode, true};
}

std::shared_ptr<IShellFolder> CDesktopFolder::BindToObject(const CPidl& child)
{
    const std::string_view entry = PidlLastEntry(child);
    if (entry.empty())
        return shared_from_this();
    const std::string path(PidlPlacePath(entry));
    if (path.empty())
        return nullptr;
    return std::make_shared<CFileSystemFolder>(path);
}

int CDesktopFolder::CompareItems(const ShellItemData& a, const ShellItemData& b)
{
    const auto rankA = static_cast<int>(PidlPlaceType(PidlLastEntry(a.m_pidl)));
    const auto rankB = static_cast<int>(PidlPlaceType(PidlLastEntry(b.m_pidl)));
    if (rankA != rankB)
        return rankA < rankB ? -1 : 1;
    return CompareNamesNatural(a.m_strName, b.m_strName);
}
