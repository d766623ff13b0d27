#include "files/file_list.h"

#include "base/commands.h"
#include "base/regular_file.h"
#include "base/text_codec.h"

#include <algorithm>
#include <cstring>
#include <numeric>

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
    // A folder is no file of the list; the size is known when the file opens.
    const CFileProbe probe = ProbeFile(path);
    if (probe.m_bDirectory)
        return -1;
    CFileEntry entry = SplitPath(path);
    if (entry.m_strName.empty())
        return -1;
    for (const CFileEntry& row : m_entries) {
        if (EqualIgnoringAsciiCase(row.m_strName, entry.m_strName) && row.m_strFolder == entry.m_strFolder)
            return -1;
    }
    entry.m_nSize = probe.m_nSize;
    auto it = std::upper_bound(m_entries.begin(), m_entries.end(), entry, NameLess);
    const int row = static_cast<int>(it - m_entries.begin());
    if (beforeInsert)
        beforeInsert(row);
    m_entries.insert(m_entries.begin() + row, std::move(entry));
    return row;
}

int CFileList::ApplyProbe(const std::string& path, const CFileProbe& probe)
{
    CFileEntry key = SplitPath(path);
    // Rows with the same name sit together in display order.
    auto [first, last] = std::equal_range(m_entries.begin(), m_entries.end(), key, NameLess);
    for (auto it = first; it != last; ++it) {
        if (it->m_bPending && it->m_strName == key.m_strName && it->m_strFolder == key.m_strFolder) {
            it->m_bPending = false;
            it->m_nSize = probe.m_nSize;
            return static_cast<int>(it - m_entries.begin());
        }
    }
    return -1;
}

int CFileList::AddFiles(const std::vector<std::string>& paths, bool probe)
{
    std::vector<CFileEntry> added;
    added.reserve(paths.size());
    for (const std::string& path : paths) {
        if (path.empty())
            continue;
        CFileEntry entry = SplitPath(path);
        if (entry.m_strName.empty())
            continue;
        if (probe) {
            CFileProbe found = ProbeFile(path);
            if (found.m_bDirectory)
                continue;
            entry.m_nSize = found.m_nSize;
        } else {
            entry.m_bPending = true;
        }
        added.push_back(std::move(entry));
    }
    if (added.empty())
        return 0;

    // The duplicate rule over the rows and the new entries together: of each group with the
    // same folded name and folder the earliest wins (a row, then the first new one). Indices
    // into one pool and names folded once keep the sorts to plain byte comparisons.
    const std::size_t rows = m_entries.size();
    std::vector<CFileEntry> pool = std::move(m_entries);
    pool.reserve(rows + added.size());
    std::move(added.begin(), added.end(), std::back_inserter(pool));
    std::vector<std::string> folded(pool.size());
    for (std::size_t i = 0; i < pool.size(); ++i) {
        folded[i] = pool[i].m_strName;
        for (char& c : folded[i])
            c = FoldAscii(c);
    }
    std::vector<std::size_t> order(pool.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (int c = folded[a].compare(folded[b]))
            return c < 0;
        if (int c = pool[a].m_strFolder.compare(pool[b].m_strFolder))
            return c < 0;
        return a < b;
    });
    std::vector<char> keep(pool.size(), 1);
    for (std::size_t i = 1; i < order.size(); ++i) {
        const std::size_t previous = order[i - 1];
        const std::size_t current = order[i];
        if (folded[previous] == folded[current] && pool[previous].m_strFolder == pool[current].m_strFolder)
            keep[current] = 0;
    }

    // Display order: the folded name, then the name's bytes, then the order of adding (a new
    // entry goes after every row that does not sort after it), as one by one gives.
    std::vector<std::size_t> shown;
    shown.reserve(pool.size());
    for (std::size_t i = 0; i < pool.size(); ++i)
        if (keep[i])
            shown.push_back(i);
    std::sort(shown.begin(), shown.end(), [&](std::size_t a, std::size_t b) {
        if (int c = folded[a].compare(folded[b]))
            return c < 0;
        if (int c = pool[a].m_strName.compare(pool[b].m_strName))
            return c < 0;
        return a < b;
    });
    m_entries.clear();
    m_entries.reserve(shown.size());
    for (std::size_t i : shown)
        m_entries.push_back(std::move(pool[i]));
    return static_cast<int>(m_entries.size() - rows);
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

std::error_code CFileList::LoadFileList(const std::string& listFilePath)
{
    CListFileRead read = ReadListFile(listFilePath);
    if (read.m_error)
        return read.m_error;
    AddFiles(read.m_paths);
    return {};
}

std::error_code CFileList::SaveFileList(const std::string& listFilePath) const
{
    std::vector<std::string> paths;
    paths.reserve(m_entries.size());
    for (const CFileEntry& entry : m_entries)
        paths.push_back(GetEntryPath(entry));
    return WriteListFile(listFilePath, paths);
}

CListFileRead ReadListFile(const std::string& listFilePath)
{
    CListFileRead result;
    CRegularFile file;
    std::vector<std::uint8_t> bytes;
    if (std::error_code code = file.Open(listFilePath)) {
        // No list yet is an empty list.
        if (code != std::errc::no_such_file_or_directory)
            result.m_error = code;
        return result;
    }
    result.m_error = file.ReadAll(bytes);
    const std::string data(bytes.begin(), bytes.end());
    if (result.m_error)
        return result;

    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t end = data.find('\n', pos);
        if (end == std::string::npos)
            end = data.size();
        std::size_t last = end;
        while (last > pos && (data[last - 1] == ' ' || data[last - 1] == '\t' || data[last - 1] == '\r'))
            --last;
        // No file name holds a NUL byte: such a line would name the file before the NUL.
        if (last > pos && std::memchr(data.data() + pos, '\0', last - pos) == nullptr)
            result.m_paths.emplace_back(data, pos, last - pos);
        pos = end + 1;
    }
    return result;
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
        std::string path = PercentDecode(std::string_view(rest).substr(slash));
        // A NUL byte (plain or escaped) ends a file name early, so the path would name another file.
        if (path.find('\0') != std::string::npos)
            continue;
        paths.push_back(std::move(path));
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
