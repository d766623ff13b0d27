#include "app/pane_font.h"

#include "app/font_record.h"
#include "base/settings_store.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

#include <algorithm>
#include <cstdlib>

QFont LoadPaneFont(ISettingsStore& store, const char* key, const char* defaultFace, int defaultPoints)
{
    // A stored record of exactly 60 bytes describes the font; anything else is ignored.
    if (auto value = store.ReadBytes(key)) {
        if (auto record = ParseLogFont(*value)) {
            QFont font(QString::fromLatin1(record->m_strFaceName.c_str()));
            font.setStyleHint(QFont::TypeWriter);
            if (record->m_nHeight != 0)
                font.setPixelSize(std::abs(record->m_nHeight));
            else
                font.setPointSize(defaultPoints);
            if (record->m_nWeight > 0)
                font.setWeight(static_cast<QFont::Weight>(std::clamp(record->m_nWeight, 1, 1000)));
            font.setItalic(record->m_bItalic);
            return font;
        }
    }
    // The default face, else the desktop's fixed font, else any fixed-pitch family there is.
    const QString face = QString::fromLatin1(defaultFace);
    QFont font = QFontDatabase::hasFamily(face) ? QFont(face) : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(defaultPoints);
    if (!QFontInfo(font).fixedPitch()) {
        for (const QString& family : QFontDatabase::families()) {
            if (QFontDatabase::isFixedPitch(family)) {
                font.setFamily(family);
                break;
            }
        }
    }
    return font;
}
