#include "files/file_list.h"

#include "base/commands.h"
#include "base/text_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {
char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

// Display order: by name ignoring ASCII case, then by the name's bytes.
bool NameLess(const CFileEntry& a, const CFileEntry& b)
{
    auto fold = [](unsigned char c) { return static_cast<unsigned char>(FoldAscii(static_cast<char>(c))); };
    const auto& x = a.m_strName;
    const auto& y = b.m_strName;
    bool less = std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [&](char p, char q) {
        return fold(static_cast<unsigned char>(p)) < fold(static_cast<unsigned char>(q));
    });
    if (less)
        return true;
    if (EqualIgnoringAsciiCase(x, y))
        return x < y;
    return false;
}

std::optional<std::int64_t> FileSize(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::int64_t> size;
    if (fstat(fd, &st) == 0)
        size = static_cast<std::int64_t>(st.st_size);
    close(fd);
    return size;
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

CFileEntry CFileList::SplitPath(const std::string& path)
{
    CFileEntry entry;
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        entry.m_strName = path;
        return entry;
    }
    entry.m_strName = path.substr(slash + 1);
    std::size_t end = slash;
    // Separators before the name belong to neither part, except the root itself.
    while (end > 0 && path[end - 1] == '/')
        --end;
    entry.m_strFolder = end == 0 ? std::string("/") : path.substr(0, end);
    return entry;
}

std::string CFileList::GetEntryPath(const CFileEntry& entry)
{
    if (entry.m_strFolder.empty())
        return entry.m_strName;
    if (entry.m_strFolder.back() == '/')
        return entry.m_strFolder + entry.m_strName;
    return entry.m_strFolder + '/' + entry.m_strName;
}

std::string CFileList::GetEntryPath(int row) const
{
    return GetEntryPath(Entry(row));
}

int CFileList::AddFile(const std::string& path, const std::function<void(int row)>& beforeInsert)
{
    if (path.empty())
        return -1;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return -1;
    CFileEntry entry = SplitPath(path);
    if (entry.m_strName.empty())
        return -1;
    for (const CFileEntry& row : m_entries) {
        if (EqualIgnoringAsciiCase(row.m_strName, entry.m_strName) && row.m_strFolder == entry.m_strFolder)
            return -1;
    }
    entry.m_nSize = FileSize(path);
    auto it = std::upper_bound(m_entries.begin(), m_entries.end(), entry, NameLess);
    const int row = static_cast<int>(it - m_entries.begin());
    if (beforeInsert)
        beforeInsert(row);
    m_entries.insert(m_entries.begin() + row, std::move(entry));
    return row;
}

void CFileList::RemoveAt(int row)
{
    if (row >= 0 && row < Count())
        m_entries.erase(m_entries.begin() + row);
}

void CFileList::RemoveAll()
{
    m_entries.clear();
}

void CFileList::LoadFileList(const std::string& listFilePath)
{
    for (const std::string& path : ReadListFile(listFilePath))
        AddFile(path);
}

bool CFileList::SaveFileList(const std::string& listFilePath) const
{
    std::vector<std::string> paths;
    paths.reserve(m_entries.size());
    for (const CFileEntry& entry : m_entries)
        paths.push_back(GetEntryPath(entry));
    return WriteListFile(listFilePath, paths);
}

std::vector<std::string> ReadListFile(const std::string& listFilePath)
{
    std::vector<std::string> paths;
    FILE* file = std::fopen(listFilePath.c_str(), "rbe");
    if (!file)
        return paths;
    std::string line;
    auto finish = [&] {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty())
            paths.push_back(line);
        line.clear();
    };
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\n')
            finish();
        else
            line += static_cast<char>(c);
    }
    finish();
    std::fclose(file);
    return paths;
}

bool WriteListFile(const std::string& listFilePath, const std::vector<std::string>& paths)
{
    std::string data;
    for (const std::string& path : paths) {
        data += path;
        data += "\r\n";
    }
    std::string temp = listFilePath + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // The new file gets the old one's permissions (or the usual ones for a first write).
    struct stat st {};
    mode_t mode = stat(listFilePath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, data) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(temp.c_str(), listFilePath.c_str()) == 0)
        return true;
    unlink(temp.c_str());
    return false;
}

std::vector<std::string> PathsFromUriList(const std::string& uriList)
{
    std::vector<std::string> paths;
    std::size_t pos = 0;
    while (pos < uriList.size()) {
        std::size_t end = uriList.find('\n', pos);
        if (end == std::string::npos)
            end = uriList.size();
        std::string line = uriList.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        const std::string scheme = "file://";
        if (line.empty() || line[0] == '#' || line.compare(0, scheme.size(), scheme) != 0)
            continue;
        std::string rest = line.substr(scheme.size());
        std::size_t slash = rest.find('/');
        if (slash == std::string::npos)
            continue;
        std::string host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost")
            continue;
        paths.push_back(PercentDecode(std::string_view(rest).substr(slash)));
    }
    return paths;
}

bool UpdateFileListCommand(CCmdUI& ui, int selectedCount, int rowCount, const std::string& selectedName)
{
    const char* format = nullptr;
    switch (ui.m_nID) {
    case cmd::ID_TOOLS_PROGRAM: format = "&Program '"; break;
    case cmd::ID_TOOLS_BUILD: format = "&Build '"; break;
    case cmd::ID_TOOLS_DEBUG: format = "&Debug '"; break;
    case cmd::ID_TOOLS_EDIT: format = "&Edit '"; break;
    case cmd::ID_FILE_REMOVE: format = "&Remove '"; break;
    case cmd::ID_FILE_REMOVE_ALL:
        ui.Enable(rowCount > 0);
        return true;
    default:
        return false;
    }
    if (ui.m_nID == cmd::ID_FILE_REMOVE)
        ui.Enable(selectedCount >= 1);
    else
        ui.Enable(selectedCount == 1);
    if (selectedCount == 1)
        ui.SetText(std::string(format) + selectedName + "'");
    return true;
}
