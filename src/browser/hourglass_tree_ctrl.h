#pragma once
// CHourglassTreeCtrl: animates the placeholder's icon as a ten-step hourglass, one step every
// 125 milliseconds (a full turn in 1.25 seconds), on top of the progress frame. GUI thread only.

#include "browser/progress_tree_ctrl.h"

class CHourglassTreeCtrl : public CProgressTreeCtrl {
    Q_OBJECT
public:
    static constexpr int kAnimationPeriod = 125;
    static constexpr int kSteps = 10;

    explicit CHourglassTreeCtrl(std::shared_ptr<IShellFolder> desktop = {}, CMountSource mounts = {},
                                QWidget* parent = nullptr);

    // The step shown beside a placeholder; -1 when it is not loading.
    int HourglassStepOf(const QTreeWidgetItem* placeholder) const;

protected:
    void OnBeginLoading(QTreeWidgetItem* placeholder) override;
    void OnLoadingTick(QTreeWidgetItem* placeholder, bool tick, int total, int count) override;
    void OnEndLoading(QTreeWidgetItem* placeholder) override;

private:
    QHash<const QTreeWidgetItem*, int> m_steps;
};
