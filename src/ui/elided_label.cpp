#include "ui/elided_label.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {
const QString kEllipsis = QStringLiteral("\u2026");
}

CElidedLabel::CElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

int CElidedLabel::Margin() const
{
    return 2 * fontMetrics().horizontalAdvance(QLatin1Char(' '));
}

bool CElidedLabel::IsElided() const
{
    const int margin = Margin() / 2;
    const int width = contentsRect().width() - 2 * margin;
    return fontMetrics().elidedText(text(), Qt::ElideRight, width) != text();
}

QSize CElidedLabel::sizeHint() const
{
    const QMargins frame = contentsMargins();
    // The text's exact width rounded up (and a pixel), so that the width asked for shows it whole.
    const int textWidth = static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()))) + 1;
    return QSize(textWidth + Margin() + frame.left() + frame.right(), QLabel::sizeHint().height());
}

QSize CElidedLabel::minimumSizeHint() const
{
    const QSize hint = sizeHint();
    const QMargins frame = contentsMargins();
    const int narrowest =
        fontMetrics().horizontalAdvance(text().left(kMinChars) + kEllipsis) + Margin() + frame.left() + frame.right();
    return QSize(std::min(hint.width(), narrowest), QLabel::minimumSizeHint().height());
}

void CElidedLabel::paintEvent(QPaintEvent* event)
{
    // The frame as a label draws it, then the text within the margins.
    QFrame::paintEvent(event);
    QPainter painter(this);
    const int margin = Margin() / 2;
    const QRect area = contentsRect().adjusted(margin, 0, -margin, 0);
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()) | Qt::TextSingleLine,
                          palette(), isEnabled(), shown, foregroundRole());
}
