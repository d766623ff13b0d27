#include "terminal/highlight_rules.h"

#include <cstdio>

std::vector<CHighlightRule> CHighlightRules::Defaults()
{
    return {{"error|fail", 0x8B0000, true}, {"warn", 0xA52A2A, true}};
}

std::string CHighlightRules::Format(const CHighlightRule& rule)
{
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%06x", static_cast<unsigned>(rule.m_nRgb & 0xFFFFFF));
    return std::string(rule.m_bWholeLine ? "line" : "match") + '\t' + colour + '\t' + rule.m_strPattern;
}

bool CHighlightRules::Parse(const std::string& value, CHighlightRule& rule)
{
    const std::size_t first = value.find('\t');
    const std::size_t second = first == std::string::npos ? first : value.find('\t', first + 1);
    if (second == std::string::npos || second - first != 8 || value[first + 1] != '#')
        return false;
    const std::string kind = value.substr(0, first);
    if (kind != "line" && kind != "match")
        return false;
    std::uint32_t rgb = 0;
    for (std::size_t i = first + 2; i < second; ++i) {
        const char ch = value[i];
        const int digit = ch >= '0' && ch <= '9'   ? ch - '0'
                          : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                          : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                   : -1;
        if (digit < 0)
            return false;
        rgb = rgb * 16 + static_cast<std::uint32_t>(digit);
    }
    const std::string pattern = value.substr(second + 1);
    if (pattern.empty())
        return false;
    rule = {pattern, rgb, kind == "line"};
    return true;
}

std::string CHighlightRules::Key(std::size_t index)
{
    return "TerminalHighlight" + std::to_string(index + 1);
}

void CHighlightRules::SetRules(std::vector<CHighlightRule> rules)
{
    if (rules.size() > kMaxRules)
        rules.resize(kMaxRules);
    m_rules = std::move(rules);
}

void CHighlightRules::Load(ISettingsStore& store)
{
    const int count = store.ReadInt(kCountKey, -1);
    if (count < 0 || count > static_cast<int>(kMaxRules)) {
        m_rules = Defaults();
        return;
    }
    m_rules.clear();
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        const std::string value = store.ReadString(Key(i), "");
        CHighlightRule rule;
        if (Parse(value, rule))
            m_rules.push_back(rule);
        else
            store.WarnUnreadable(Key(i), value, "no rule");
    }
}

void CHighlightRules::Save(ISettingsStore& store) const
{
    store.WriteInt(kCountKey, static_cast<int>(m_rules.size()));
    for (std::size_t i = 0; i < m_rules.size(); ++i)
        store.WriteString(Key(i), Format(m_rules[i]));
}
