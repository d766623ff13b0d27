#pragma once
// IShellFolder: one folder of the browser's namespace (the desktop's places, or a directory).
// Implementations are immutable after construction or guard their lazy state, so one folder may
// be used from the GUI thread and a listing worker at the same time. Folders are shared through
// std::shared_ptr: a tree item and a running listing each keep the folder they use alive.

#include "browser/pidl.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

// Content flags of a tree item.
constexpr unsigned SHELLTREE_FILES = 1;
constexpr unsigned SHELLTREE_HIDDEN = 2;

// Enumeration flags.
constexpr unsigned SHCONTF_FOLDERS = 0x20;
constexpr unsigned SHCONTF_NONFOLDERS = 0x40;
constexpr unsigned SHCONTF_INCLUDEHIDDEN = 0x80;

// Attributes.
constexpr std::uint32_t SFGAO_GHOST = 0x00008000;
constexpr std::uint32_t SFGAO_LINK = 0x00010000;
constexpr std::uint32_t SFGAO_SHARE = 0x00020000;
constexpr std::uint32_t SFGAO_REMOVABLE = 0x02000000;
constexpr std::uint32_t SFGAO_FOLDER = 0x20000000;
constexpr std::uint32_t SFGAO_HASSUBFOLDER = 0x80000000;

// What a name stood for when it was listed: device and inode of the entry itself (a link is
// not followed). Delete and move compare it with the disk before they act.
struct CFileIdentity {
    std::uint64_t m_dev = 0;
    std::uint64_t m_ino = 0;
    bool m_bValid = false;
    bool operator==(const CFileIdentity&) const = default;
};

class IShellFolder;

// One item of the tree as it was listed: the folder that listed it, its absolute list (the
// parent's list and its own entry), the content flags it was created with, and what the listing
// learnt of it (shown name, attributes, identity on disk).
struct ShellItemData {
    std::shared_ptr<IShellFolder> m_pFolder;
    CPidl m_pidl;
    unsigned m_nFlags = 0;
    std::string m_strName;
    std::uint32_t m_nAttributes = 0;
    CFileIdentity m_identity;

    bool IsFolder() const;
};

class IShellFolder {
public:
    virtual ~IShellFolder() = default;

    // Lists the children (one-entry relative lists) for the SHCONTF_* flags; onItem returns false
    // to stop early (a cancelled listing). An error means no enumerator: nothing was listed.
    virtual std::error_code EnumObjects(unsigned contentFlags,
                                        const std::function<bool(CPidl&&)>& onItem) = 0;
    // The child's name as shown in the tree; the folder's own name for an empty list.
    virtual std::string GetDisplayNameOf(const CPidl& child) = 0;
    // The SFGAO_* bits of mask that apply to the child.
    virtual std::uint32_t GetAttributesOf(const CPidl& child, std::uint32_t mask) = 0;
    // The child's identity on disk (invalid for virtual items).
    virtual CFileIdentity GetIdentityOf(const CPidl& child) = 0;
    // Attributes and identity together (one look at the disk where the folder can).
    virtual void DescribeChild(const CPidl& child, std::uint32_t mask, std::uint32_t& attributes,
                               CFileIdentity& identity);
    // The folder a child folder stands for; null when it cannot be bound.
    virtual std::shared_ptr<IShellFolder> BindToObject(const CPidl& child) = 0;
    // The folder's own order for two of its listed children (negative, zero, positive). The
    // default is the shell's order: folders first, then names compared numerically, without case.
    virtual int CompareItems(const ShellItemData& a, const ShellItemData& b);
};

// Numeric-aware, case-insensitive name order ("file2" before "File10"); ties broken by bytes.
int CompareNamesNatural(const std::string& a, const std::string& b);
