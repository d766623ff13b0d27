#pragma once
// CShellTreeCtrl: the lazy tree over the browser's namespace. Each item carries the record it
// was listed as (folder, absolute identifier list, content flags, name, attributes, identity);
// expanding an item lists its children on the lazy tree's worker and inserts them sorted in the
// shell's order with their icons. SelectPath walks a path of shown names, expanding each level
// and waiting for its listing without blocking, and reports the item it ends on. GUI thread
// only; the namespace objects it lists through are shared with the workers.

#include "browser/lazy_tree_ctrl.h"
#include "browser/shell_icons.h"
#include "browser/shell_namespace.h"

#include <optional>

class CShellTreeCtrl : public CLazyTreeCtrl {
    Q_OBJECT
public:
    // desktop null: the places of this user's desktop.
    explicit CShellTreeCtrl(std::shared_ptr<IShellFolder> desktop = {}, CMountSource mounts = {},
                            QWidget* parent = nullptr);
    ~CShellTreeCtrl() override;

    const std::shared_ptr<IShellFolder>& DesktopFolder() const { return m_pDesktop; }

    // The single top item for the desktop, not expanded.
    QTreeWidgetItem* FillRoot(unsigned flags);
    // Inserts an item for record under parent (top level when null), after the last child.
    QTreeWidgetItem* InsertShellItem(QTreeWidgetItem* parent, ShellItemData record);
    // Text, icon (open folder when selected, dimmed when hidden, arrow when a link) and button.
    void FillItemInfo(QTreeWidgetItem* item);
    // The icon alone, as the selection changes.
    void UpdateItemIcon(QTreeWidgetItem* item);
    // The shell's order of two items of one folder: -1, 0 or 1.
    static int CompareShellItems(const QTreeWidgetItem* a, const QTreeWidgetItem* b);

    // Starts selecting the item named by path (shown names split at any of separators; start
    // null: the top item). The walk continues as each level is listed; SelectPathFinished
    // reports the deepest match (null when the first name matches nothing). False when nothing
    // can match at all (empty path, no items).
    bool SelectPath(const QString& path, const QString& separators, QTreeWidgetItem* start = nullptr);
    bool IsSelectingPath() const { return m_walk.has_value(); }
    void CancelSelectPath();

    CPidl GetItemPidl(const QTreeWidgetItem* item) const;
    std::string GetItemPath(const QTreeWidgetItem* item) const;
    // The shown names from the top item down to item, joined by separator.
    QString ItemNamePath(const QTreeWidgetItem* item, QChar separator) const;
    bool IsFolderItem(const QTreeWidgetItem* item) const;

signals:
    void SelectPathFinished(QTreeWidgetItem* item);

protected:
    std::unique_ptr<CLoadingJob> CreateLoadingJob(QTreeWidgetItem* item) override;
    int PopulateItem(QTreeWidgetItem* item, CLoadingJob& job) override;
    void OnSubtreeRemoving(QTreeWidgetItem* root, bool includeRoot) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    CShellIcons m_icons;

private:
    struct CWalk {
        std::vector<std::string> m_names;
        std::size_t m_nIndex = 0;
        QTreeWidgetItem* m_pMatched = nullptr;
        // The folder whose listing the walk waits for.
        QTreeWidgetItem* m_pWaiting = nullptr;
    };
    // Looks for the current name among first and its following siblings.
    void FindPathItem(QTreeWidgetItem* first);
    void FinishWalk(QTreeWidgetItem* item);
    void OnLoadFinishedForWalk(QTreeWidgetItem* item);
    void OnCurrentChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);

    std::shared_ptr<IShellFolder> m_pDesktop;
    CMountSource m_mounts;
    std::optional<CWalk> m_walk;
};
