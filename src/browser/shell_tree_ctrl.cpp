#include "browser/shell_tree_ctrl.h"

#include "browser/desktop_folder.h"
#include "browser/shell_tree_item.h"

#include <QApplication>
#include <QPalette>

namespace {

// Lists one item's children on the worker.
class CShellListingJob : public CLoadingJob {
public:
    CShellListingJob(ShellItemData parent, CMountSource mounts)
        : m_parent(std::move(parent)), m_mounts(std::move(mounts))
    {
    }
    void Run(CLoadingProgress& progress) override
    {
        m_listing = EnumerateChildren(m_parent, progress, m_mounts);
    }
    CFolderListing& Listing() { return m_listing; }

private:
    const ShellItemData m_parent;
    const CMountSource m_mounts;
    CFolderListing m_listing;
};

QTreeWidgetItem* SiblingAt(QTreeWidget* tree, QTreeWidgetItem* parent, int index)
{
    return parent != nullptr ? parent->child(index) : tree->topLevelItem(index);
}

} // namespace

CShellTreeCtrl::CShellTreeCtrl(std::shared_ptr<IShellFolder> desktop, CMountSource mounts, QWidget* parent)
    : CLazyTreeCtrl(parent), m_pDesktop(std::move(desktop)), m_mounts(std::move(mounts))
{
    if (!m_pDesktop) {
        CPlacesConfig config = CPlacesConfig::FromEnvironment();
        config.m_strMountInfo = m_mounts.m_strMountInfo;
        config.m_strSysRoot = m_mounts.m_strSysRoot;
        m_pDesktop = std::make_shared<CDesktopFolder>(config);
    }
    setIconSize(QSize(16, 16));
    connect(this, &CLazyTreeCtrl::LoadFinished, this, &CShellTreeCtrl::OnLoadFinishedForWalk);
    connect(this, &QTreeWidget::currentItemChanged, this, &CShellTreeCtrl::OnCurrentChanged);
}

CShellTreeCtrl::~CShellTreeCtrl() = default;

QTreeWidgetItem* CShellTreeCtrl::FillRoot(unsigned flags)
{
    return InsertShellItem(nullptr, MakeRootItem(m_pDesktop, flags));
}

QTreeWidgetItem* CShellTreeCtrl::InsertShellItem(QTreeWidgetItem* parent, ShellItemData record)
{
    auto* item = new CShellTreeItem(std::move(record));
    FillItemInfo(item);
    if (parent != nullptr)
        parent->addChild(item);
    else
        addTopLevelItem(item);
    return item;
}

void CShellTreeCtrl::FillItemInfo(QTreeWidgetItem* item)
{
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    if (record == nullptr)
        return;
    item->setText(0, QString::fromStdString(record->m_strName));
    UpdateItemIcon(item);
    if ((record->m_nAttributes & SFGAO_GHOST) != 0)
        item->setForeground(0, QApplication::palette().brush(QPalette::Disabled, QPalette::Text));
    if (item->childCount() == 0) {
        item->setChildIndicatorPolicy(ShellItemChildren(*record) != 0 ? QTreeWidgetItem::ShowIndicator
                                                                       : QTreeWidgetItem::DontShowIndicator);
    }
}

void CShellTreeCtrl::UpdateItemIcon(QTreeWidgetItem* item)
{
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    if (record == nullptr)
        return;
    const bool selected = item == currentItem();
    item->setIcon(0, m_icons.IconFor(*record, selected && record->IsFolder()));
}

int CShellTreeCtrl::CompareShellItems(const QTreeWidgetItem* a, const QTreeWidgetItem* b)
{
    const ShellItemData* ra = CShellTreeItem::RecordOf(a);
    const ShellItemData* rb = CShellTreeItem::RecordOf(b);
    if (ra == nullptr || rb == nullptr)
        return 0;
    return ::CompareShellItems(*ra, *rb);
}

std::unique_ptr<CLoadingJob> CShellTreeCtrl::CreateLoadingJob(QTreeWidgetItem* item)
{
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    if (record == nullptr)
        return nullptr;
    return std::make_unique<CShellListingJob>(*record, m_mounts);
}

int CShellTreeCtrl::PopulateItem(QTreeWidgetItem* item, CLoadingJob& job)
{
    CFolderListing& listing = static_cast<CShellListingJob&>(job).Listing();
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(listing.m_items.size()));
    for (ShellItemData& record : listing.m_items) {
        auto* child = new CShellTreeItem(std::move(record));
        FillItemInfo(child);
        children.append(child);
    }
    // Sorted once by the listing, in the folder's own order.
    item->addChildren(children);
    return listing.m_nPopulate;
}

bool CShellTreeCtrl::SelectPath(const QString& path, const QString& separators, QTreeWidgetItem* start)
{
    CancelSelectPath();
    if (start == nullptr)
        start = topLevelItem(0);
    CWalk walk;
    walk.m_names = SplitBrowsePath(path.toStdString(), separators.toStdString());
    if (start == nullptr || walk.m_names.empty())
        return false;
    m_walk = std::move(walk);
    FindPathItem(start);
    return true;
}

void CShellTreeCtrl::CancelSelectPath()
{
    m_walk.reset();
}

void CShellTreeCtrl::FindPathItem(QTreeWidgetItem* first)
{
    CWalk& walk = *m_walk;
    if (first == nullptr || walk.m_nIndex >= walk.m_names.size()) {
        FinishWalk(walk.m_pMatched);
        return;
    }
    QTreeWidgetItem* parent = first->parent();
    int index = parent != nullptr ? parent->indexOfChild(first) : indexOfTopLevelItem(first);
    QTreeWidgetItem* match = nullptr;
    for (QTreeWidgetItem* h = first; h != nullptr; h = SiblingAt(this, parent, ++index)) {
        if (CShellTreeItem::RecordOf(h) == nullptr)
            continue;
        if (BrowseNamesEqual(h->text(0).toStdString(), walk.m_names[walk.m_nIndex])) {
            match = h;
            break;
        }
    }
    if (match == nullptr) {
        FinishWalk(walk.m_pMatched);
        return;
    }
    walk.m_pMatched = match;
    if (!ItemHasChildren(match)) {
        FinishWalk(match);
        return;
    }
    ++walk.m_nIndex;
    if (match->isExpanded() && !IsLoading(match)) {
        if (walk.m_nIndex >= walk.m_names.size())
            FinishWalk(match);
        else
            FindPathItem(match->child(0));
        return;
    }
    walk.m_pWaiting = match;
    if (!match->isExpanded())
        match->setExpanded(true);
    // Listings always complete through the event loop, so the walk resumes from LoadFinished;
    // an item that lists nothing (no record) finishes here.
    if (m_walk && m_walk->m_pWaiting == match && !IsLoading(match)) {
        m_walk->m_pWaiting = nullptr;
        FinishWalk(match);
    }
}

void CShellTreeCtrl::OnLoadFinishedForWalk(QTreeWidgetItem* item)
{
    if (!m_walk || m_walk->m_pWaiting != item)
        return;
    m_walk->m_pWaiting = nullptr;
    if (m_walk->m_nIndex >= m_walk->m_names.size()) {
        FinishWalk(item);
        return;
    }
    FindPathItem(item->child(0));
}

void CShellTreeCtrl::FinishWalk(QTreeWidgetItem* item)
{
    if (!m_walk)
        return;
    m_walk.reset();
    if (item != nullptr) {
        setCurrentItem(item);
        scrollToItem(item);
    }
    emit SelectPathFinished(item);
}

void CShellTreeCtrl::OnSubtreeRemoving(QTreeWidgetItem* root, bool includeRoot)
{
    // A walk waiting for a folder that goes (or whose listing is cancelled) ends on the deepest
    // item that stays.
    if (m_walk && m_walk->m_pWaiting != nullptr && IsInSubtree(m_walk->m_pWaiting, root)) {
        m_walk->m_pWaiting = nullptr;
        FinishWalk(includeRoot ? root->parent() : root);
    }
    CLazyTreeCtrl::OnSubtreeRemoving(root, includeRoot);
}

void CShellTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    // The user's own choice wins over a walk still waiting for a slow folder.
    CancelSelectPath();
    CLazyTreeCtrl::mousePressEvent(event);
}

void CShellTreeCtrl::keyPressEvent(QKeyEvent* event)
{
    CancelSelectPath();
    CLazyTreeCtrl::keyPressEvent(event);
}

void CShellTreeCtrl::OnCurrentChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    // A selected folder shows its open icon.
    if (previous != nullptr)
        UpdateItemIcon(previous);
    if (current != nullptr)
        UpdateItemIcon(current);
}

CPidl CShellTreeCtrl::GetItemPidl(const QTreeWidgetItem* item) const
{
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    return record != nullptr ? record->m_pidl : CPidl();
}

std::string CShellTreeCtrl::GetItemPath(const QTreeWidgetItem* item) const
{
    return GetPidlPath(GetItemPidl(item));
}

QString CShellTreeCtrl::ItemNamePath(const QTreeWidgetItem* item, QChar separator) const
{
    QStringList names;
    for (; item != nullptr; item = item->parent())
        names.prepend(item->text(0));
    return names.join(separator);
}

bool CShellTreeCtrl::IsFolderItem(const QTreeWidgetItem* item) const
{
    const ShellItemData* record = CShellTreeItem::RecordOf(item);
    return record != nullptr && record->IsFolder();
}
