#include "ui/line_view.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMainWindow>
#include <QStatusTipEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {
constexpr int kMargin = 3;
constexpr int kTabWidth = 8;

// Where needle occurs in text, case-insensitive, from (forward) or before (backward) at.
qsizetype FindIn(const QString& text, const QString& needle, qsizetype at, bool forward)
{
    if (forward)
        return at < 0 || at > text.size() ? -1 : text.indexOf(needle, at, Qt::CaseInsensitive);
    if (at <= 0)
        return -1;
    return text.lastIndexOf(needle, std::min(at - 1, text.size()), Qt::CaseInsensitive);
}

QColor Mix(const QColor& a, const QColor& b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}
} // namespace

CLineView::CLineView(EEncoding encoding, EKeys keys, std::size_t maxLines, QWidget* parent)
    : QAbstractScrollArea(parent), m_eEncoding(encoding), m_eKeys(keys), m_lines(maxLines)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    // Black on white whatever the desktop theme, so the text stays readable; a selection stays
    // visible while another pane has the focus.
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::white);
        pal.setColor(group, QPalette::Text, Qt::black);
        pal.setColor(group, QPalette::Highlight, QColor(0x33, 0x66, 0xCC));
        pal.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    setPalette(pal);
    viewport()->setAutoFillBackground(false);
    m_updateTimer.setSingleShot(true);
    connect(&m_updateTimer, &QTimer::timeout, this, &CLineView::UpdateView);
    // The user's scrolling (bar, wheel, keys on the bar) decides whether the view follows: the
    // action's target position is known before the view moves there.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        m_bFollowEnd = verticalScrollBar()->sliderPosition() >= verticalScrollBar()->maximum();
    });
    // Reaching the end any other way (the cursor keys) follows again.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_bUpdating && value >= verticalScrollBar()->maximum())
            m_bFollowEnd = true;
    });
}

// ---------------------------------------------------------------------------------------------
// Text

void CLineView::AppendText(std::string_view run)
{
    if (run.empty())
        return;
    m_lines.Append(run, QDateTime::currentMSecsSinceEpoch());
    ScheduleUpdate();
}

QString CLineView::Decode(std::string_view bytes) const
{
    const auto size = static_cast<qsizetype>(bytes.size());
    return m_eEncoding == EEncoding::Utf8 ? QString::fromUtf8(bytes.data(), size) : QString::fromLatin1(bytes.data(), size);
}

QString CLineView::PlainText() const
{
    return Decode(m_lines.Text());
}

void CLineView::SetPlainText(const QString& text)
{
    ClearText();
    const QByteArray bytes = m_eEncoding == EEncoding::Utf8 ? text.toUtf8() : text.toLatin1();
    AppendText(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
    UpdateView();
}

void CLineView::ClearText()
{
    m_lines.Clear();
    TextCleared();
    m_nBaseShown = 0;
    m_nCurrent = -1;
    ClearSelection();
    m_bFollowEnd = true;
    UpdateView();
}

void CLineView::ResetRows()
{
    m_nBaseShown = RowBase();
    m_nCurrent = -1;
    ClearSelection();
    m_bFollowEnd = true;
    UpdateView();
}

void CLineView::ScheduleUpdate()
{
    // At most one update per kRepaintMs: a fast stream appends thousands of runs in that time.
    // The check is here as well as in the timer, since Qt runs timers only when the queue of
    // posted events has room, and a flood keeps it full.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastUpdate >= std::chrono::milliseconds(kRepaintMs)) {
        UpdateView();
        return;
    }
    if (!m_updateTimer.isActive())
        m_updateTimer.start(kRepaintMs);
}

void CLineView::UpdateView()
{
    m_updateTimer.stop();
    m_lastUpdate = std::chrono::steady_clock::now();
    QScrollBar* bar = verticalScrollBar();
    const int page = std::max(1, viewport()->height() / LineHeight());
    const qint64 base = RowBase();
    const qint64 gone = base - m_nBaseShown;
    m_nBaseShown = base;
    m_bUpdating = true;
    const int maximum = std::max(0, RowCount() - page);
    // Old rows going at the top do not move what the user scrolled to.
    const int top = m_bFollowEnd ? maximum : static_cast<int>(std::max<qint64>(0, bar->value() - gone));
    bar->setRange(0, maximum);
    bar->setPageStep(page);
    bar->setSingleStep(1);
    bar->setValue(top);
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('M'));
    QScrollBar* hbar = horizontalScrollBar();
    hbar->setRange(0, std::max(0, RowColumns() * charWidth + 2 * kMargin - viewport()->width()));
    hbar->setPageStep(viewport()->width());
    hbar->setSingleStep(charWidth);
    m_bUpdating = false;
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Rows as shown

int CLineView::RowCount() const
{
    return static_cast<int>(m_lines.LineCount());
}

qint64 CLineView::RowBase() const
{
    return static_cast<qint64>(m_lines.DroppedLines());
}

int CLineView::RowColumns() const
{
    return static_cast<int>(m_lines.LongestLine());
}

QString CLineView::ExpandRow(const QString& text)
{
    QString row;
    row.reserve(text.size());
    for (QChar ch : text) {
        if (ch == QLatin1Char('\t'))
            row.append(QString(kTabWidth - row.size() % kTabWidth, QLatin1Char(' ')));
        else
            row += ch.unicode() < 0x20 ? QLatin1Char(' ') : ch;
    }
    return row;
}

QString CLineView::RowText(int row) const
{
    return ExpandRow(Decode(m_lines.Line(static_cast<std::size_t>(row))));
}

CLineView::CRowStyle CLineView::RowStyle(int) const
{
    return {};
}

QList<CLineView::CSpan> CLineView::RowSpans(int, const QString&) const
{
    return {};
}

int CLineView::TopRow() const
{
    return verticalScrollBar()->value();
}

int CLineView::LineHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

QRect CLineView::RowRect(int row) const
{
    const int y = (row - TopRow()) * LineHeight();
    if (row < 0 || row >= RowCount() || y < 0 || y >= viewport()->height())
        return {};
    return QRect(0, y, viewport()->width(), LineHeight());
}

int CLineView::RowAt(const QPoint& point) const
{
    const int row = TopRow() + point.y() / LineHeight();
    return point.y() < 0 || row >= RowCount() ? -1 : row;
}

QFont CLineView::RowFont(const CRowStyle& style) const
{
    QFont rowFont = font();
    if (style.m_bBold)
        rowFont.setBold(true);
    return rowFont;
}

int CLineView::CurrentRow() const
{
    const qint64 row = m_nCurrent - RowBase();
    return m_nCurrent < 0 || row < 0 || row >= RowCount() ? -1 : static_cast<int>(row);
}

void CLineView::SetCurrentRow(int row)
{
    m_nCurrent = row < 0 || row >= RowCount() ? -1 : RowBase() + row;
    if (m_nCurrent >= 0)
        ShowRow(row);
    viewport()->update();
}

void CLineView::ShowRow(int row)
{
    QScrollBar* bar = verticalScrollBar();
    m_bFollowEnd = false;
    UpdateView();
    const int page = bar->pageStep();
    if (row < bar->value() || row >= bar->value() + page)
        bar->setValue(row - page / 2);
    m_bFollowEnd = bar->value() >= bar->maximum();
    viewport()->update();
}

void CLineView::paintEvent(QPaintEvent*)
{
    ++m_nPaints;
    QPainter painter(viewport());
    const QPalette& pal = palette();
    painter.fillRect(viewport()->rect(), pal.color(QPalette::Base));
    const int height = LineHeight();
    const int left = kMargin - horizontalScrollBar()->value();
    const int first = TopRow();
    const int rows = RowCount();
    const qint64 base = RowBase();
    const CTextPos selFrom = std::min(m_selAnchor, m_selCursor);
    const CTextPos selTo = std::max(m_selAnchor, m_selCursor);
    // The current row on a tint of the selection colour: readable on a light or dark base.
    const QColor currentBack = Mix(pal.color(QPalette::Base), pal.color(QPalette::Highlight), 0.25);
    const QFont plainFont = font();
    const QFont boldFont = RowFont(CRowStyle{QColor(), true});
    const QFontMetrics plainMetrics(plainFont);
    const QFontMetrics boldMetrics(boldFont);
    for (int row = first, y = 0; row < rows && y < viewport()->height(); ++row, y += height) {
        const QString text = RowText(row);
        const CRowStyle style = RowStyle(row);
        const QFontMetrics& metrics = style.m_bBold ? boldMetrics : plainMetrics;
        const qint64 absolute = base + row;
        painter.setFont(style.m_bBold ? boldFont : plainFont);
        if (absolute == m_nCurrent)
            painter.fillRect(QRect(0, y, viewport()->width(), height), currentBack);
        painter.setPen(style.m_colour.isValid() ? style.m_colour : pal.color(QPalette::Text));
        painter.drawText(left, y + metrics.ascent(), text);
        for (const CSpan& span : RowSpans(row, text)) {
            const QString part = text.mid(span.m_nFrom, span.m_nLength);
            const int x1 = left + metrics.horizontalAdvance(text.left(span.m_nFrom));
            painter.fillRect(QRect(x1, y, metrics.horizontalAdvance(part), height),
                             absolute == m_nCurrent ? currentBack : pal.color(QPalette::Base));
            painter.setPen(span.m_colour);
            painter.drawText(x1, y + metrics.ascent(), part);
        }
        if (!m_bHasSelection || absolute < selFrom.m_nRow || absolute > selTo.m_nRow)
            continue;
        const int from = absolute == selFrom.m_nRow ? std::min<int>(selFrom.m_nColumn, text.size()) : 0;
        // A selection that goes on past this row takes its line end too (a space's width).
        const bool lineEnd = absolute < selTo.m_nRow;
        const int to = absolute == selTo.m_nRow ? std::min<int>(selTo.m_nColumn, text.size()) : text.size();
        if (to <= from && !lineEnd)
            continue;
        const int x1 = left + metrics.horizontalAdvance(text.left(from));
        const QString part = text.mid(from, std::max(0, to - from));
        const int x2 = left + metrics.horizontalAdvance(text.left(std::max(from, to))) +
                       (lineEnd ? metrics.horizontalAdvance(QLatin1Char(' ')) : 0);
        painter.fillRect(QRect(x1, y, x2 - x1, height), pal.color(QPalette::Highlight));
        painter.setPen(pal.color(QPalette::HighlightedText));
        painter.drawText(x1, y + metrics.ascent(), part);
    }
}

void CLineView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateView();
}

void CLineView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateView();
}

void CLineView::scrollContentsBy(int, int)
{
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Selection, copy and find

CLineView::CTextPos CLineView::HitTest(const QPoint& point) const
{
    const int rows = RowCount();
    CTextPos pos;
    if (rows == 0)
        return pos;
    const int row = std::clamp(TopRow() + (point.y() < 0 ? -1 : point.y() / LineHeight()), 0, rows - 1);
    pos.m_nRow = RowBase() + row;
    const QString text = RowText(row);
    const QFontMetrics metrics(RowFont(RowStyle(row)));
    const int x = point.x() - kMargin + horizontalScrollBar()->value();
    // The column whose left edge is nearest x: advances grow with the prefix.
    int low = 0;
    int high = static_cast<int>(text.size());
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid)) <= x)
            low = mid;
        else
            high = mid - 1;
    }
    if (low < text.size()) {
        const int here = metrics.horizontalAdvance(text.left(low));
        const int next = metrics.horizontalAdvance(text.left(low + 1));
        if (x - here > next - x)
            ++low;
    }
    pos.m_nColumn = low;
    return pos;
}

void CLineView::ClearSelection()
{
    m_bHasSelection = false;
    m_bSelecting = false;
    viewport()->update();
}

void CLineView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        // Nothing is ever inserted (a middle-button paste does nothing).
        if (event->button() != Qt::MiddleButton)
            QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_selAnchor = m_selCursor = HitTest(event->position().toPoint());
    m_bSelecting = true;
    m_bHasSelection = false;
    viewport()->update();
}

void CLineView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bSelecting)
        return;
    const QPoint point = event->position().toPoint();
    // Dragging past the top or bottom edge scrolls a row at a time.
    if (point.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    m_selCursor = HitTest(point);
    m_bHasSelection = !(m_selCursor == m_selAnchor);
    viewport()->update();
}

void CLineView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bSelecting)
        return;
    m_bSelecting = false;
    if (m_bHasSelection && QApplication::clipboard()->supportsSelection())
        QApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
}

QString CLineView::SelectedText() const
{
    if (!m_bHasSelection)
        return {};
    const CTextPos from = std::min(m_selAnchor, m_selCursor);
    const CTextPos to = std::max(m_selAnchor, m_selCursor);
    const qint64 base = RowBase();
    QString text;
    for (qint64 absolute = std::max(from.m_nRow, base); absolute <= to.m_nRow && absolute - base < RowCount();
         ++absolute) {
        const QString row = RowText(static_cast<int>(absolute - base));
        const qsizetype start = absolute == from.m_nRow ? std::min<qsizetype>(from.m_nColumn, row.size()) : 0;
        const qsizetype end = absolute == to.m_nRow ? std::min<qsizetype>(to.m_nColumn, row.size()) : row.size();
        if (absolute > from.m_nRow)
            text += QLatin1Char('\n');
        if (end > start)
            text += QStringView(row).mid(start, end - start);
    }
    return text;
}

QPoint CLineView::SelectionStart() const
{
    if (!m_bHasSelection)
        return {-1, -1};
    const CTextPos from = std::min(m_selAnchor, m_selCursor);
    return {from.m_nColumn, static_cast<int>(from.m_nRow - RowBase())};
}

void CLineView::Copy()
{
    if (m_bHasSelection)
        QApplication::clipboard()->setText(SelectedText());
}

void CLineView::SelectAll()
{
    const int rows = RowCount();
    if (rows == 0)
        return;
    m_selAnchor = CTextPos{RowBase(), 0};
    m_selCursor = CTextPos{RowBase() + rows - 1, static_cast<int>(RowText(rows - 1).size())};
    m_bHasSelection = true;
    viewport()->update();
}

bool CLineView::FindString(const QString& text, bool forward)
{
    if (text.isEmpty())
        return false;
    m_strLastFind = text;
    const int rows = RowCount();
    if (rows == 0) {
        ShowStatus(tr("Not found: %1").arg(text));
        return false;
    }
    const qint64 base = RowBase();
    // From the selection (after its start going forward, before it going back), else from the
    // top going forward and the end going back.
    qint64 row = rows - 1;
    qsizetype column = forward ? 0 : RowText(rows - 1).size();
    if (m_bHasSelection) {
        const CTextPos from = std::min(m_selAnchor, m_selCursor);
        row = std::clamp<qint64>(from.m_nRow - base, 0, rows - 1);
        column = from.m_nColumn + (forward ? 1 : 0);
    } else if (forward) {
        row = 0;
    }
    for (int step = 0; step <= rows; ++step) {
        const QString line = RowText(static_cast<int>(row));
        const qsizetype at = FindIn(line, text, column, forward);
        if (at >= 0) {
            m_selAnchor = CTextPos{base + row, static_cast<int>(at)};
            m_selCursor = CTextPos{base + row, static_cast<int>(at + text.size())};
            m_bHasSelection = true;
            // Shown in the middle of the view; the view stops following the end.
            ShowRow(static_cast<int>(row));
            return true;
        }
        row = forward ? (row + 1) % rows : (row + rows - 1) % rows;
        column = forward ? 0 : RowText(static_cast<int>(row)).size() + 1;
    }
    ShowStatus(tr("Not found: %1").arg(text));
    return false;
}

void CLineView::ShowStatus(const QString& text)
{
    // A status tip stops at a window: a floating pane hands it to the main window itself.
    QWidget* target = this;
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (qobject_cast<QMainWindow*>(w))
            target = w;
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(target, &tip);
}

void CLineView::PromptFind()
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, tr("Find"), tr("Find what:"), QLineEdit::Normal, m_strLastFind, &ok);
    if (ok && !text.isEmpty())
        FindString(text, true);
}

void CLineView::AddViewActions(QMenu* menu)
{
    const bool shift = m_eKeys == EKeys::ControlShift;
    menu->addAction(shift ? tr("&Copy\tCtrl+Shift+C") : tr("&Copy\tCtrl+C"), this, &CLineView::Copy)
        ->setEnabled(m_bHasSelection);
    menu->addAction(shift ? tr("Select &All\tCtrl+Shift+A") : tr("Select &All\tCtrl+A"), this, &CLineView::SelectAll);
    menu->addSeparator();
    menu->addAction(shift ? tr("&Find...\tCtrl+Shift+F") : tr("&Find...\tCtrl+F"), this, &CLineView::PromptFind);
    QAction* next = menu->addAction(tr("Find &Next\tF3"), this, [this] { FindString(m_strLastFind, true); });
    QAction* previous = menu->addAction(tr("Find &Previous\tShift+F3"), this, [this] { FindString(m_strLastFind, false); });
    next->setEnabled(!m_strLastFind.isEmpty());
    previous->setEnabled(!m_strLastFind.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Keys

bool CLineView::event(QEvent* event)
{
    // The view's own keys come before the window's shortcuts.
    if (event->type() == QEvent::ShortcutOverride && HandleViewKey(static_cast<QKeyEvent*>(event), false)) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

bool CLineView::HandleViewKey(QKeyEvent* event, bool act)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F3 && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        if (act)
            FindString(m_strLastFind, mods == Qt::NoModifier);
        return true;
    }
    const Qt::KeyboardModifiers wanted =
        m_eKeys == EKeys::ControlShift ? (Qt::ControlModifier | Qt::ShiftModifier) : Qt::KeyboardModifiers(Qt::ControlModifier);
    const int key = event->key();
    if (mods != wanted || (key != Qt::Key_C && key != Qt::Key_A && key != Qt::Key_F))
        return false;
    if (!act)
        return true;
    switch (key) {
    case Qt::Key_C: Copy(); break;
    case Qt::Key_A: SelectAll(); break;
    default: PromptFind(); break;
    }
    return true;
}

void CLineView::keyPressEvent(QKeyEvent* event)
{
    if (HandleViewKey(event, true)) {
        event->accept();
        return;
    }
    // Navigation keys move the view.
    QAbstractScrollArea::keyPressEvent(event);
}
