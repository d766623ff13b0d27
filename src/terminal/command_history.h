#pragma once
// CCommandHistory: the lines sent from the terminal's command line, oldest first, at most
// kMaxEntries; a line sent again moves to the end. Up and Down walk it from the end with a
// cursor (the text being typed is kept while walking), and a search walks back to the next
// older line holding a text. Kept in the settings store as one value, the lines joined by line
// feeds (a command line holds none). A plain value; GUI thread (where the store lives).

#include "base/settings_store.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class CCommandHistory {
public:
    static constexpr std::size_t kMaxEntries = 200;
    // A longer line is sent but not kept: the settings file stays small.
    static constexpr std::size_t kMaxLineLength = 4096;
    static constexpr const char* kKey = "TerminalHistory";

    // Keeps the line at the end (an equal line earlier goes); empty lines, longer lines and
    // lines with a line end are not kept. The cursor goes back to the end.
    void Add(const std::string& line);
    const std::vector<std::string>& Entries() const { return m_entries; }

    // The next older line (draft: the text typed before the walk began, given on the first
    // step); empty at the oldest.
    std::optional<std::string> Older(const std::string& draft);
    // The next newer line, or the draft once past the newest; empty when not walking.
    std::optional<std::string> Newer();
    // The next older line than the cursor that holds text; the cursor stays when none does.
    std::optional<std::string> SearchOlder(const std::string& text, const std::string& draft);
    // Back to the end (the line was edited or sent).
    void ResetCursor() { m_nCursor = m_entries.size(); }
    bool Walking() const { return m_nCursor < m_entries.size(); }

    void Load(ISettingsStore& store);
    void Save(ISettingsStore& store) const;

private:
    std::vector<std::string> m_entries;
    // m_entries.size() when not walking.
    std::size_t m_nCursor = 0;
    std::string m_strDraft;
};
