#include "browser/hourglass_tree_ctrl.h"

CHourglassTreeCtrl::CHourglassTreeCtrl(std::shared_ptr<IShellFolder> desktop, CMountSource mounts, QWidget* parent)
    : CProgressTreeCtrl(std::move(desktop), std::move(mounts), parent)
{
    SetAnimationPeriod(kAnimationPeriod);
}

int CHourglassTreeCtrl::HourglassStepOf(const QTreeWidgetItem* placeholder) const
{
    return m_steps.value(placeholder, -1);
}

void CHourglassTreeCtrl::OnBeginLoading(QTreeWidgetItem* placeholder)
{
    CProgressTreeCtrl::OnBeginLoading(placeholder);
    // The first tick, which comes at once, shows step 0.
    m_steps.insert(placeholder, kSteps - 1);
}

void CHourglassTreeCtrl::OnLoadingTick(QTreeWidgetItem* placeholder, bool tick, int total, int count)
{
    if (!tick) {
        CProgressTreeCtrl::OnLoadingTick(placeholder, tick, total, count);
        return;
    }
    auto it = m_steps.find(placeholder);
    if (it == m_steps.end())
        return;
    *it = (*it + 1) % kSteps;
    placeholder->setIcon(0, CShellIcons::HourglassFrame(*it));
}

void CHourglassTreeCtrl::OnEndLoading(QTreeWidgetItem* placeholder)
{
    m_steps.remove(placeholder);
    CProgressTreeCtrl::OnEndLoading(placeholder);
}
