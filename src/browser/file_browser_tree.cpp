#include "browser/file_browser_tree.h"

#include "base/system_error.h"
#include "browser/shell_file_ops.h"
#include "browser/shell_icons.h"
#include "browser/shell_tree_item.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStatusTipEvent>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QUrl>

namespace {

constexpr unsigned kShellFirst = 20000;
constexpr unsigned kShellLast = 21000;

bool IsOurKey(int key)
{
    return key == Qt::Key_Delete || key == Qt::Key_F5;
}

} // namespace

CFileBrowserTree::CFileBrowserTree(ISettingsStore& settings, IUserPrompt& prompt, AddFileFn addFile,
                                   QWidget* parent, std::shared_ptr<IShellFolder> desktop, CMountSource mounts)
    : CHourglassTreeCtrl(std::move(desktop), std::move(mounts), parent),
      m_settings(settings),
      m_prompt(prompt),
      m_addFile(std::move(addFile)),
      m_ContextMenu(prompt)
{
    m_token = QByteArray::number(QCoreApplication::applicationPid()) + ':' +
              QByteArray::number(reinterpret_cast<quintptr>(this), 16);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &CFileBrowserTree::OnDoubleClicked);
}

CFileBrowserTree::~CFileBrowserTree() = default;

void CFileBrowserTree::RestoreLastBrowse()
{
    SelectPath(QString::fromStdString(m_settings.ReadString(kLastBrowseKey, std::string())),
               QString(QChar::fromLatin1(kPathSeparator)));
}

void CFileBrowserTree::SaveLastBrowse()
{
    QTreeWidgetItem* item = currentItem();
    if (item == nullptr || !item->isSelected() || CShellTreeItem::RecordOf(item) == nullptr)
        return;
    const QString path = ItemNamePath(item, QChar::fromLatin1(kPathSeparator));
    if (!path.isEmpty())
        m_settings.WriteString(kLastBrowseKey, path.toStdString());
}

int CFileBrowserTree::RefreshFolderOf(QTreeWidgetItem* item)
{
    if (item == nullptr)
        return 0;
    if (!ItemHasChildren(item))
        item = item->parent();
    if (item == nullptr)
        return 0;
    return RefreshItem(item);
}

void CFileBrowserTree::DeleteSelected()
{
    QTreeWidgetItem* item = currentItem();
    if (item == nullptr)
        return;
    if (m_prompt.ShowBox("Are you sure?", "Confirm to delete the file", kBoxYesNo) != kAnswerYes)
        return;
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    const std::string path = record != nullptr ? GetPidlPath(record->m_pidl) : std::string();
    const std::error_code error = record != nullptr ? DeleteShellFile(path, record->m_identity)
                                                    : std::make_error_code(std::errc::no_such_file_or_directory);
    if (error) {
        ShowSystemError(m_prompt, error, "An error occured while deleting the file.", path);
        return;
    }
    DeleteItem(item);
}

bool CFileBrowserTree::event(QEvent* event)
{
    // Delete and F5 are the browser's own while it has the focus, and Escape during a drag: the
    // frame's shortcuts wait.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool ours = IsOurKey(key->key()) || (key->key() == Qt::Key_Escape && IsDragging());
        if (ours && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return CHourglassTreeCtrl::event(event);
}

void CFileBrowserTree::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        CancelSelectPath();
        event->accept();
        DeleteSelected();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && OnDragKey(event->key())) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier)
        RefreshFolderOf(currentItem());
    CHourglassTreeCtrl::keyPressEvent(event);
}

bool CFileBrowserTree::OnDragKey(int key)
{
    if (!IsDragging() || (key != Qt::Key_Escape && key != Qt::Key_F5))
        return false;
    CancelDrag();
    // F5 reloads as always, once the drag is over.
    if (key == Qt::Key_F5)
        RefreshFolderOf(currentItem());
    return true;
}

bool CFileBrowserTree::IsDragging() const
{
    return (m_bDragging || m_pDragItem != nullptr) && !m_bDragCancelled;
}

void CFileBrowserTree::CancelDrag()
{
    if (!IsDragging())
        return;
    m_bDragCancelled = true;
    stopAutoScroll();
    SetDropItem(nullptr);
    m_pDragItem = nullptr;
    // Ends the platform's drag loop; the target hears a leave, never a drop.
    if (m_bDragging)
        QDrag::cancel();
}

void CFileBrowserTree::OnDoubleClicked(QTreeWidgetItem* item)
{
    if (!m_addFile || item == nullptr || CShellTreeItem::RecordOf(item) == nullptr || IsFolderItem(item))
        return;
    m_addFile(GetItemPath(item));
}

QMimeData* CFileBrowserTree::MimeDataFor(QTreeWidgetItem* item) const
{
    auto* data = new QMimeData;
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    if (record == nullptr)
        return data;
    const std::string path = GetPidlPath(record->m_pidl);
    if (!path.empty())
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    const std::string pidl = record->m_pidl.Serialize();
    data->setData(QString::fromLatin1(kItemMimeType),
                  m_token + '\n' + QByteArray(pidl.data(), static_cast<qsizetype>(pidl.size())));
    return data;
}

QTreeWidgetItem* CFileBrowserTree::DraggedItem(const QMimeData* data) const
{
    if (data == nullptr || !data->hasFormat(QString::fromLatin1(kItemMimeType)))
        return nullptr;
    const QByteArray bytes = data->data(QString::fromLatin1(kItemMimeType));
    const qsizetype newline = bytes.indexOf('\n');
    if (newline < 0 || bytes.left(newline) != m_token)
        return nullptr;
    const QByteArray list = bytes.mid(newline + 1);
    const CPidl pidl = CPidl::Deserialize(std::string_view(list.constData(), static_cast<std::size_t>(list.size())));
    if (pidl.IsNull())
        return nullptr;
    return FindItemByPidl(pidl);
}

QTreeWidgetItem* CFileBrowserTree::FindItemByPidl(const CPidl& pidl) const
{
    for (QTreeWidgetItemIterator it(const_cast<CFileBrowserTree*>(this)); *it != nullptr; ++it) {
        const ShellItemData* record = CShellTreeItem::RecordOf(*it);
        if (record != nullptr && record->m_pidl == pidl)
            return *it;
    }
    return nullptr;
}

bool CFileBrowserTree::IsValidDropTarget(const QTreeWidgetItem* dragItem, const QTreeWidgetItem* dropItem) const
{
    const ShellItemData* drag = CShellTreeItem::RecordOf(dragItem);
    const ShellItemData* drop = CShellTreeItem::RecordOf(dropItem);
    if (drag == nullptr || drop == nullptr || dragItem == dropItem)
        return false;
    // Places and the desktop stay where they are; only files and folders move.
    if (PidlEntryKind(PidlLastEntry(drag->m_pidl)) != EPidlKind::File)
        return false;
    if (!drop->IsFolder() || dropItem == dragItem->parent() || IsInSubtree(dropItem, dragItem))
        return false;
    return !GetPidlPath(drop->m_pidl).empty();
}

bool CFileBrowserTree::MoveItem(QTreeWidgetItem* dragItem, QTreeWidgetItem* dropItem)
{
    if (!IsValidDropTarget(dragItem, dropItem))
        return false;
    const ShellItemData* drag = CShellTreeItem::RecordOf(dragItem);
    const std::string source = GetPidlPath(drag->m_pidl);
    std::string destination = GetItemPath(dropItem);
    if (destination.back() != '/')
        destination += '/';
    destination += PidlFileName(PidlLastEntry(drag->m_pidl));
    if (const std::error_code error = MoveShellFile(source, destination, drag->m_identity)) {
        ShowSystemError(m_prompt, error, "An error occured while moving the file.", source);
        return false;
    }
    DeleteItem(dragItem);
    // The target folder holds something now, even when it was listed empty: list it again.
    dropItem->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    RefreshFolderOf(dropItem);
    return true;
}

QDrag* CFileBrowserTree::CreateDrag(QTreeWidgetItem* item)
{
    if (CShellTreeItem::RecordOf(item) == nullptr)
        return nullptr;
    auto* drag = new QDrag(this);
    drag->setMimeData(MimeDataFor(item));
    drag->setPixmap(item->icon(0).pixmap(16, 16));
    // The cursor follows the action the target accepts; a refusal shows the system's no-entry.
    drag->setDragCursor(CShellIcons::AddToListCursor(), kAddToListAction);
    drag->setDragCursor(CShellIcons::MoveHereCursor(), kMoveHereAction);
    return drag;
}

void CFileBrowserTree::startDrag(Qt::DropActions /*supportedActions*/)
{
    QDrag* drag = CreateDrag(currentItem());
    if (drag == nullptr)
        return;
    CancelSelectPath();
    m_bDragging = true;
    m_bDragCancelled = false;
    // The platform's drag loop takes every key for itself through a filter on the application;
    // a filter installed once that loop runs is asked first, so Escape and F5 reach this tree.
    QTimer::singleShot(0, this, [this] {
        if (m_bDragging)
            qApp->installEventFilter(this);
    });
    // Other programs get a copy unless the user asks otherwise; a drop on this tree moves.
    const QPointer<CFileBrowserTree> alive(this);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    // The window may have been closed while the drag ran.
    if (alive.isNull())
        return;
    qApp->removeEventFilter(this);
    m_bDragging = false;
    m_bDragCancelled = false;
    stopAutoScroll();
    m_pDragItem = nullptr;
    SetDropItem(nullptr);
}

void CFileBrowserTree::dragEnterEvent(QDragEnterEvent* event)
{
    // A drag that is not this tree's own begins here; a cancelled one of its own stays cancelled.
    if (!m_bDragging)
        m_bDragCancelled = false;
    m_pDragItem = m_bDragCancelled ? nullptr : DraggedItem(event->mimeData());
    if (m_pDragItem == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(kMoveHereAction);
    event->accept();
}

void CFileBrowserTree::dragMoveEvent(QDragMoveEvent* event)
{
    const QPoint pos = event->position().toPoint();
    // Near an edge the view scrolls, so a folder out of sight can be reached.
    const QRect inner = viewport()->rect().adjusted(autoScrollMargin(), autoScrollMargin(),
                                                    -autoScrollMargin(), -autoScrollMargin());
    if (hasAutoScroll() && !inner.contains(pos))
        startAutoScroll();
    QTreeWidgetItem* drop = itemAt(pos);
    if (!m_bDragCancelled && m_pDragItem != nullptr && IsValidDropTarget(m_pDragItem, drop)) {
        SetDropItem(drop);
        event->setDropAction(kMoveHereAction);
        event->accept();
        return;
    }
    SetDropItem(nullptr);
    event->ignore();
}

void CFileBrowserTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    stopAutoScroll();
    SetDropItem(nullptr);
    m_pDragItem = nullptr;
    if (!m_bDragging)
        m_bDragCancelled = false;
    event->accept();
}

void CFileBrowserTree::dropEvent(QDropEvent* event)
{
    if (m_bDragCancelled) {
        stopAutoScroll();
        event->ignore();
        return;
    }
    QTreeWidgetItem* drag = m_pDragItem != nullptr ? m_pDragItem : DraggedItem(event->mimeData());
    QTreeWidgetItem* drop = itemAt(event->position().toPoint());
    stopAutoScroll();
    SetDropItem(nullptr);
    m_pDragItem = nullptr;
    if (!IsValidDropTarget(drag, drop)) {
        event->ignore();
        return;
    }
    event->setDropAction(kMoveHereAction);
    event->accept();
    // The move (and any error box) waits until the drag has ended; both items are found again
    // by their lists, in case the tree changed meanwhile.
    const CPidl dragPidl = GetItemPidl(drag);
    const CPidl dropPidl = GetItemPidl(drop);
    QMetaObject::invokeMethod(this, [this, dragPidl, dropPidl] {
        QTreeWidgetItem* dragItem = FindItemByPidl(dragPidl);
        QTreeWidgetItem* dropItem = FindItemByPidl(dropPidl);
        emit MoveFinished(dragItem != nullptr && dropItem != nullptr && MoveItem(dragItem, dropItem));
    }, Qt::QueuedConnection);
}

void CFileBrowserTree::SetDropItem(QTreeWidgetItem* item)
{
    if (item == m_pDropItem)
        return;
    if (m_pDropItem != nullptr)
        viewport()->update(visualItemRect(m_pDropItem));
    m_pDropItem = item;
    if (m_pDropItem != nullptr)
        viewport()->update(visualItemRect(m_pDropItem));
}

void CFileBrowserTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    CHourglassTreeCtrl::drawRow(painter, option, index);
    if (m_pDropItem != nullptr && index == indexFromItem(m_pDropItem)) {
        // The folder that accepts the drop.
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::Highlight), 2));
        painter->drawRect(visualItemRect(m_pDropItem).adjusted(1, 1, -1, -1));
        painter->restore();
    }
}

void CFileBrowserTree::mousePressEvent(QMouseEvent* event)
{
    // A right click neither selects nor does anything else; the context menu follows.
    if (event->button() == Qt::RightButton) {
        CancelSelectPath();
        event->accept();
        return;
    }
    CHourglassTreeCtrl::mousePressEvent(event);
}

bool CFileBrowserTree::OnItemLabel(QTreeWidgetItem* item, const QPoint& pos) const
{
    const QRect cell = visualItemRect(item);
    if (!cell.contains(pos))
        return false;
    const int textLeft = cell.left() + iconSize().width() + 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4;
    const int textRight = textLeft + fontMetrics().horizontalAdvance(item->text(0)) + 3;
    return pos.x() >= cell.left() && pos.x() <= textRight;
}

bool CFileBrowserTree::BuildContextMenu(QMenu& menu, QTreeWidgetItem* item)
{
    // The menu ends with a separator; the desktop's entries go above it. Over a separator the
    // status bar is cleared (eventFilter).
    menu.setSeparatorsCollapsible(false);
    menu.addSeparator();
    menu.installEventFilter(this);
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    if (record == nullptr || !m_ContextMenu.AttachItem(*record))
        return false;
    const bool filled = m_ContextMenu.QueryMenu(&menu, kShellFirst, kShellLast);
    // A file goes to the file list from here as by a double-click: the first entry.
    if (m_addFile && !IsFolderItem(item)) {
        auto* add = new QAction(tr("&Add to File List"), &menu);
        add->setStatusTip(tr("Adds the file to the file list"));
        connect(add, &QAction::triggered, this, [this, path = GetItemPath(item)] { m_addFile(path); });
        QAction* first = menu.actions().front();
        menu.insertAction(first, add);
        menu.insertSeparator(first);
    }
    // A pop-up is a window of its own, where status tips stop; the frame's status bar hears
    // them through the tree.
    auto relay = [this](QAction* action) {
        QStatusTipEvent tip(action->isSeparator() ? QString() : action->statusTip());
        QApplication::sendEvent(this, &tip);
    };
    connect(&menu, &QMenu::hovered, this, relay);
    for (QAction* action : menu.actions()) {
        if (QMenu* sub = action->menu())
            connect(sub, &QMenu::hovered, this, relay);
    }
    return filled;
}

void CFileBrowserTree::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    // The menu key opens nothing here, and neither does a click beside the items.
    if (event->reason() == QContextMenuEvent::Keyboard)
        return;
    QTreeWidgetItem* item = itemAt(event->pos());
    if (item == nullptr || CShellTreeItem::RecordOf(item) == nullptr || !OnItemLabel(item, event->pos()))
        return;
    CancelSelectPath();

    QMenu menu(this);
    BuildContextMenu(menu, item);
    // The clicked item stands out while the menu is open; the current item does not move.
    const QPersistentModelIndex selected(currentIndex());
    m_pMenuItem = item;
    m_pCommandItem = item;
    if (item != currentItem())
        selectionModel()->select(indexFromItem(item), QItemSelectionModel::ClearAndSelect);
    QAction* chosen = menu.exec(event->globalPos());
    if (m_pMenuItem != nullptr && m_pMenuItem != currentItem()) {
        if (selected.isValid())
            selectionModel()->select(selected, QItemSelectionModel::ClearAndSelect);
        else
            selectionModel()->clearSelection();
    }
    m_pMenuItem = nullptr;
    if (chosen != nullptr && chosen->data().isValid())
        OnShellCommand(chosen->data().toUInt());
    m_pCommandItem = nullptr;
}

bool CFileBrowserTree::eventFilter(QObject* watched, QEvent* event)
{
    // Installed on the application only while this tree's drag runs.
    if (m_bDragging && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && OnDragKey(key->key()))
            return true;
    }
    if (event->type() == QEvent::MouseMove) {
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            // Over the separators (the trailing one included) the status bar is cleared.
            const QAction* action = menu->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (action == nullptr || action->isSeparator()) {
                QStatusTipEvent tip{QString()};
                QApplication::sendEvent(this, &tip);
            }
        }
    }
    return CHourglassTreeCtrl::eventFilter(watched, event);
}

void CFileBrowserTree::OnShellCommand(unsigned id)
{
    if (id < kShellFirst || id > kShellLast)
        return;
    m_ContextMenu.InvokeCommand(id, this);
    // The command may have changed the disk: the selected item's folder is listed again, and
    // the folder of the item the command was for when that is another one.
    RefreshFolderOf(currentItem());
    // When that folder held the command's item, the item went with the reload (and the pointer
    // with it); otherwise its own folder is listed again too.
    if (m_pCommandItem != nullptr && m_pCommandItem->parent() != nullptr)
        RefreshItem(m_pCommandItem->parent());
}

void CFileBrowserTree::OnSubtreeRemoving(QTreeWidgetItem* root, bool includeRoot)
{
    auto forget = [&](QTreeWidgetItem*& pointer) {
        if (pointer != nullptr && IsInSubtree(pointer, root) && (includeRoot || pointer != root))
            pointer = nullptr;
    };
    if (m_pDropItem != nullptr && IsInSubtree(m_pDropItem, root) && (includeRoot || m_pDropItem != root))
        m_pDropItem = nullptr;
    forget(m_pDragItem);
    forget(m_pMenuItem);
    forget(m_pCommandItem);
    CHourglassTreeCtrl::OnSubtreeRemoving(root, includeRoot);
}
