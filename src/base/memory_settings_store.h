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

    std::string ReadString(const std::string& entry, const std::string& def) override;
    void WriteString(const std::string& entry, const std::string& value) override;
    int ReadInt(const std::string& entry, int def) override;
    void WriteInt(const std::string& entry, int value) override;
    std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& entry) override;
    void WriteBytes(const std::string& entry, const std::vector<std::uint8_t>& value) override;

    // What is stored, and every entry written in the order of the writes (for tests).
    std::map<std::string, Value> Values() const;
    std::vector<std::string> WriteLog() const;
    bool Has(const std::string& entry) const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, Value> m_values;
    std::vector<std::string> m_writeLog;
};
