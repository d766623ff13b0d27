#include "app/port_pane_label.h"

#include <QMouseEvent>

CPortPaneLabel::CPortPaneLabel(const QString& sizingText, QWidget* parent) : QLabel(parent)
{
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignCenter);
    const int margin = 2 * fontMetrics().horizontalAdvance(QLatin1Char(' '));
    setFixedWidth(fontMetrics().horizontalAdvance(sizingText) + margin);
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void CPortPaneLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit leftClicked();
    else if (event->button() == Qt::RightButton)
        emit rightClicked();
    event->accept();
}
