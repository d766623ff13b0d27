#pragma once
// A settings store held in memory, for tests and for runs that must not touch the user's
// settings. Thread-safe.

#include "base/settings_store.h"

#include <map>
#include <mutex>
#include <variant>

class CMemorySettingsStore : public ISettingsStore {
public:
    using Value = std::variant<std::string, int, std::vector<std::uint8_t>>;

    std::string GetProfileString(const std::string& entry, const std::string& def) override;
    void WriteProfileString(const std::string& entry, const std::string& value) override;
    int GetProfileInt(const std::string& entry, int def) override;
    void WriteProfileInt(const std::string& entry, int value) override;
    std::optional<std::vector<std::uint8_t>> GetProfileBinary(const std::string& entry) override;
    void WriteProfileBinary(const std::string& entry, const std::vector<std::uint8_t>& value) override;

    // What is stored, and every entry written in the order of the writes (for tests).
    std::map<std::string, Value> Values() const;
    std::vector<std::string> WriteLog() const;
    bool Has(const std::string& entry) const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, Value> m_values;
    std::vector<std::string> m_writeLog;
};
