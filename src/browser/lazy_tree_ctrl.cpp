#include "browser/lazy_tree_ctrl.h"

#include <QMetaObject>

CLazyTreeCtrl::CLazyTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    connect(this, &QTreeWidget::itemExpanded, this, &CLazyTreeCtrl::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CLazyTreeCtrl::OnItemCollapsed);
    connect(&m_timer, &QTimer::timeout, this, &CLazyTreeCtrl::OnTimer);
}

CLazyTreeCtrl::~CLazyTreeCtrl()
{
    // The workers use only their own job and progress; tell them to stop, then wait for them.
    for (CLoad& load : m_loads)
        load.m_pProgress->Cancel();
    for (CLoad& load : m_loads) {
        if (load.m_thread.joinable())
            load.m_thread.join();
    }
}

bool CLazyTreeCtrl::IsInSubtree(const QTreeWidgetItem* item, const QTreeWidgetItem* root)
{
    for (; item != nullptr; item = item->parent()) {
        if (item == root)
            return true;
    }
    return false;
}

bool CLazyTreeCtrl::ItemHasChildren(const QTreeWidgetItem* item) const
{
    return item != nullptr &&
           (item->childCount() > 0 || item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator);
}

bool CLazyTreeCtrl::IsLoading(const QTreeWidgetItem* item) const
{
    for (const CLoad& load : m_loads) {
        if (!load.m_bCancelled && (item == nullptr || load.m_pItem == item))
            return true;
    }
    return false;
}

QTreeWidgetItem* CLazyTreeCtrl::PlaceholderOf(const QTreeWidgetItem* item) const
{
    for (const CLoad& load : m_loads) {
        if (!load.m_bCancelled && load.m_pItem == item)
            return load.m_pPlaceholder;
    }
    return nullptr;
}

void CLazyTreeCtrl::OnSubtreeRemoving(QTreeWidgetItem* root, bool /*includeRoot*/)
{
    // A listing of root itself goes too: its placeholder is one of the children.
    for (CLoad& load : m_loads) {
        if (!load.m_bCancelled && IsInSubtree(load.m_pItem, root))
            CancelLoad(load);
    }
}

void CLazyTreeCtrl::DeleteChildren(QTreeWidgetItem* item)
{
    if (item == nullptr)
        return;
    OnSubtreeRemoving(item, false);
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    qDeleteAll(children);
}

void CLazyTreeCtrl::DeleteItem(QTreeWidgetItem* item)
{
    if (item == nullptr)
        return;
    OnSubtreeRemoving(item, true);
    delete item;
}

int CLazyTreeCtrl::RefreshItem(QTreeWidgetItem* item)
{
    if (!ItemHasChildren(item))
        return 0;
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    DeleteChildren(item);
    if (item->isExpanded())
        StartLoading(item);
    else
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    setUpdatesEnabled(updates);
    return 1;
}

void CLazyTreeCtrl::OnItemExpanded(QTreeWidgetItem* item)
{
    if (IsLoading(item))
        return;
    if (item->childCount() > 0) {
        if (!DiscardChildrenOnCollapse(item))
            return;
        DeleteChildren(item);
    }
    StartLoading(item);
}

void CLazyTreeCtrl::OnItemCollapsed(QTreeWidgetItem* item)
{
    const bool wasLoading = IsLoading(item);
    if (DiscardChildrenOnCollapse(item)) {
        DeleteChildren(item);
        return;
    }
    if (wasLoading) {
        // Cancelled before anything was inserted: the item is expandable again.
        OnSubtreeRemoving(item, false);
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
}

void CLazyTreeCtrl::StartLoading(QTreeWidgetItem* item)
{
    std::unique_ptr<CLoadingJob> job = CreateLoadingJob(item);
    if (!job) {
        ApplyChildRule(item, 1);
        return;
    }
    auto* placeholder = new QTreeWidgetItem(QStringList(m_strPlaceholder));
    placeholder->setFlags(Qt::ItemIsEnabled);
    item->addChild(placeholder);

    // The worker only posts: at most one progress notification is pending at a time.
    auto progress = std::make_shared<CLoadingProgress>([this] {
        if (!m_bProgressPosted.exchange(true))
            QMetaObject::invokeMethod(this, [this] { OnProgressPosted(); }, Qt::QueuedConnection);
    });

    CLoad& load = m_loads.emplace_back();
    load.m_nId = m_nNextId++;
    load.m_pItem = item;
    load.m_pPlaceholder = placeholder;
    load.m_pJob = std::move(job);
    load.m_pProgress = progress;
    OnBeginLoading(placeholder);

    CLoadingJob* rawJob = load.m_pJob.get();
    const quint64 id = load.m_nId;
    load.m_thread = std::thread([this, rawJob, progress, id] {
        rawJob->Run(*progress);
        QMetaObject::invokeMethod(this, [this, id] { OnWorkerDone(id); }, Qt::QueuedConnection);
    });

    // The first step and the first progress drawing come at once.
    int total = 0;
    const int count = progress->GetLoadingProgress(&total);
    OnLoadingTick(placeholder, true, total, count);
    OnLoadingTick(placeholder, false, total, count);
    UpdateTimer();
}

void CLazyTreeCtrl::CancelLoad(CLoad& load)
{
    load.m_pProgress->Cancel();
    load.m_bCancelled = true;
    OnEndLoading(load.m_pPlaceholder);
    if (load.m_pPlaceholder != nullptr) {
        delete load.m_pPlaceholder;
        load.m_pPlaceholder = nullptr;
    }
    load.m_pItem = nullptr;
    UpdateTimer();
}

void CLazyTreeCtrl::OnWorkerDone(quint64 id)
{
    auto it = m_loads.begin();
    while (it != m_loads.end() && it->m_nId != id)
        ++it;
    if (it == m_loads.end())
        return;
    // The worker has posted its last word; the join is immediate.
    if (it->m_thread.joinable())
        it->m_thread.join();
    CLoad load = std::move(*it);
    m_loads.erase(it);
    if (load.m_bCancelled) {
        UpdateTimer();
        return;
    }

    QTreeWidgetItem* item = load.m_pItem;
    OnEndLoading(load.m_pPlaceholder);
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    delete load.m_pPlaceholder;
    const int populate = PopulateItem(item, *load.m_pJob);
    ApplyChildRule(item, populate);
    setUpdatesEnabled(updates);
    if (item->isExpanded())
        scrollToItem(item);
    UpdateTimer();
    emit LoadFinished(item);
}

void CLazyTreeCtrl::ApplyChildRule(QTreeWidgetItem* item, int populate)
{
    const bool has = item->childCount() > 0;
    if (populate != 0) {
        item->setChildIndicatorPolicy(has ? QTreeWidgetItem::ShowIndicator
                                          : QTreeWidgetItem::DontShowIndicator);
    } else {
        // Contents that may change at any time (a volume that is not fixed): the button stays.
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        if (!has) {
            // Collapsing an empty item has nothing to discard or cancel.
            const QSignalBlocker blocker(this);
            item->setExpanded(false);
        }
    }
}

void CLazyTreeCtrl::OnTimer()
{
    TickLoads(true);
}

void CLazyTreeCtrl::OnProgressPosted()
{
    m_bProgressPosted.store(false);
    TickLoads(false);
}

void CLazyTreeCtrl::TickLoads(bool tick)
{
    for (CLoad& load : m_loads) {
        if (load.m_bCancelled)
            continue;
        int total = 0;
        const int count = load.m_pProgress->GetLoadingProgress(&total);
        OnLoadingTick(load.m_pPlaceholder, tick, total, count);
    }
}

void CLazyTreeCtrl::UpdateTimer()
{
    const bool active = IsLoading() && m_nAnimationPeriod > 0;
    if (active && !m_timer.isActive())
        m_timer.start(m_nAnimationPeriod);
    else if (!active && m_timer.isActive())
        m_timer.stop();
}
