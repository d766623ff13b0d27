#include "browser/shell_icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <functional>

namespace {

constexpr int kIconSize = 16;

constexpr int kCursorSize = 32;

// A pointer with its tip at the centre of a 32 x 32 cursor and a badge's white box below right;
// draw the badge's black picture into the returned painter's box (x 19..30, y 19..30).
QPixmap CursorWithBadge(const std::function<void(QPainter&)>& badge)
{
    QPixmap pixmap(kCursorSize, kCursorSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    const double x = kCursorSize / 2.0;
    const double y = kCursorSize / 2.0;
    QPainterPath arrow;
    arrow.moveTo(x, y);
    arrow.lineTo(x, y + 11);
    arrow.lineTo(x + 3, y + 8);
    arrow.lineTo(x + 7.5, y + 8);
    arrow.closeSubpath();
    painter.drawPath(arrow);
    painter.drawRect(QRect(19, 19, 11, 11));
    badge(painter);
    painter.end();
    return pixmap;
}

QIcon Themed(const char* name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

} // namespace

QIcon CShellIcons::IconFor(const ShellItemData& item, bool open)
{
    const bool link = (item.m_nAttributes & SFGAO_LINK) != 0;
    const bool ghost = (item.m_nAttributes & SFGAO_GHOST) != 0;
    QString key;
    QIcon base = BaseIcon(item, open, key);
    if (!link && !ghost)
        return base;
    key += QStringLiteral("|%1%2").arg(link ? 'L' : '-').arg(ghost ? 'G' : '-');
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    QIcon decorated = Decorate(base, link, ghost);
    m_cache.insert(key, decorated);
    return decorated;
}

QIcon CShellIcons::BaseIcon(const ShellItemData& item, bool open, QString& key)
{
    if (item.m_pidl.IsEmpty()) {
        key = QStringLiteral("desktop");
    } else {
        const std::string_view entry = PidlLastEntry(item.m_pidl);
        if (PidlEntryKind(entry) == EPidlKind::Place) {
            key = QStringLiteral("place%1-%2").arg(int(PidlPlaceType(entry))).arg(PidlPlaceDriveType(entry));
        } else if (item.IsFolder()) {
            key = open ? QStringLiteral("folder-open") : QStringLiteral("folder");
        } else {
            return FileIcon(QString::fromStdString(item.m_strName), key);
        }
    }
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    QIcon icon;
    if (key == QLatin1String("desktop")) {
        icon = Themed("user-desktop", QStyle::SP_DesktopIcon);
    } else if (key == QLatin1String("folder")) {
        icon = Themed("folder", QStyle::SP_DirIcon);
    } else if (key == QLatin1String("folder-open")) {
        icon = Themed("folder-open", QStyle::SP_DirOpenIcon);
    } else {
        const std::string_view entry = PidlLastEntry(item.m_pidl);
        switch (PidlPlaceType(entry)) {
        case EPlaceType::Home:
            icon = Themed("user-home", QStyle::SP_DirHomeIcon);
            break;
        case EPlaceType::Desktop:
            icon = Themed("user-desktop", QStyle::SP_DesktopIcon);
            break;
        case EPlaceType::FileSystem:
            icon = Themed("drive-harddisk", QStyle::SP_DriveHDIcon);
            break;
        case EPlaceType::Volume:
            switch (PidlPlaceDriveType(entry)) {
            case 2: // removable
                icon = Themed("drive-removable-media", QStyle::SP_DriveFDIcon);
                break;
            case 4: // network
                icon = Themed("folder-remote", QStyle::SP_DriveNetIcon);
                break;
            case 5: // optical
                icon = Themed("media-optical", QStyle::SP_DriveCDIcon);
                break;
            default:
                icon = Themed("drive-harddisk", QStyle::SP_DriveHDIcon);
                break;
            }
            break;
        }
    }
    m_cache.insert(key, icon);
    return icon;
}

QIcon CShellIcons::FileIcon(const QString& name, QString& key)
{
    // Names of one suffix share a type; a name without one is looked up on its own.
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffixKey = dot > 0 ? name.mid(dot).toLower() : QStringLiteral("=") + name;
    auto known = m_mimeBySuffix.constFind(suffixKey);
    QString mimeName;
    if (known != m_mimeBySuffix.constEnd()) {
        mimeName = *known;
    } else {
        mimeName = m_mimeDb.mimeTypeForFile(name, QMimeDatabase::MatchExtension).name();
        m_mimeBySuffix.insert(suffixKey, mimeName);
    }
    key = QStringLiteral("mime:") + mimeName;
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    const QMimeType mime = m_mimeDb.mimeTypeForName(mimeName);
    const QIcon fallback = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    QIcon icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
    m_cache.insert(key, icon);
    return icon;
}

QIcon CShellIcons::Decorate(const QIcon& icon, bool link, bool ghost) const
{
    QPixmap pixmap = icon.pixmap(kIconSize, kIconSize, ghost ? QIcon::Disabled : QIcon::Normal);
    if (pixmap.isNull()) {
        pixmap = QPixmap(kIconSize, kIconSize);
        pixmap.fill(Qt::transparent);
    }
    if (link) {
        // The shortcut arrow in the lower left corner.
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box(0, kIconSize - 8, 8, 8);
        painter.fillRect(box, Qt::white);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(box.adjusted(0, 0, -0.5, -0.5));
        QPainterPath arrow;
        arrow.moveTo(2, kIconSize - 2);
        arrow.lineTo(6, kIconSize - 6);
        painter.drawPath(arrow);
        painter.drawLine(QPointF(3, kIconSize - 6), QPointF(6, kIconSize - 6));
        painter.drawLine(QPointF(6, kIconSize - 6), QPointF(6, kIconSize - 3));
    }
    return QIcon(pixmap);
}

QIcon CShellIcons::HourglassFrame(int step)
{
    static QIcon frames[10];
    step = ((step % 10) + 10) % 10;
    if (!frames[step].isNull())
        return frames[step];
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Steps 0-7 let the sand run down; steps 8 and 9 turn the glass over.
    const double angle = step < 8 ? 0.0 : (step == 8 ? 60.0 : 120.0);
    painter.translate(kIconSize / 2.0, kIconSize / 2.0);
    painter.rotate(angle);
    painter.translate(-kIconSize / 2.0, -kIconSize / 2.0);
    QPainterPath glass;
    glass.moveTo(3, 1);
    glass.lineTo(13, 1);
    glass.lineTo(8.8, 8);
    glass.lineTo(13, 15);
    glass.lineTo(3, 15);
    glass.lineTo(7.2, 8);
    glass.closeSubpath();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawPath(glass);
    const double run = step < 8 ? step / 7.0 : 1.0;
    const QColor sand(200, 150, 40);
    painter.setPen(Qt::NoPen);
    painter.setBrush(sand);
    // Upper bulb empties from the top, lower bulb fills from the bottom.
    const double top = 2 + 5 * run;
    if (run < 1.0) {
        QPainterPath upper;
        const double half = 4.5 * (7 - (top - 1)) / 7;
        upper.moveTo(8 - half, top);
        upper.lineTo(8 + half, top);
        upper.lineTo(8, 7.5);
        upper.closeSubpath();
        painter.drawPath(upper);
    }
    const double level = 14 - 5 * run;
    QPainterPath lower;
    const double halfLower = 4.5 * (level - 8) / 7 + 0.5;
    lower.moveTo(8 - halfLower, level);
    lower.lineTo(8 + halfLower, level);
    lower.lineTo(12.2, 14.2);
    lower.lineTo(3.8, 14.2);
    lower.closeSubpath();
    if (run > 0.0)
        painter.drawPath(lower);
    painter.end();
    frames[step] = QIcon(pixmap);
    return frames[step];
}

const QPixmap& CShellIcons::AddToListCursor()
{
    // Three list lines and a plus: the file joins the list.
    static const QPixmap* cursor = new QPixmap(CursorWithBadge([](QPainter& painter) {
        painter.setPen(QPen(Qt::black, 1));
        for (int line = 0; line < 3; ++line)
            painter.drawLine(21, 21 + 3 * line, 24, 21 + 3 * line);
        painter.drawLine(25, 22, 25, 28);
        painter.drawLine(22, 27, 28, 27);
        painter.drawLine(26, 22, 26, 28);
        painter.drawLine(22, 26, 28, 26);
    }));
    return *cursor;
}

const QPixmap& CShellIcons::MoveHereCursor()
{
    // A folder with an arrow going into it: the item moves there.
    static const QPixmap* cursor = new QPixmap(CursorWithBadge([](QPainter& painter) {
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(21, 24, 7, 4));
        painter.drawLine(21, 23, 24, 23);
        painter.drawLine(24, 20, 24, 26);
        painter.drawLine(22, 24, 26, 24);
        painter.drawLine(23, 25, 25, 25);
    }));
    return *cursor;
}
