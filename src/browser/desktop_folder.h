#pragma once
// CDesktopFolder: the namespace root "Desktop". Its children are the places: Home, Desktop (when
// that folder exists and is not Home itself), File System ("/") and each volume mounted below
// /media, /run/media or /mnt, with its drive type. The place entries carry their path, so a
// list names its file-system path without asking the desktop again. Immutable; any thread.

#include "browser/mount_table.h"
#include "browser/shell_folder.h"

struct CPlacesConfig {
    std::string m_strHome;
    std::string m_strDesktopDir;
    std::string m_strMountInfo = CMountTable::kDefaultMountInfo;
    std::string m_strSysRoot = CMountTable::kDefaultSysRoot;

    // HOME (or the password database), XDG_DESKTOP_DIR from user-dirs.dirs (or ~/Desktop).
    static CPlacesConfig FromEnvironment();
};

class CDesktopFolder : public IShellFolder, public std::enable_shared_from_this<CDesktopFolder> {
public:
    static constexpr const char* kDisplayName = "Desktop";

    explicit CDesktopFolder(CPlacesConfig config);
    const CPlacesConfig& Config() const { return m_config; }

    std::error_code EnumObjects(unsigned contentFlags,
                                const std::function<bool(CPidl&&)>& onItem) override;
    std::string GetDisplayNameOf(const CPidl& child) override;
    std::uint32_t GetAttributesOf(const CPidl& child, std::uint32_t mask) override;
    CFileIdentity GetIdentityOf(const CPidl& child) override;
    std::shared_ptr<IShellFolder> BindToObject(const CPidl& child) override;
    // Places keep their fixed order: Home, Desktop, File System, then volumes by name.
    int CompareItems(const ShellItemData& a, const ShellItemData& b) override;

private:
    const CPlacesConfig m_config;
};
