#pragma once
// The settings store on QSettings("Quillorex", "Quillorex Programmer"), group "Settings": on
// Linux ~/.config/Quillorex/Quillorex Programmer.conf (XDG_CONFIG_HOME is honoured). GUI thread.

#include "base/settings_store.h"

#include <QSettings>

class CQtSettingsStore : public ISettingsStore {
public:
    CQtSettingsStore();

    std::string ReadString(const std::string& entry, const std::string& def) override;
    void WriteString(const std::string& entry, const std::string& value) override;
    int ReadInt(const std::string& entry, int def) override;
    void WriteInt(const std::string& entry, int value) override;
    std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& entry) override;
    void WriteBytes(const std::string& entry, const std::vector<std::uint8_t>& value) override;

    // The same file, for the window layer's own groups (dock layout, window geometry).
    QSettings& Settings() { return m_settings; }
    void Sync() { m_settings.sync(); }

    static constexpr const char* kOrganization = "Quillorex";
    static constexpr const char* kApplication = "Quillorex Programmer";
    static constexpr const char* kSection = "Settings";

private:
    QString Key(const std::string& entry) const;
    QSettings m_settings;
};
