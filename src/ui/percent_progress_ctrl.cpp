#include "ui/percent_progress_ctrl.h"

#include "ui/flat_frame.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>

CPercentProgressCtrl::CPercentProgressCtrl(QWidget* parent, Qt::Orientation orientation)
    : QWidget(parent), m_bVertical(orientation == Qt::Vertical)
{
    // Painting covers the whole client area: nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(m_bVertical ? QSizePolicy::Fixed : QSizePolicy::Expanding,
                  m_bVertical ? QSizePolicy::Expanding : QSizePolicy::Fixed);
}

QSize CPercentProgressCtrl::sizeHint() const
{
    const int h = fontMetrics().height() + 4;
    return m_bVertical ? QSize(h, 100) : QSize(100, h);
}

void CPercentProgressCtrl::SetRange(std::uint32_t packed)
{
    m_model.SetRange(packed);
}

void CPercentProgressCtrl::SetRange(unsigned short lower, unsigned short upper)
{
    m_model.SetRange(static_cast<std::uint32_t>(lower) | (static_cast<std::uint32_t>(upper) << 16));
}

void CPercentProgressCtrl::SetRange32(int lower, int upper)
{
    m_model.SetRange32(lower, upper);
}

int CPercentProgressCtrl::GetRange(bool wantLow, int* lower, int* upper) const
{
    return m_model.GetRange(wantLow, lower, upper);
}

int CPercentProgressCtrl::Length() const
{
    const QRect client = ClientRect();
    return m_bVertical ? client.height() : client.width();
}

QRect CPercentProgressCtrl::ClientRect() const
{
    return m_bFlatFrame ? FlatFrameClient(rect()) : rect();
}

void CPercentProgressCtrl::SetFlatFrame(bool framed)
{
    if (m_bFlatFrame == framed)
        return;
    m_bFlatFrame = framed;
    m_model.ForgetBarLength();
    update();
}

int CPercentProgressCtrl::ApplyPos(const CProgressModel::CPosResult& result)
{
    if (result.m_bRepaint) {
        // Drawn at once: the download steps from posted events and must show as it goes.
        if (isVisible())
            repaint();
        else
            update();
    }
    return result.m_nOldPos;
}

int CPercentProgressCtrl::SetPos(int pos)
{
    return ApplyPos(m_model.SetPos(pos, Length()));
}

int CPercentProgressCtrl::DeltaPos(int delta)
{
    return ApplyPos(m_model.DeltaPos(delta, Length()));
}

int CPercentProgressCtrl::SetStep(int step)
{
    return m_model.SetStep(step);
}

int CPercentProgressCtrl::StepIt()
{
    return ApplyPos(m_model.StepIt(Length()));
}

CProgressColour CPercentProgressCtrl::ReplaceColour(CProgressColour& member, CProgressColour colour)
{
    const CProgressColour old = member;
    member = colour;
    update();
    return old;
}

CProgressColour CPercentProgressCtrl::SetBarColour(CProgressColour colour)
{
    return ReplaceColour(m_crBar, colour);
}

CProgressColour CPercentProgressCtrl::SetBkColour(CProgressColour colour)
{
    return ReplaceColour(m_crBk, colour);
}

CProgressColour CPercentProgressCtrl::SetTextColour(CProgressColour colour)
{
    return ReplaceColour(m_crText, colour);
}

void CPercentProgressCtrl::SetShowText(bool show)
{
    if (m_bShowText == show)
        return;
    m_bShowText = show;
    update();
}

void CPercentProgressCtrl::SetVertical(bool vertical)
{
    if (m_bVertical == vertical)
        return;
    m_bVertical = vertical;
    m_model.ForgetBarLength();
    update();
}

QString CPercentProgressCtrl::DisplayedText() const
{
    if (!m_bShowText || m_bVertical || m_model.EmptyRange())
        return {};
    return QString::fromStdString(m_model.Text(m_strText.toStdString()));
}

QColor CPercentProgressCtrl::Resolve(CProgressColour colour, QPalette::ColorRole role) const
{
    switch (colour.m_kind) {
    case CProgressColour::Face:
        return palette().color(QPalette::Button);
    case CProgressColour::Rgb:
        return QColor::fromRgb(static_cast<QRgb>(colour.m_rgb | 0xFF000000u));
    case CProgressColour::Default:
        break;
    }
    return palette().color(role);
}

QColor CPercentProgressCtrl::ResolvedBarColour() const
{
    return Resolve(m_crBar, QPalette::Highlight);
}

QColor CPercentProgressCtrl::ResolvedBkColour() const
{
    return Resolve(m_crBk, QPalette::Base);
}

bool CPercentProgressCtrl::event(QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange) {
        // The window keeps its title as well; the caption changes only when the text does.
        const QString text = windowTitle();
        if (text != m_strText) {
            m_strText = text;
            update();
        }
    }
    return QWidget::event(event);
}

void CPercentProgressCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_model.ForgetBarLength();
}

void CPercentProgressCtrl::paintEvent(QPaintEvent* event)
{
    if (m_model.EmptyRange())
        return;
    const QRect clip = event->rect();
    if (clip.isEmpty())
        return;
    // Drawn off screen first so the two fills and the two text passes show at once.
    const qreal ratio = devicePixelRatioF();
    QPixmap image(clip.size() * ratio);
    image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&image);
        painter.translate(-clip.topLeft());
        Paint(painter);
    }
    QPainter screen(this);
    screen.drawPixmap(clip.topLeft(), image);
}

void CPercentProgressCtrl::Paint(QPainter& painter)
{
    const QColor bar = ResolvedBarColour();
    const QColor background = ResolvedBkColour();
    if (m_bFlatFrame)
        PaintFlatFrame(painter, rect(), palette());
    const QRect client = ClientRect();
    const CProgressModel::CSplit split = m_model.Split(
        {client.left(), client.top(), client.left() + client.width(), client.top() + client.height()},
        m_bVertical);
    const auto toRect = [](const CAnchorRect& r) {
        return QRect(r.left, r.top, qMax(0, r.Width()), qMax(0, r.Height()));
    };
    const QRect filled = toRect(split.m_filled) & client;
    const QRect empty = toRect(split.m_empty) & client;
    painter.fillRect(filled, bar);
    painter.fillRect(empty, background);

    const QString text = DisplayedText();
    if (text.isEmpty())
        return;
    painter.setFont(font());
    const bool automatic = m_crText.m_kind == CProgressColour::Default;
    const QColor fixed = Resolve(m_crText, QPalette::Text);
    painter.save();
    painter.setClipRect(filled);
    painter.setPen(automatic ? background : fixed);
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
    painter.save();
    painter.setClipRect(empty);
    painter.setPen(automatic ? bar : fixed);
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}
