#pragma once
// Pixel counts of a grabbed widget, for the Qt tests that check what is painted. Header-only
// (the Qt tests link Qt Gui).

#include <QColor>
#include <QImage>
#include <QRect>

// Pixels of exactly this colour inside rect.
inline int CountColour(const QImage& image, const QRect& rect, QColor colour)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                ++count;
    return count;
}
