#include "base/settings_store.h"

#include <algorithm>
#include <cctype>
#include <charconv>

std::optional<int> ParseProfileInt(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<int> ParseProfileFlag(std::string_view text)
{
    if (const std::optional<int> number = ParseProfileInt(text))
        return number;
    std::string word;
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "false" || word == "no" || word == "off")
        return 0;
    if (word == "true" || word == "yes" || word == "on")
        return 1;
    return std::nullopt;
}

int ISettingsStore::ReadFlag(const std::string& entry, int def)
{
    // No text a person writes starts with a NUL: it stands for "absent".
    static const std::string kAbsent(1, '\0');
    const std::string text = ReadString(entry, kAbsent);
    if (text == kAbsent)
        return def;
    if (const std::optional<int> value = ParseProfileFlag(text))
        return *value;
    WarnUnreadable(entry, text, std::to_string(def));
    return def;
}

void ISettingsStore::WarnUnreadable(const std::string& entry, const std::string& value, const std::string& used)
{
    std::lock_guard lock(m_warningMutex);
    if (std::find(m_warnedEntries.begin(), m_warnedEntries.end(), entry) != m_warnedEntries.end())
        return;
    m_warnedEntries.push_back(entry);
    m_warnings.push_back("Settings: " + entry + "=" + value + " is not a valid value; " + used + " is used.");
}

std::vector<std::string> ISettingsStore::Warnings() const
{
    std::lock_guard lock(m_warningMutex);
    return m_warnings;
}
