#include "ui/anchor_record.h"

#include <limits>

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const std::int64_t absProduct = product < 0 ? -product : product;
    const std::int64_t absDenominator = denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator;
    std::int64_t result = (absProduct + absDenominator / 2) / absDenominator;
    if ((product < 0) != (denominator < 0))
        result = -result;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}

std::optional<AnchorRecord> AnchorRecord::Make(CAnchorPoint topLeft, CAnchorPoint bottomRight,
                                               int width, int height, const CAnchorRect& child)
{
    if (topLeft == ANCHOR_NONE)
        return std::nullopt;
    if (bottomRight == ANCHOR_NONE)
        bottomRight = topLeft;

    AnchorRecord record;
    record.m_nLeftPercent = topLeft.x;
    record.m_nTopPercent = topLeft.y;
    record.m_nLeftOffset = child.left - (topLeft.x * width / 100);
    record.m_nTopOffset = child.top - (topLeft.y * height / 100);
    record.m_nRightPercent = bottomRight.x;
    record.m_nBottomPercent = bottomRight.y;
    record.m_nRightOffset = child.right - (width * bottomRight.x / 100);
    record.m_nBottomOffset = child.bottom - (height * bottomRight.y / 100);
    return record;
}

CAnchorRect AnchorRecord::Layout(int cx, int cy) const
{
    CAnchorRect rect;
    rect.left = MulDiv(cx, m_nLeftPercent, 100) + m_nLeftOffset;
    rect.top = MulDiv(cy, m_nTopPercent, 100) + m_nTopOffset;
    rect.right = MulDiv(cx, m_nRightPercent, 100) + m_nRightOffset;
    rect.bottom = MulDiv(cy, m_nBottomPercent, 100) + m_nBottomOffset;
    return rect;
}
