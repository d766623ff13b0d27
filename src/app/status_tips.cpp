#include "app/status_tips.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>

#include <algorithm>

CStatusTips::CStatusTips(QMainWindow& window) : QObject(&window), m_window(window), m_pBar(window.statusBar())
{
    // Whatever the bar shows that is not a prompt is a result, for as long as the bar's timer
    // (its child, started before the change is announced) was set to run.
    connect(m_pBar, &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (m_bPrompting)
            return;
        m_strResult = text;
        const QTimer* timer = m_pBar->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
        m_nResultMs = timer && timer->isActive() ? std::max(1, timer->remainingTime()) : 0;
        m_shown.start();
    });
    window.installEventFilter(this);
    // A menu's prompt goes with its menu.
    qApp->installEventFilter(this);
}

QString CStatusTips::Result() const
{
    if (m_strResult.isEmpty() || (m_nResultMs > 0 && m_shown.elapsed() >= m_nResultMs))
        return {};
    return m_strResult;
}

void CStatusTips::ShowPrompt(const QString& tip)
{
    m_bPrompting = true;
    if (!tip.isEmpty()) {
        m_pBar->showMessage(tip);
    } else {
        const QString result = Result();
        const int left = m_nResultMs > 0 ? std::max(1, m_nResultMs - static_cast<int>(m_shown.elapsed())) : 0;
        m_pBar->showMessage(result, result.isEmpty() ? 0 : left);
    }
    m_bPrompting = false;
}

bool CStatusTips::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::StatusTip && watched == &m_window) {
        ShowPrompt(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    if (event->type() == QEvent::Hide && qobject_cast<QMenu*>(watched))
        ShowPrompt(QString());
    return QObject::eventFilter(watched, event);
}
