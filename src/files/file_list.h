#pragma once
// CFileList: the rows of the file list (name, folder, size) in display order, with the rules for
// adding a file, the full path of a row, the list file and the command-state rules. The file
// list's model owns one and shows it on screen; GUI thread only. Paths are bytes (a Linux file
// name need not be valid UTF-8) and are never converted here. The file-system calls (looking
// at a file, writing the list file) live in file_list_posix.cpp.

#include "base/command_target.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

struct CFileEntry {
    // The last path component.
    std::string m_strName;
    // The path without its last component; no trailing separator except for the root "/".
    std::string m_strFolder;
    // Empty when the file could not be opened when it was added (or is not probed yet).
    std::optional<std::int64_t> m_nSize;
    // Added without looking at the file: size and kind come later through ApplyProbe.
    bool m_bPending = false;

    bool operator==(const CFileEntry&) const = default;
};

// What a look at a file found: its size when it could be opened, and whether it is a folder.
struct CFileProbe {
    std::optional<std::int64_t> m_nSize;
    bool m_bDirectory = false;
};

class CFileList {
public:
    // The list file's name inside the start directory.
    static constexpr const char* kListFileName = "lastfiles.lst";

    // Adds one file by path. Ignores an empty path, an existing directory and a file already
    // listed (same name ignoring ASCII case, same folder byte for byte). A missing file is still
    // listed, without size. Returns the row where it went (rows stay sorted by name), or -1.
    // beforeInsert, when given, gets that row just before the entry goes in (a model announces
    // the row there).
    int AddFile(const std::string& path, const std::function<void(int row)>& beforeInsert = {});
    // Adds many paths at once by the same rules and with the same result as adding them one by
    // one in this order, but sorted once. Returns how many rows were added. With probe false
    // the files are not looked at (a list of 100 000 paths shows at once): the rows are
    // m_bPending, folders among them included, until ApplyProbe gives each its result.
    int AddFiles(const std::vector<std::string>& paths, bool probe = true);
    // Looks at one file (any thread; it touches no list).
    static CFileProbe ProbeFile(const std::string& path);
    // Gives the pending row of path its size and returns the row, or -1 when no pending row has
    // that path (it was removed meanwhile). A folder's row is left for the caller to remove.
    int ApplyProbe(const std::string& path, const CFileProbe& probe);
    void RemoveAt(int row);
    void RemoveAll();

    int Count() const { return static_cast<int>(m_entries.size()); }
    const CFileEntry& Entry(int row) const { return m_entries.at(static_cast<std::size_t>(row)); }
    const std::vector<CFileEntry>& Entries() const { return m_entries; }
    // Folder, one separator unless the folder already ends with one, then the name.
    std::string GetEntryPath(int row) const;
    static std::string GetEntryPath(const CFileEntry& entry);

    // Adds each path of the list file (see ReadListFile); a missing file leaves the list as is.
    // The error of a list file that exists but cannot be read.
    std::error_code LoadFileList(const std::string& listFilePath);
    // Writes every row's full path in display order (see WriteListFile).
    std::error_code SaveFileList(const std::string& listFilePath) const;

    // Splits a path into its folder and its name by the rule above.
    static CFileEntry SplitPath(const std::string& path);

private:
    std::vector<CFileEntry> m_entries;
};

struct CListFileRead {
    std::vector<std::string> m_paths;
    // Set when the file exists but cannot be read (permissions, a folder, not a regular file);
    // a missing file is no error, just no paths.
    std::error_code m_error;
};
// The paths of a list file: line breaks and trailing blanks, tabs and carriage returns dropped,
// empty lines and lines holding a NUL byte (no file name can) skipped.
CListFileRead ReadListFile(const std::string& listFilePath);
// One path per line, each ending in CR LF. Written to a temporary file beside the list file and
// renamed over it, so a failure midway leaves the old list whole. A list file that is a symbolic
// link is written through it: the file it leads to is replaced and the link stays. The error of
// the step that failed, if any.
std::error_code WriteListFile(const std::string& listFilePath, const std::vector<std::string>& paths);

// The local paths of a text/uri-list (a drop from a file manager), as bytes: file URIs with an
// empty host or "localhost", percent escapes decoded (so a name that is not UTF-8 comes through
// unchanged); comments, other schemes, other hosts and paths holding a NUL byte are left out.
std::vector<std::string> PathsFromUriList(const std::string& uriList);

// The command-state rules of the file list for Program, Build, Debug, Edit (enabled with exactly
// one row selected), Remove (one or more) and Remove All (any row). With exactly one row
// selected the first five get their text ("&Program '%s'" ...) with the selected name; otherwise
// their text is left as it is. Returns false for any other command.
bool UpdateFileListCommand(CCmdUI& ui, int selectedCount, int rowCount, const std::string& selectedName);
