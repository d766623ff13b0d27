#pragma once
// file_system: the browser's calls to the file system (looking at a path, listing a folder,
// links, removing, renaming, copying, the user's home). Every call blocks and may be made from
// any thread; none keeps state between calls. Failures are the system's error codes, so the
// texts shown to the user are the system's own. The calls live in file_system_posix.cpp.

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

namespace file_system {

// What a path (or a folder entry) is. A listing may say Unknown when the folder does not tell
// the kind of its entries; a look at the path then does.
enum class EKind {
    Unknown,
    Regular,
    Directory,
    Link,
    Other,
};

// One look at a path: the entry itself (LinkStatus) or what a link points to (Status).
struct CStatus {
    EKind m_kind = EKind::Unknown;
    std::uint64_t m_nDevice = 0;
    std::uint64_t m_nInode = 0;
    std::uint64_t m_nSize = 0;
    std::int64_t m_nModified = 0; // seconds since 1970-01-01 UTC
    unsigned m_nPermissions = 0;  // the rwxrwxrwx bits, with set-id and sticky above them
};

// Follows links.
std::error_code Status(const std::string& path, CStatus& status);
// The entry itself, a link not followed.
std::error_code LinkStatus(const std::string& path, CStatus& status);
// Whether path is (or links to) a folder; false for the empty path and on any failure.
bool IsDirectory(const std::string& path);
// Whether path (followed) can be looked at.
bool Exists(const std::string& path);

// Calls onEntry for each name in the folder ("." and ".." left out) with the kind the folder
// records for it (a link is Link, not followed); onEntry returns false to stop. An error from
// opening the folder means nothing was listed; one while reading ends the listing.
std::error_code ListFolder(const std::string& path,
                           const std::function<bool(std::string&& name, EKind kind)>& onEntry);

// The text a symbolic link holds.
std::error_code ReadLink(const std::string& path, std::string& target);
// Creates path as a symbolic link holding target.
std::error_code MakeLink(const std::string& target, const std::string& path);
// Removes one file or link; a folder gives EISDIR.
std::error_code RemoveFile(const std::string& path);
// Renames source to destination, refusing (EEXIST) to replace an existing destination.
std::error_code RenameNoReplace(const std::string& source, const std::string& destination);
// Copies a regular file's bytes, permissions and times to destination, which must not exist,
// and flushes the copy to disk; a failed copy is removed again.
std::error_code CopyRegularFile(const std::string& source, const std::string& destination);

// The current user's home folder as the user database records it; empty when it has none.
std::string UserHomeFolder();

} // namespace file_system
