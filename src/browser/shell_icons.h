#pragma once
// CShellIcons: the small icons of the browser's items, from the icon theme (QIcon::fromTheme,
// with the style's standard icons when the theme has none) and QMimeDatabase for files (by
// name only, so a slow mount is never read). Icons are cached by kind; a link gets an arrow
// overlay and a hidden item a dimmed icon. GUI thread only.

#include "browser/shell_folder.h"

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>

class CShellIcons {
public:
    // The icon of item; a folder's open icon when open is true (a selected folder).
    QIcon IconFor(const ShellItemData& item, bool open);
    // The ten steps of the loading hourglass.
    static QIcon HourglassFrame(int step);
    // The 32 x 32 black-and-white drag cursors, pointer tip at the centre (a pixmap cursor's hot
    // spot): over the file list when a file may be added, over a folder that takes the item.
    // Made once per process and kept.
    static const QPixmap& AddToListCursor();
    static const QPixmap& MoveHereCursor();

private:
    QIcon BaseIcon(const ShellItemData& item, bool open, QString& key);
    QIcon FileIcon(const QString& name, QString& key);
    QIcon Decorate(const QIcon& icon, bool link, bool ghost) const;

    QMimeDatabase m_mimeDb;
    QHash<QString, QIcon> m_cache;
    QHash<QString, QString> m_mimeBySuffix;
};
