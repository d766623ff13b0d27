#include "programming/terminal_ctrl.h"

#include "base/settings_store.h"
#include "programming/terminal_input.h"
#include "serial/serial_port.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cctype>

namespace {
constexpr int kMargin = 3;
constexpr int kTabWidth = 8;
// "hh:mm:ss.zzz " before each line with timestamps on.
constexpr int kStampColumns = 13;

std::int64_t NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

char Lower(char ch)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
}

// Where needle occurs in text, case-insensitive, from (forward) or before (backward) at.
std::ptrdiff_t FindIn(const std::string& text, const std::string& needle, std::ptrdiff_t at, bool forward)
{
    const auto equal = [](char a, char b) { return Lower(a) == Lower(b); };
    if (forward) {
        if (at < 0 || at > static_cast<std::ptrdiff_t>(text.size()))
            return -1;
        auto it = std::search(text.begin() + at, text.end(), needle.begin(), needle.end(), equal);
        return it == text.end() ? -1 : it - text.begin();
    }
    // The last match that starts before at.
    std::ptrdiff_t found = -1;
    for (auto it = text.begin();;) {
        it = std::search(it, text.end(), needle.begin(), needle.end(), equal);
        if (it == text.end() || it - text.begin() >= at)
            return found;
        found = it - text.begin();
        ++it;
    }
}
} // namespace

CTerminalCtrl::CTerminalCtrl(QWidget* parent)
    : QAbstractScrollArea(parent), m_bytes(CLineStore::kDefaultMaxLines * CByteRing::kRowBytes)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    // Black on white whatever the desktop theme, so the board's text stays readable.
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
    connect(&m_updateTimer, &QTimer::timeout, this, &CTerminalCtrl::UpdateView);
    // The user's scrolling (bar, wheel, keys on the bar) decides whether the view follows: the
    // action's target position is known before the view moves there.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        m_bFollowEnd = verticalScrollBar()->sliderPosition() >= verticalScrollBar()->maximum();
    });
    // Reaching the end any other way (the cursor keys with the port closed) follows again.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_bUpdating && value >= verticalScrollBar()->maximum())
            m_bFollowEnd = true;
    });
}

// ---------------------------------------------------------------------------------------------
// What the board sends

void CTerminalCtrl::AppendTerminalText(std::string_view run)
{
    if (run.empty())
        return;
    m_lines.Append(run, NowMs());
    ScheduleUpdate();
}

void CTerminalCtrl::DeleteLastChar()
{
    m_lines.DeleteLastChar();
    ScheduleUpdate();
}

void CTerminalCtrl::ReceivedBytes(const std::uint8_t* data, std::size_t count)
{
    m_bytes.Append(data, count);
    if (m_bHexView)
        ScheduleUpdate();
}

void CTerminalCtrl::ScheduleUpdate()
{
    // At most one update per kRepaintMs: a fast board appends thousands of runs in that time.
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

void CTerminalCtrl::UpdateView()
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
    const int columns = m_bHexView ? 78 : static_cast<int>(m_lines.LongestLine()) + (m_bTimestamps ? kStampColumns : 0);
    QScrollBar* hbar = horizontalScrollBar();
    hbar->setRange(0, std::max(0, columns * charWidth + 2 * kMargin - viewport()->width()));
    hbar->setPageStep(viewport()->width());
    hbar->setSingleStep(charWidth);
    m_bUpdating = false;
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// The view's choices

void CTerminalCtrl::LoadViewSettings(ISettingsStore& store)
{
    m_pStore = nullptr;
    SetScrollback(store.GetProfileInt("TerminalScrollback", kMaxLines));
    SetTimestamps(store.GetProfileInt("TerminalTimestamps", 0) != 0);
    SetHexView(store.GetProfileInt("TerminalHexView", 0) != 0);
    m_pStore = &store;
}

void CTerminalCtrl::SaveSetting(const char* key, int value)
{
    if (m_pStore)
        m_pStore->WriteProfileInt(key, value);
    emit viewSettingsChanged();
}

void CTerminalCtrl::Clear()
{
    m_lines.Clear();
    m_bytes.Clear();
    m_nBaseShown = 0;
    ClearSelection();
    m_bFollowEnd = true;
    UpdateView();
    emit Cleared();
}

void CTerminalCtrl::SetTimestamps(bool on)
{
    m_bTimestamps = on;
    ClearSelection();
    UpdateView();
    SaveSetting("TerminalTimestamps", on ? 1 : 0);
}

void CTerminalCtrl::SetHexView(bool on)
{
    // The other view's rows: what it re-renders is the same bytes, from the end.
    m_bHexView = on;
    m_nBaseShown = RowBase();
    ClearSelection();
    m_bFollowEnd = true;
    UpdateView();
    SaveSetting("TerminalHexView", on ? 1 : 0);
}

void CTerminalCtrl::SetScrollback(int lines)
{
    m_lines.SetMaxLines(static_cast<std::size_t>(std::max(1, lines)));
    m_bytes.SetCapacity(m_lines.MaxLines() * CByteRing::kRowBytes);
    UpdateView();
    SaveSetting("TerminalScrollback", Scrollback());
}

void CTerminalCtrl::PromptFind()
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, tr("Find"), tr("Find what:"), QLineEdit::Normal, m_strLastFind, &ok);
    if (ok && !text.isEmpty())
        FindText(text, true);
}

void CTerminalCtrl::PromptScrollback()
{
    bool ok = false;
    const int lines = QInputDialog::getInt(this, tr("Scrollback"), tr("Lines kept in the terminal:"), Scrollback(), 1,
                                           static_cast<int>(CLineStore::kLargestMaxLines), 1000, &ok);
    if (ok)
        SetScrollback(lines);
}

QMenu* CTerminalCtrl::CreateContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->addAction(tr("&Copy\tCtrl+Shift+C"), this, &CTerminalCtrl::copy)->setEnabled(m_bHasSelection);
    menu->addAction(tr("Select &All\tCtrl+Shift+A"), this, &CTerminalCtrl::selectAll);
    menu->addSeparator();
    menu->addAction(tr("&Find...\tCtrl+Shift+F"), this, &CTerminalCtrl::PromptFind);
    QAction* next = menu->addAction(tr("Find &Next\tF3"), this, [this] { FindText(m_strLastFind, true); });
    QAction* previous = menu->addAction(tr("Find &Previous\tShift+F3"), this, [this] { FindText(m_strLastFind, false); });
    next->setEnabled(!m_strLastFind.isEmpty());
    previous->setEnabled(!m_strLastFind.isEmpty());
    menu->addSeparator();
    QAction* stamps = menu->addAction(tr("&Timestamps"), this, [this](bool on) { SetTimestamps(on); });
    stamps->setCheckable(true);
    stamps->setChecked(m_bTimestamps);
    QAction* hex = menu->addAction(tr("&Hex View"), this, [this](bool on) { SetHexView(on); });
    hex->setCheckable(true);
    hex->setChecked(m_bHexView);
    menu->addAction(tr("&Scrollback..."), this, &CTerminalCtrl::PromptScrollback);
    menu->addSeparator();
    menu->addAction(tr("C&lear\tCtrl+Shift+L"), this, &CTerminalCtrl::Clear);
    // The frame's commands for the terminal (the log, sending, echo).
    if (!m_contextActions.isEmpty()) {
        menu->addSeparator();
        menu->addActions(m_contextActions);
    }
    return menu;
}

void CTerminalCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// ---------------------------------------------------------------------------------------------
// Rows as shown

int CTerminalCtrl::RowCount() const
{
    return static_cast<int>(m_bHexView ? m_bytes.RowCount() : m_lines.LineCount());
}

qint64 CTerminalCtrl::RowBase() const
{
    if (m_bHexView)
        return static_cast<qint64>((m_bytes.FirstKept() + CByteRing::kRowBytes - 1) / CByteRing::kRowBytes);
    return static_cast<qint64>(m_lines.DroppedLines());
}

std::string CTerminalCtrl::RowBytes(std::size_t row) const
{
    if (m_bHexView)
        return m_bytes.RowText(row);
    std::string text;
    if (m_bTimestamps) {
        const std::int64_t ms = m_lines.LineTime(row);
        text = ms == 0 ? std::string(kStampColumns, ' ')
                       : QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss.zzz ")).toStdString();
    }
    const std::size_t start = text.size();
    for (char ch : m_lines.Line(row)) {
        if (ch == '\t')
            text.append(kTabWidth - (text.size() - start) % kTabWidth, ' ');
        else
            text += static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch;
    }
    return text;
}

QString CTerminalCtrl::RowText(int row) const
{
    const std::string bytes = RowBytes(static_cast<std::size_t>(row));
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString CTerminalCtrl::toPlainText() const
{
    const std::string text = m_lines.Text();
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

int CTerminalCtrl::TopRow() const
{
    return verticalScrollBar()->value();
}

int CTerminalCtrl::LineHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

void CTerminalCtrl::paintEvent(QPaintEvent*)
{
    ++m_nPaints;
    QPainter painter(viewport());
    const QPalette& pal = palette();
    painter.fillRect(viewport()->rect(), pal.color(QPalette::Base));
    painter.setFont(font());
    const QFontMetrics metrics = fontMetrics();
    const int height = LineHeight();
    const int left = kMargin - horizontalScrollBar()->value();
    const int first = TopRow();
    const int rows = RowCount();
    const qint64 base = RowBase();
    CTextPos selFrom = std::min(m_selAnchor, m_selCursor);
    CTextPos selTo = std::max(m_selAnchor, m_selCursor);
    for (int row = first, y = 0; row < rows && y < viewport()->height(); ++row, y += height) {
        const QString text = RowText(row);
        const qint64 absolute = base + row;
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(left, y + metrics.ascent(), text);
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

void CTerminalCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateView();
}

void CTerminalCtrl::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateView();
}

void CTerminalCtrl::scrollContentsBy(int, int)
{
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Selection, copy and find

CTerminalCtrl::CTextPos CTerminalCtrl::HitTest(const QPoint& point) const
{
    const int rows = RowCount();
    CTextPos pos;
    if (rows == 0)
        return pos;
    const int row = std::clamp(TopRow() + (point.y() < 0 ? -1 : point.y() / LineHeight()), 0, rows - 1);
    pos.m_nRow = RowBase() + row;
    const QString text = RowText(row);
    const QFontMetrics metrics = fontMetrics();
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

void CTerminalCtrl::ClearSelection()
{
    m_bHasSelection = false;
    m_bSelecting = false;
    viewport()->update();
}

void CTerminalCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        insertFromMimeData(QApplication::clipboard()->mimeData(QClipboard::Selection));
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_selAnchor = m_selCursor = HitTest(event->position().toPoint());
    m_bSelecting = true;
    m_bHasSelection = false;
    viewport()->update();
}

void CTerminalCtrl::mouseMoveEvent(QMouseEvent* event)
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

void CTerminalCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bSelecting)
        return;
    m_bSelecting = false;
    if (m_bHasSelection && QApplication::clipboard()->supportsSelection())
        QApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
}

QString CTerminalCtrl::selectedText() const
{
    if (!m_bHasSelection)
        return {};
    const CTextPos from = std::min(m_selAnchor, m_selCursor);
    const CTextPos to = std::max(m_selAnchor, m_selCursor);
    const qint64 base = RowBase();
    std::string text;
    for (qint64 absolute = std::max(from.m_nRow, base); absolute <= to.m_nRow && absolute - base < RowCount();
         ++absolute) {
        const std::string row = RowBytes(static_cast<std::size_t>(absolute - base));
        const std::size_t start = absolute == from.m_nRow ? std::min<std::size_t>(from.m_nColumn, row.size()) : 0;
        const std::size_t end = absolute == to.m_nRow ? std::min<std::size_t>(to.m_nColumn, row.size()) : row.size();
        if (absolute > from.m_nRow)
            text += '\n';
        if (end > start)
            text.append(row, start, end - start);
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QPoint CTerminalCtrl::SelectionStart() const
{
    if (!m_bHasSelection)
        return {-1, -1};
    const CTextPos from = std::min(m_selAnchor, m_selCursor);
    return {from.m_nColumn, static_cast<int>(from.m_nRow - RowBase())};
}

void CTerminalCtrl::copy()
{
    if (m_bHasSelection)
        QApplication::clipboard()->setText(selectedText());
}

void CTerminalCtrl::selectAll()
{
    const int rows = RowCount();
    if (rows == 0)
        return;
    m_selAnchor = CTextPos{RowBase(), 0};
    m_selCursor = CTextPos{RowBase() + rows - 1, static_cast<int>(RowBytes(static_cast<std::size_t>(rows - 1)).size())};
    m_bHasSelection = true;
    viewport()->update();
}

bool CTerminalCtrl::FindText(const QString& text, bool forward)
{
    if (text.isEmpty())
        return false;
    m_strLastFind = text;
    const std::string needle = text.toLatin1().toStdString();
    const int rows = RowCount();
    if (rows == 0)
        return false;
    const qint64 base = RowBase();
    // From the selection (after its start going forward, before it going back), else from the
    // end of what is kept.
    qint64 row = rows - 1;
    std::ptrdiff_t column = forward ? 0 : static_cast<std::ptrdiff_t>(RowBytes(static_cast<std::size_t>(rows - 1)).size());
    if (m_bHasSelection) {
        const CTextPos from = std::min(m_selAnchor, m_selCursor);
        row = std::clamp<qint64>(from.m_nRow - base, 0, rows - 1);
        column = from.m_nColumn + (forward ? 1 : 0);
    } else if (forward) {
        row = 0;
    }
    for (int step = 0; step <= rows; ++step) {
        const std::string line = RowBytes(static_cast<std::size_t>(row));
        const std::ptrdiff_t at = FindIn(line, needle, column, forward);
        if (at >= 0) {
            m_selAnchor = CTextPos{base + row, static_cast<int>(at)};
            m_selCursor = CTextPos{base + row, static_cast<int>(at + static_cast<std::ptrdiff_t>(needle.size()))};
            m_bHasSelection = true;
            // Shown in the middle of the view; the view stops following the end.
            QScrollBar* bar = verticalScrollBar();
            m_bFollowEnd = false;
            UpdateView();
            const int page = bar->pageStep();
            if (row < bar->value() || row >= bar->value() + page)
                bar->setValue(static_cast<int>(row) - page / 2);
            m_bFollowEnd = bar->value() >= bar->maximum();
            viewport()->update();
            return true;
        }
        row = forward ? (row + 1) % rows : (row + rows - 1) % rows;
        column = forward ? 0 : static_cast<std::ptrdiff_t>(RowBytes(static_cast<std::size_t>(row)).size()) + 1;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Keys

bool CTerminalCtrl::PortOpen() const
{
    return m_pSerial && m_pSerial->IsOpen();
}

void CTerminalCtrl::WriteByte(unsigned char byte)
{
    // A failed write is not reported: the keystroke is lost.
    if (m_pInput)
        m_pInput->Type(*m_pSerial, byte);
    else
        m_pSerial->Write(&byte, 1);
}

void CTerminalCtrl::WriteEnter(bool control)
{
    if (control)
        WriteByte(0x0A);
    else if (m_pInput)
        m_pInput->Enter(*m_pSerial);
    else
        WriteByte(0x0D);
}


bool CTerminalCtrl::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // With the port open the Delete key is this window's own (it does nothing), so the main
        // frame's Delete command must not take it; the view's own keys come here too.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool ownDelete = PortOpen() && key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier;
        if (ownDelete || HandleViewKey(key, false)) {
            event->accept();
            return true;
        }
    }
    // Tab and Backtab would move the focus; while the port is open they are bytes for the board.
    if (event->type() == QEvent::KeyPress && PortOpen()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool CTerminalCtrl::HandleViewKey(QKeyEvent* event, bool act)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F3 && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        if (act)
            FindText(m_strLastFind, mods == Qt::NoModifier);
        return true;
    }
    if (mods != (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    const int key = event->key();
    if (key != Qt::Key_C && key != Qt::Key_A && key != Qt::Key_F && key != Qt::Key_L)
        return false;
    if (!act)
        return true;
    switch (key) {
    case Qt::Key_C: copy(); break;
    case Qt::Key_A: selectAll(); break;
    case Qt::Key_F: PromptFind(); break;
    default: Clear(); break;
    }
    return true;
}

void CTerminalCtrl::keyPressEvent(QKeyEvent* event)
{
    if (HandleViewKey(event, true)) {
        event->accept();
        return;
    }
    if (!PortOpen()) {
        // With the port closed keys do nothing here (navigation keys still move the view).
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Backspace) {
        // Once per key-down, auto-repeat included; no character follows.
        WriteByte(0x08);
        event->accept();
        return;
    }
    if (key == Qt::Key_Delete) {
        event->accept();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // What Enter sends is the user's choice (CR by default); Ctrl+Enter is a line feed, as
        // its character is.
        WriteEnter(mods.testFlag(Qt::ControlModifier));
        event->accept();
        return;
    }
    // Control with a letter (or @ [ \ ] ^ _) is its control code, as a character message carries
    // it; Ctrl+V therefore sends 0x16 and pastes nothing.
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_At && key <= Qt::Key_Underscore) {
        // Ctrl+C still copies a selection, and sends its byte as well.
        if (key == Qt::Key_C && m_bHasSelection)
            copy();
        WriteByte(static_cast<unsigned char>(key & 0x1F));
        event->accept();
        return;
    }
    const QString text = event->text();
    if (text.isEmpty()) {
        // Navigation and modifier keys move the view only.
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    for (QChar ch : text)
        WriteByte(static_cast<unsigned char>(ch.unicode() & 0xFF));
    event->accept();
}

void CTerminalCtrl::insertFromMimeData(const QMimeData*)
{
    // Nothing is ever inserted locally.
}
