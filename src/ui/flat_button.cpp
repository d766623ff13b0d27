#include "ui/flat_button.h"

#include "ui/flat_frame.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

CFlatButton::CFlatButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setAttribute(Qt::WA_Hover);
}

QSize CFlatButton::sizeHint() const
{
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
    return QSize(text.width() + 16, text.height() + 8).expandedTo(QSize(50, 22));
}

void CFlatButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect outer = rect();
    QColor face = palette().color(QPalette::Button);
    if (isEnabled() && (isDown() || isChecked()))
        face = face.darker(115);
    else if (isEnabled() && underMouse())
        face = face.lighter(108);
    painter.fillRect(outer, face);
    PaintFlatFrame(painter, outer, palette());

    QRect client = FlatFrameClient(outer);
    if (isDown())
        client.translate(1, 1);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(client, Qt::AlignCenter | Qt::TextShowMnemonic, text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = client.adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
