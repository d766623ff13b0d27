#pragma once
// CProgressTreeCtrl: draws the loading progress beside each "Loading..." placeholder: a black
// frame 56 pixels wide starting 3 pixels right of the text, and inside it a red bar up to 50
// pixels long (LoadingBarWidth). GUI thread only.

#include "browser/shell_tree_ctrl.h"

#include <QHash>

class CProgressTreeCtrl : public CShellTreeCtrl {
    Q_OBJECT
public:
    using CShellTreeCtrl::CShellTreeCtrl;

    // The bar's current length beside a placeholder; -1 when it is not loading.
    int LoadingBarOf(const QTreeWidgetItem* placeholder) const;
    // Where the frame is drawn, in viewport coordinates.
    QRect LoadingFrameRect(const QTreeWidgetItem* placeholder) const;

protected:
    void OnBeginLoading(QTreeWidgetItem* placeholder) override;
    void OnLoadingTick(QTreeWidgetItem* placeholder, bool tick, int total, int count) override;
    void OnEndLoading(QTreeWidgetItem* placeholder) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QHash<const QTreeWidgetItem*, int> m_bars;
};
