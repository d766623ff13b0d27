#include "base/memory_settings_store.h"

#include <cstdlib>

std::string CMemorySettingsStore::ReadString(const std::string& entry, const std::string& def)
{
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(entry);
    if (it == m_values.end())
        return def;
    if (auto* s = std::get_if<std::string>(&it->second))
        return *s;
    if (auto* n = std::get_if<int>(&it->second))
        return std::to_string(*n);
    return def;
}

void CMemorySettingsStore::WriteString(const std::string& entry, const std::string& value)
{
    std::lock_guard lock(m_mutex);
    m_values[entry] = value;
    m_writeLog.push_back(entry);
}

int CMemorySettingsStore::ReadInt(const std::string& entry, int def)
{
    std::unique_lock lock(m_mutex);
    auto it = m_values.find(entry);
    if (it == m_values.end())
        return def;
    if (auto* n = std::get_if<int>(&it->second))
        return *n;
    const std::string* text = std::get_if<std::string>(&it->second);
    const std::optional<int> value = text ? ParseProfileInt(*text) : std::nullopt;
    if (!value) {
        lock.unlock();
        WarnUnreadable(entry, text ? *text : std::string(), std::to_string(def));
    }
    return value.value_or(def);
}

void CMemorySettingsStore::WriteInt(const std::string& entry, int value)
{
    std::lock_guard lock(m_mutex);
    m_values[entry] = value;
    m_writeLog.push_back(entry);
}

std::optional<std::vector<std::uint8_t>> CMemorySettingsStore::ReadBytes(const std::string& entry)
{
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(entry);
    if (it == m_values.end())
        return std::nullopt;
    if (auto* b = std::get_if<std::vector<std::uint8_t>>(&it->second))
        return *b;
    return std::nullopt;
}

void CMemorySettingsStore::WriteBytes(const std::string& entry, const std::vector<std::uint8_t>& value)
{
    std::lock_guard lock(m_mutex);
    m_values[entry] = value;
    m_writeLog.push_back(entry);
}

std::map<std::string, CMemorySettingsStore::Value> CMemorySettingsStore::Values() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

std::vector<std::string> CMemorySettingsStore::WriteLog() const
{
    std::lock_guard lock(m_mutex);
    return m_writeLog;
}

bool CMemorySettingsStore::Has(const std::string& entry) const
{
    std::lock_guard lock(m_mutex);
    return m_values.count(entry) != 0;
}
