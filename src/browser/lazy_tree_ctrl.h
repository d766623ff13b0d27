#pragma once
// CLazyTreeCtrl: a tree whose items list their children only when expanded. Expanding puts a
// "Loading..." placeholder under the item and starts the derived class's job on a worker thread
// (one per expansion; the job never touches widgets). Meanwhile the GUI thread keeps running:
// a timer ticks the indicator hooks every animation period and progress reported by the job is
// posted back and drawn. The results are inserted on the GUI thread in one batch with updates
// off. Collapsing, refreshing or deleting an item cancels its listing: the worker is told to
// stop, its results are dropped, and its thread is joined when it ends (or at destruction).
// GUI thread only, except CLoadingJob::Run.

#include "browser/loading_progress.h"

#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <list>
#include <memory>
#include <thread>

// The part of a load that runs on the worker thread. Run reports progress and stops early when
// progress says it is cancelled; whatever it keeps is read on the GUI thread after it returned.
class CLoadingJob {
public:
    virtual ~CLoadingJob() = default;
    virtual void Run(CLoadingProgress& progress) = 0;
};

class CLazyTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CLazyTreeCtrl(QWidget* parent = nullptr);
    ~CLazyTreeCtrl() override;

    // Milliseconds between indicator ticks; 0: no timer (drawn on progress only).
    void SetAnimationPeriod(int ms) { m_nAnimationPeriod = ms; }
    int AnimationPeriod() const { return m_nAnimationPeriod; }
    const QString& PlaceholderText() const { return m_strPlaceholder; }

    // Lists an item's children afresh (if it is expanded; a collapsed one is emptied and keeps
    // its button). 0 when the item has no children.
    int RefreshItem(QTreeWidgetItem* item);
    void DeleteChildren(QTreeWidgetItem* item);
    // Removes an item with everything below it.
    void DeleteItem(QTreeWidgetItem* item);
    // Children present, or an expand button shown before listing.
    bool ItemHasChildren(const QTreeWidgetItem* item) const;
    // A listing runs for item (any item when null).
    bool IsLoading(const QTreeWidgetItem* item = nullptr) const;
    QTreeWidgetItem* PlaceholderOf(const QTreeWidgetItem* item) const;
    // Worker threads not yet joined, cancelled ones included.
    int WorkerCount() const { return static_cast<int>(m_loads.size()); }

    static bool IsInSubtree(const QTreeWidgetItem* item, const QTreeWidgetItem* root);

signals:
    // The children of item were listed and inserted (not emitted for a cancelled listing).
    void LoadFinished(QTreeWidgetItem* item);

protected:
    virtual bool DiscardChildrenOnCollapse(QTreeWidgetItem* /*item*/) { return false; }
    // The work that lists item's children; null when there is nothing to list.
    virtual std::unique_ptr<CLoadingJob> CreateLoadingJob(QTreeWidgetItem* item) = 0;
    // Inserts the children the job found under item. 1: the expand button shall show whether
    // children exist; 0: it stays whatever was found.
    virtual int PopulateItem(QTreeWidgetItem* item, CLoadingJob& job) = 0;
    // Indicator hooks, GUI thread: a listing starts with its placeholder; a tick of the timer
    // (tick true) or new progress (tick false); the listing ended or was cancelled.
    virtual void OnBeginLoading(QTreeWidgetItem* /*placeholder*/) {}
    virtual void OnLoadingTick(QTreeWidgetItem* /*placeholder*/, bool /*tick*/, int /*total*/, int /*count*/) {}
    virtual void OnEndLoading(QTreeWidgetItem* /*placeholder*/) {}
    // root's children (and root itself when includeRoot) are about to be deleted: forget any
    // pointer to them. The base cancels the listings running there.
    virtual void OnSubtreeRemoving(QTreeWidgetItem* root, bool includeRoot);

private:
    struct CLoad {
        quint64 m_nId = 0;
        QTreeWidgetItem* m_pItem = nullptr;
        QTreeWidgetItem* m_pPlaceholder = nullptr;
        std::unique_ptr<CLoadingJob> m_pJob;
        std::shared_ptr<CLoadingProgress> m_pProgress;
        std::thread m_thread;
        bool m_bCancelled = false;
    };

    void OnItemExpanded(QTreeWidgetItem* item);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void StartLoading(QTreeWidgetItem* item);
    void CancelLoad(CLoad& load);
    void OnWorkerDone(quint64 id);
    void OnTimer();
    void OnProgressPosted();
    // OnLoadingTick for every load not cancelled; tick as there.
    void TickLoads(bool tick);
    void ApplyChildRule(QTreeWidgetItem* item, int populate);
    void UpdateTimer();

    int m_nAnimationPeriod = 0;
    QString m_strPlaceholder = QStringLiteral("Loading...");
    std::list<CLoad> m_loads;
    quint64 m_nNextId = 1;
    QTimer m_timer;
    std::atomic<bool> m_bProgressPosted{false};
};
