#include "base/qt_settings_store.h"

CQtSettingsStore::CQtSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, kOrganization, kApplication)
{
}

QString CQtSettingsStore::Key(const std::string& entry) const
{
    return QString::fromLatin1(kSection) + '/' + QString::fromStdString(entry);
}

std::string CQtSettingsStore::ReadString(const std::string& entry, const std::string& def)
{
    QVariant v = m_settings.value(Key(entry));
    if (!v.isValid())
        return def;
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray().toStdString();
    return v.toString().toStdString();
}

void CQtSettingsStore::WriteString(const std::string& entry, const std::string& value)
{
    m_settings.setValue(Key(entry), QString::fromStdString(value));
}

int CQtSettingsStore::ReadInt(const std::string& entry, int def)
{
    QVariant v = m_settings.value(Key(entry));
    if (!v.isValid())
        return def;
    if (v.typeId() == QMetaType::Int)
        return v.toInt();
    const std::string text = v.toString().toStdString();
    const std::optional<int> value = ParseProfileInt(text);
    if (!value)
        WarnUnreadable(entry, text, std::to_string(def));
    return value.value_or(def);
}

void CQtSettingsStore::WriteInt(const std::string& entry, int value)
{
    m_settings.setValue(Key(entry), value);
}

std::optional<std::vector<std::uint8_t>> CQtSettingsStore::ReadBytes(const std::string& entry)
{
    QVariant v = m_settings.value(Key(entry));
    if (!v.isValid())
        return std::nullopt;
    QByteArray bytes = v.toByteArray();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void CQtSettingsStore::WriteBytes(const std::string& entry, const std::vector<std::uint8_t>& value)
{
    m_settings.setValue(Key(entry),
                        QByteArray(reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size())));
}
