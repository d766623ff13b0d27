#include "browser/progress_tree_ctrl.h"

#include <QPainter>
#include <QPaintEvent>

namespace {

constexpr int kFrameWidth = 56;
constexpr int kFrameHeight = 16;
constexpr int kFrameInset = 3;

} // namespace

int CProgressTreeCtrl::LoadingBarOf(const QTreeWidgetItem* placeholder) const
{
    return m_bars.value(placeholder, -1);
}

QRect CProgressTreeCtrl::LoadingFrameRect(const QTreeWidgetItem* placeholder) const
{
    const QRect cell = visualItemRect(placeholder);
    if (!cell.isValid())
        return {};
    // The text starts after the icon and the view's margins; the frame 3 pixels after its end.
    const int textLeft = cell.left() + iconSize().width() + 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4;
    const int textRight = textLeft + fontMetrics().horizontalAdvance(placeholder->text(0));
    const int d = std::max(0, (cell.height() - kFrameHeight) / 2);
    return QRect(textRight + kFrameInset, cell.top() + d, kFrameWidth, cell.height() - 2 * d);
}

void CProgressTreeCtrl::OnBeginLoading(QTreeWidgetItem* placeholder)
{
    m_bars.insert(placeholder, 0);
}

void CProgressTreeCtrl::OnLoadingTick(QTreeWidgetItem* placeholder, bool tick, int total, int count)
{
    if (tick || !m_bars.contains(placeholder))
        return;
    const int width = LoadingBarWidth(total, count);
    if (m_bars.value(placeholder) == width)
        return;
    m_bars.insert(placeholder, width);
    viewport()->update(LoadingFrameRect(placeholder).adjusted(-1, -1, 1, 1));
}

void CProgressTreeCtrl::OnEndLoading(QTreeWidgetItem* placeholder)
{
    m_bars.remove(placeholder);
}

void CProgressTreeCtrl::paintEvent(QPaintEvent* event)
{
    CShellTreeCtrl::paintEvent(event);
    if (m_bars.isEmpty())
        return;
    QPainter painter(viewport());
    for (auto it = m_bars.constBegin(); it != m_bars.constEnd(); ++it) {
        const QRect frame = LoadingFrameRect(it.key());
        if (!frame.isValid() || !event->rect().intersects(frame))
            continue;
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        const QRect bar = frame.adjusted(kFrameInset, kFrameInset, -kFrameInset, -kFrameInset);
        painter.fillRect(QRect(bar.left(), bar.top(), it.value(), bar.height()), QColor(255, 0, 0));
    }
}
