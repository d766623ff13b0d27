#pragma once
// The one-pixel flat frame of a pane dialog and of its controls: the client area is the widget
// less a one-pixel ring, and the ring is drawn in the palette's mid colour. A widget too small
// for a ring gets none. GUI thread only (painting).

#include <QPalette>
#include <QRect>

class QPainter;

// The area inside the ring; the whole rectangle when there is no room for one.
QRect FlatFrameClient(const QRect& outer);
// Draws the ring around outer unless there is no room for it.
void PaintFlatFrame(QPainter& painter, const QRect& outer, const QPalette& palette);
