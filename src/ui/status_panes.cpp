#include "ui/status_panes.h"

#include "ui/pane_fit.h"

#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

CStatusPanes::CStatusPanes(QStatusBar& bar, QLabel& message) : QWidget(&bar), m_bar(bar), m_message(message)
{
    m_nGap = 2 * fontMetrics().horizontalAdvance(QLatin1Char(' '));
    // Never wider than asked for: the free width is the message's.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    m_nMessageLeft = m_nGap;
    // The bar's size, its message and its temporary message decide the share.
    bar.installEventFilter(this);
    message.installEventFilter(this);
    connect(&bar, &QStatusBar::messageChanged, this, &CStatusPanes::ScheduleRefit);
}

void CStatusPanes::AddPane(QWidget* pane)
{
    if (pane->parentWidget() != this)
        pane->setParent(this);
    m_panes.push_back(pane);
    pane->installEventFilter(this);
    ScheduleRefit();
}

std::vector<QWidget*> CStatusPanes::ShownPanes() const
{
    std::vector<QWidget*> shown;
    for (QWidget* pane : m_panes)
        if (!pane->isHidden())
            shown.push_back(pane);
    return shown;
}

std::vector<CPaneWidths> CStatusPanes::Widths() const
{
    std::vector<CPaneWidths> widths;
    for (QWidget* pane : ShownPanes())
        widths.push_back({std::max(pane->minimumSizeHint().width(), pane->minimumWidth()), pane->sizeHint().width()});
    return widths;
}

int CStatusPanes::Gaps() const
{
    return m_nGap * std::max<int>(0, static_cast<int>(ShownPanes().size()) - 1);
}

QSize CStatusPanes::sizeHint() const
{
    int height = 0;
    int hint = Gaps();
    for (QWidget* pane : ShownPanes()) {
        height = std::max(height, pane->sizeHint().height());
        hint += pane->sizeHint().width();
    }
    return QSize(m_nWanted >= 0 ? m_nWanted : hint, height);
}

QSize CStatusPanes::minimumSizeHint() const
{
    int minimum = Gaps();
    for (const CPaneWidths& pane : Widths())
        minimum += pane.m_nMin;
    return QSize(minimum, sizeHint().height());
}

void CStatusPanes::ScheduleRefit()
{
    if (m_bRefitPending)
        return;
    m_bRefitPending = true;
    QTimer::singleShot(0, this, [this] { Refit(); });
}

void CStatusPanes::Refit()
{
    m_bRefitPending = false;
    const std::vector<CPaneWidths> widths = Widths();
    int wanted = Gaps();
    for (const CPaneWidths& pane : widths)
        wanted += pane.m_nHint;
    if (isVisible() && width() > 0) {
        // The message and these panes share what lies between the message's left edge and this
        // widget's right edge; how it is split does not move either edge.
        if (m_message.isVisible())
            m_nMessageLeft = m_message.x();
        const int flexible = x() + width() - m_nMessageLeft - m_nGap;
        const QString text = m_bar.currentMessage().isEmpty() ? m_message.text() : m_bar.currentMessage();
        const int need = m_message.fontMetrics().horizontalAdvance(text) + 2 * m_nGap;
        wanted = CPaneFit::PanesWidth(flexible - Gaps(), need, widths) + Gaps();
    }
    if (wanted != m_nWanted) {
        m_nWanted = wanted;
        updateGeometry();
    }
    Arrange();
}

void CStatusPanes::Arrange()
{
    const std::vector<QWidget*> shown = ShownPanes();
    const std::vector<int> widths = CPaneFit::Distribute(width() - Gaps(), Widths());
    int left = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        shown[i]->setGeometry(left, 0, widths[i], height());
        left += widths[i] + m_nGap;
    }
}

bool CStatusPanes::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest)
        ScheduleRefit();
    return QWidget::event(event);
}

bool CStatusPanes::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::LayoutRequest:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched == &m_bar || watched == &m_message || watched->parent() == this)
            ScheduleRefit();
        break;
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

void CStatusPanes::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Arrange();
}
