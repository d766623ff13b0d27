#include "app/port_pane_label.h"

#include <QMouseEvent>

CPortPaneLabel::CPortPaneLabel(QWidget* parent) : CElidedLabel(QString(), parent)
{
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignCenter);
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void CPortPaneLabel::SetPortName(const QString& text, bool open)
{
    setText(open ? text : text + QLatin1String(kTextClosed));
    setToolTip(open ? QStringLiteral("%1 is open. Left click: the ports present; right click: line settings, Close Port")
                          .arg(text)
                    : QStringLiteral("%1 is closed. Right click: Open Port, line settings; left click: the ports present")
                          .arg(text));
    if (open == m_bOpen)
        return;
    m_bOpen = open;
    ApplyColour();
}

void CPortPaneLabel::ApplyColour()
{
    // Greyed as a disabled pane looks, while it still takes clicks; open, the bar's own colours.
    if (m_bOpen) {
        setPalette(QPalette());
        return;
    }
    QPalette colours = parentWidget() ? parentWidget()->palette() : palette();
    const QColor grey = colours.color(QPalette::Disabled, QPalette::WindowText);
    colours.setColor(QPalette::Active, QPalette::WindowText, grey);
    colours.setColor(QPalette::Inactive, QPalette::WindowText, grey);
    setPalette(colours);
}

void CPortPaneLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit leftClicked();
    else if (event->button() == Qt::RightButton)
        emit rightClicked();
    event->accept();
}
