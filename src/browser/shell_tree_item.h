#pragma once
// CShellTreeItem: a tree item with its record (the ShellItemData it was listed as). The record
// lives exactly as long as the item. GUI thread only.

#include "browser/shell_folder.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

class CShellTreeItem : public QTreeWidgetItem {
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 61;

    explicit CShellTreeItem(ShellItemData record) : QTreeWidgetItem(kType), m_record(std::move(record)) {}
    // Leaves the tree while still whole: the view's signals about the removal (a new current
    // item) may look at this item's record.
    ~CShellTreeItem() override
    {
        if (QTreeWidgetItem* parentItem = parent())
            parentItem->removeChild(this);
        else if (QTreeWidget* tree = treeWidget())
            tree->takeTopLevelItem(tree->indexOfTopLevelItem(this));
    }

    const ShellItemData& Record() const { return m_record; }

    // The record of any item; null for items without one (the placeholder).
    static const ShellItemData* RecordOf(const QTreeWidgetItem* item)
    {
        if (item == nullptr || item->type() != kType)
            return nullptr;
        return &static_cast<const CShellTreeItem*>(item)->m_record;
    }

private:
    ShellItemData m_record;
};
