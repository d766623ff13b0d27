#pragma once
// CFileBrowserTree: the file browser pane. How the main frame uses it (GUI thread only):
//
//   m_pBrowser = new CFileBrowserTree(settingsStore, userPrompt,
//                                     [view](const std::string& path) { view->AddFile(path); },
//                                     browserDock);
//   browserDock->setWidget(m_pBrowser);
//   m_pBrowser->FillRoot(SHELLTREE_FILES);     // the "Desktop" item: files shown, hidden not
//   m_pBrowser->RestoreLastBrowse();           // SelectPath("LastBrowse", "/"): expands and
//                                              // selects level by level, without blocking
//   ... at close, before the window goes:
//   m_pBrowser->SaveLastBrowse();              // writes "LastBrowse" only when an item is
//                                              // selected; otherwise the stored value stays
//
// It needs an ISettingsStore ("LastBrowse"), an IUserPrompt (confirmations and errors) and the
// file list's AddFile (double-click on a file). Both references must outlive the tree.
// "LastBrowse" holds the shown names from "Desktop" down, joined by '/', the one character no
// file name holds, so every path round-trips (e.g. "Desktop/Home/projects/board").
//
// Keys: Delete deletes the selected file after "Are you sure?"; F5 reloads the selected folder
// (a file's folder). Dragging an item out carries text/uri-list (the file list adds files and
// refuses folders); dropping it on another folder of this tree moves it there. The cursor tells
// which: add-to-list over the list (which takes a file as a copy), move-here over a folder that
// accepts the item, no-entry wherever the drop is refused. Escape during a drag cancels it; F5
// cancels it too, then reloads. Right click on an item opens the desktop's commands
// (identifiers from 20000). Delete and move act only on the file the user saw: a name that
// stands for another file since it was listed gives an error.

#include "browser/hourglass_tree_ctrl.h"
#include "browser/shell_context_menu.h"

#include "base/settings_store.h"
#include "base/user_prompt.h"

#include <functional>

class QDrag;
class QMimeData;

class CFileBrowserTree : public CHourglassTreeCtrl {
    Q_OBJECT
public:
    using AddFileFn = std::function<void(const std::string& path)>;
    static constexpr const char* kLastBrowseKey = "LastBrowse";
    static constexpr char kPathSeparator = '/';
    // Drag data naming items of this tree (with the tree's token).
    static constexpr const char* kItemMimeType = "application/x-quillorex-browser-item";

    CFileBrowserTree(ISettingsStore& settings, IUserPrompt& prompt, AddFileFn addFile,
                     QWidget* parent = nullptr, std::shared_ptr<IShellFolder> desktop = {},
                     CMountSource mounts = {});
    ~CFileBrowserTree() override;

    void RestoreLastBrowse();
    void SaveLastBrowse();

    // Reloads the folder an item is in (the item itself when it is a folder); 0 when none.
    int RefreshFolderOf(QTreeWidgetItem* item);
    // The Delete key: confirmation, then the selected file goes.
    void DeleteSelected();
    // What a drag of item carries.
    QMimeData* MimeDataFor(QTreeWidgetItem* item) const;
    // The drag of item: its data and its cursors (kAddToListAction over the file list,
    // kMoveHereAction over a folder of this tree). Null for an item that cannot be dragged.
    QDrag* CreateDrag(QTreeWidgetItem* item);
    static constexpr Qt::DropAction kAddToListAction = Qt::CopyAction;
    static constexpr Qt::DropAction kMoveHereAction = Qt::MoveAction;
    // A drag of an item of this tree runs (started here, or entered over the tree) and was not
    // cancelled.
    bool IsDragging() const;
    // Ends the drag without a drop; nothing happens when no drag runs.
    void CancelDrag();
    // The folder highlighted as the drop target (null when none).
    QTreeWidgetItem* DropItem() const { return m_pDropItem; }
    // Whether dragItem may be dropped on dropItem (a folder that is neither the item, its own
    // folder nor below it).
    bool IsValidDropTarget(const QTreeWidgetItem* dragItem, const QTreeWidgetItem* dropItem) const;
    // Moves dragItem into dropItem, then reloads dropItem. False when nothing was moved.
    bool MoveItem(QTreeWidgetItem* dragItem, QTreeWidgetItem* dropItem);

    // The context menu of item: the desktop's entries and the trailing separator. False when
    // the item has no commands.
    bool BuildContextMenu(QMenu& menu, QTreeWidgetItem* item);
    // Carries out a command of the last menu, then reloads the selected item's folder.
    void OnShellCommand(unsigned id);
    // The item highlighted while its menu is open (null otherwise).
    QTreeWidgetItem* MenuItem() const { return m_pMenuItem; }

signals:
    // A drop on this tree was carried out (moved true) or refused by the file system.
    void MoveFinished(bool moved);

protected:
    bool DiscardChildrenOnCollapse(QTreeWidgetItem* /*item*/) override { return true; }
    void OnSubtreeRemoving(QTreeWidgetItem* root, bool includeRoot) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void OnDoubleClicked(QTreeWidgetItem* item);
    // The dragged item named by drag data of this tree; null when the data is foreign or the
    // item is gone.
    QTreeWidgetItem* DraggedItem(const QMimeData* data) const;
    QTreeWidgetItem* FindItemByPidl(const CPidl& pidl) const;
    bool OnItemLabel(QTreeWidgetItem* item, const QPoint& pos) const;
    void SetDropItem(QTreeWidgetItem* item);
    // Escape and F5 while dragging; true when the key was used.
    bool OnDragKey(int key);

    ISettingsStore& m_settings;
    IUserPrompt& m_prompt;
    AddFileFn m_addFile;
    CShellContextMenu m_ContextMenu;
    QByteArray m_token;
    QTreeWidgetItem* m_pDragItem = nullptr;
    QTreeWidgetItem* m_pDropItem = nullptr;
    QTreeWidgetItem* m_pMenuItem = nullptr;
    QTreeWidgetItem* m_pCommandItem = nullptr;
    // This tree's own drag is running (inside QDrag::exec).
    bool m_bDragging = false;
    // The running drag was cancelled: no drop is taken until the next one begins.
    bool m_bDragCancelled = false;
};
