#include "ui/flat_frame.h"

#include <QPainter>

QRect FlatFrameClient(const QRect& outer)
{
    if (outer.width() <= 2 || outer.height() <= 2)
        return outer;
    return outer.adjusted(1, 1, -1, -1);
}

void PaintFlatFrame(QPainter& painter, const QRect& outer, const QPalette& palette)
{
    if (FlatFrameClient(outer) == outer)
        return;
    painter.save();
    painter.setPen(palette.color(QPalette::Mid));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    painter.restore();
}
