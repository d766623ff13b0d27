#include "terminal/command_history.h"

#include <algorithm>

namespace {
bool Keepable(const std::string& line)
{
    return !line.empty() && line.size() <= CCommandHistory::kMaxLineLength &&
           line.find_first_of("\r\n") == std::string::npos;
}
} // namespace

void CCommandHistory::Add(const std::string& line)
{
    if (Keepable(line)) {
        m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), line), m_entries.end());
        m_entries.push_back(line);
        if (m_entries.size() > kMaxEntries)
            m_entries.erase(m_entries.begin(), m_entries.begin() + static_cast<std::ptrdiff_t>(m_entries.size() - kMaxEntries));
    }
    ResetCursor();
}

std::optional<std::string> CCommandHistory::Older(const std::string& draft)
{
    if (m_nCursor == 0 || m_entries.empty())
        return std::nullopt;
    if (!Walking())
        m_strDraft = draft;
    return m_entries[--m_nCursor];
}

std::optional<std::string> CCommandHistory::Newer()
{
    if (!Walking())
        return std::nullopt;
    ++m_nCursor;
    return Walking() ? m_entries[m_nCursor] : m_strDraft;
}

std::optional<std::string> CCommandHistory::SearchOlder(const std::string& text, const std::string& draft)
{
    for (std::size_t i = std::min(m_nCursor, m_entries.size()); i-- > 0;) {
        if (m_entries[i].find(text) == std::string::npos)
            continue;
        if (!Walking())
            m_strDraft = draft;
        m_nCursor = i;
        return m_entries[i];
    }
    return std::nullopt;
}

void CCommandHistory::Load(ISettingsStore& store)
{
    m_entries.clear();
    const std::string joined = store.ReadString(kKey, "");
    std::size_t at = 0;
    while (at < joined.size()) {
        std::size_t end = joined.find('\n', at);
        if (end == std::string::npos)
            end = joined.size();
        // Add drops what a hand-edited file may hold that a command line cannot (a CR, a long line).
        Add(joined.substr(at, end - at));
        at = end + 1;
    }
    ResetCursor();
}

void CCommandHistory::Save(ISettingsStore& store) const
{
    std::string joined;
    for (const std::string& line : m_entries) {
        if (!joined.empty())
            joined += '\n';
        joined += line;
    }
    store.WriteString(kKey, joined);
}
