#pragma once
// Moving and deleting what the browser shows. Both act only on the entry the user saw: when the
// identity captured at listing is given and the name now stands for another file (replaced,
// renamed away), they refuse with EBrowserError::StaleItem. A move never replaces an existing
// destination; across file systems a file (or link) is copied, flushed and then the source
// deleted, while a folder is refused with EXDEV. Blocking calls: any thread.

#include "browser/shell_folder.h"

#include <string>
#include <system_error>

enum class EBrowserError {
    StaleItem = 1,
};

const std::error_category& BrowserErrorCategory();
std::error_code make_error_code(EBrowserError e);

namespace std {
template <>
struct is_error_code_enum<EBrowserError> : true_type {};
} // namespace std

// Success when path still names the entry identity stood for (an invalid identity passes).
std::error_code CheckFileIdentity(const std::string& path, const CFileIdentity& identity);

// Deletes one file (a link itself, never its target); a folder gives EISDIR.
std::error_code DeleteShellFile(const std::string& path, const CFileIdentity& identity);

// Moves source (a file, link or folder) to destination, which must not exist.
std::error_code MoveShellFile(const std::string& source, const std::string& destination,
                              const CFileIdentity& identity);
