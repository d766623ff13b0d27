#pragma once
// CHighlightRules: how the terminal colours what the board sends: a list of rules, each a
// regular expression (case-insensitive), a colour, and whether the whole line or only the match
// takes it. The first rule that matches a line colours it. The window applies them when it
// paints a row, so they cost nothing per received byte. Kept in the settings store, one value a
// rule ("TerminalHighlight1" ..: "line" or "match", a tab, the colour as #rrggbb, a tab, the
// expression) with their count in "TerminalHighlightCount"; without a count the defaults hold
// (error|fail dark red, warn brown). A value that cannot be read is left out with a warning.
// A plain value; GUI thread (where the store lives).

#include "base/settings_store.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CHighlightRule {
    std::string m_strPattern;
    // 0xRRGGBB.
    std::uint32_t m_nRgb = 0;
    bool m_bWholeLine = true;

    bool operator==(const CHighlightRule&) const = default;
};

class CHighlightRules {
public:
    static constexpr std::size_t kMaxRules = 16;
    static constexpr const char* kCountKey = "TerminalHighlightCount";

    static std::vector<CHighlightRule> Defaults();
    static std::string Format(const CHighlightRule& rule);
    // False when the value is no rule (the pattern's syntax is the window's to judge).
    static bool Parse(const std::string& value, CHighlightRule& rule);
    static std::string Key(std::size_t index);

    const std::vector<CHighlightRule>& Rules() const { return m_rules; }
    // At most kMaxRules are kept.
    void SetRules(std::vector<CHighlightRule> rules);

    void Load(ISettingsStore& store);
    void Save(ISettingsStore& store) const;

private:
    std::vector<CHighlightRule> m_rules = Defaults();
};
