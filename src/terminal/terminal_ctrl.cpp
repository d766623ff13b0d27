#include "terminal/terminal_ctrl.h"

#include "base/settings_store.h"
#include "terminal/highlight_rules.h"
#include "terminal/terminal_input.h"
#include "serial/serial_port.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>

namespace {
// "hh:mm:ss.zzz " before each line with timestamps on.
constexpr int kStampColumns = 13;
} // namespace

CTerminalCtrl::CTerminalCtrl(QWidget* parent)
    : CLineView(EEncoding::Latin1, EKeys::ControlShift, CLineStore::kDefaultMaxLines, parent),
      m_bytes(CLineStore::kDefaultMaxLines * CByteRing::kRowBytes)
{
}

// ---------------------------------------------------------------------------------------------
// What the board sends

void CTerminalCtrl::AppendTerminalText(std::string_view run)
{
    AppendText(run);
}

void CTerminalCtrl::DeleteLastChar()
{
    MutableLines().DeleteLastChar();
    ScheduleUpdate();
}

void CTerminalCtrl::ReceivedBytes(const std::uint8_t* data, std::size_t count)
{
    m_bytes.Append(data, count);
    if (m_bHexView)
        ScheduleUpdate();
}

// ---------------------------------------------------------------------------------------------
// The view's choices

void CTerminalCtrl::LoadViewSettings(ISettingsStore& store)
{
    m_pStore = nullptr;
    SetScrollback(store.ReadInt("TerminalScrollback", kMaxLines));
    SetTimestamps(store.ReadFlag("TerminalTimestamps", 0) != 0);
    SetHexView(store.ReadFlag("TerminalHexView", 0) != 0);
    m_pStore = &store;
}

void CTerminalCtrl::SaveSetting(const char* key, int value)
{
    if (m_pStore)
        m_pStore->WriteInt(key, value);
    emit viewSettingsChanged();
}

void CTerminalCtrl::Clear()
{
    m_bytes.Clear();
    ClearText();
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
    ResetRows();
    SaveSetting("TerminalHexView", on ? 1 : 0);
}

void CTerminalCtrl::SetScrollback(int lines)
{
    MutableLines().SetMaxLines(static_cast<std::size_t>(std::max(1, lines)));
    m_bytes.SetCapacity(Lines().MaxLines() * CByteRing::kRowBytes);
    UpdateView();
    SaveSetting("TerminalScrollback", Scrollback());
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
    AddViewActions(menu);
    menu->addSeparator();
    QAction* stamps = menu->addAction(tr("&Timestamps"), this, [this](bool on) { SetTimestamps(on); });
    stamps->setCheckable(true);
    stamps->setChecked(m_bTimestamps);
    QAction* hex = menu->addAction(tr("&Hex View"), this, [this](bool on) { SetHexView(on); });
    hex->setCheckable(true);
    hex->setChecked(m_bHexView);
    menu->addAction(tr("&Scrollback..."), this, &CTerminalCtrl::PromptScrollback);
    menu->addAction(tr("Next Highlighted Line\tCtrl+Shift+N"), this, [this] { FindHighlighted(true); });
    menu->addAction(tr("Previous Highlighted Line\tCtrl+Shift+P"), this, [this] { FindHighlighted(false); });
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
    return static_cast<int>(m_bHexView ? m_bytes.RowCount() : Lines().LineCount());
}

qint64 CTerminalCtrl::RowBase() const
{
    if (m_bHexView)
        return static_cast<qint64>((m_bytes.FirstKept() + CByteRing::kRowBytes - 1) / CByteRing::kRowBytes);
    return CLineView::RowBase();
}

int CTerminalCtrl::RowColumns() const
{
    return m_bHexView ? 78 : static_cast<int>(Lines().LongestLine()) + (m_bTimestamps ? kStampColumns : 0);
}

QString CTerminalCtrl::RowText(int row) const
{
    const auto index = static_cast<std::size_t>(row);
    if (m_bHexView) {
        const std::string text = m_bytes.RowText(index);
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    const QString text = CLineView::RowText(row);
    if (!m_bTimestamps)
        return text;
    const std::int64_t ms = Lines().LineTime(index);
    return (ms == 0 ? QString(kStampColumns, QLatin1Char(' '))
                    : QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss.zzz "))) +
           text;
}

// ---------------------------------------------------------------------------------------------
// Highlighting

QStringList CTerminalCtrl::SetHighlightRules(const std::vector<CHighlightRule>& rules)
{
    QStringList bad;
    m_rules.clear();
    for (const CHighlightRule& rule : rules) {
        const QString pattern = QString::fromLatin1(rule.m_strPattern.data(), static_cast<qsizetype>(rule.m_strPattern.size()));
        QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption);
        if (!expression.isValid()) {
            bad << tr("The highlight rule %1 is left out: %2 at character %3.")
                       .arg(pattern, expression.errorString())
                       .arg(expression.patternErrorOffset() + 1);
            continue;
        }
        // Compiled (JIT where there is one) now, not at the first paint.
        expression.optimize();
        m_rules.append(CRule{expression, QColor::fromRgb(rule.m_nRgb & 0xFFFFFF), rule.m_bWholeLine});
    }
    viewport()->update();
    return bad;
}

QList<CLineView::CSpan> CTerminalCtrl::RowSpans(int, const QString& text) const
{
    QList<CSpan> spans;
    if (m_bHexView)
        return spans;
    // The first rule that matches wins; a whole line is one span (the row's text is made once
    // a paint).
    for (const CRule& rule : m_rules) {
        if (rule.m_bWholeLine) {
            if (rule.m_expression.match(text).hasMatch())
                spans.append(CSpan{0, static_cast<int>(text.size()), rule.m_colour});
            if (!spans.isEmpty())
                return spans;
            continue;
        }
        QRegularExpressionMatchIterator it = rule.m_expression.globalMatch(text);
        while (it.hasNext() && spans.size() < 64) {
            const QRegularExpressionMatch match = it.next();
            if (match.capturedLength() > 0)
                spans.append(CSpan{static_cast<int>(match.capturedStart()), static_cast<int>(match.capturedLength()),
                                   rule.m_colour});
        }
        if (!spans.isEmpty())
            return spans;
    }
    return spans;
}

bool CTerminalCtrl::FindHighlighted(bool forward)
{
    const int rows = RowCount();
    if (!m_bHexView && !m_rules.isEmpty() && rows > 0) {
        const int current = CurrentRow();
        const int start = current >= 0 ? current : (forward ? rows - 1 : 0);
        for (int step = 1; step <= rows; ++step) {
            const int row = ((start + (forward ? step : -step)) % rows + rows) % rows;
            const QString text = RowText(row);
            for (const CRule& rule : m_rules) {
                if (rule.m_expression.match(text).hasMatch()) {
                    SetCurrentRow(row);
                    return true;
                }
            }
        }
    }
    ShowStatus(tr("No highlighted line"));
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
        if (ownDelete) {
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
    return CLineView::event(event);
}

bool CTerminalCtrl::HandleViewKey(QKeyEvent* event, bool act)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((key != Qt::Key_L && key != Qt::Key_N && key != Qt::Key_P) || mods != (Qt::ControlModifier | Qt::ShiftModifier))
        return CLineView::HandleViewKey(event, act);
    if (act && key == Qt::Key_L)
        Clear();
    else if (act)
        FindHighlighted(key == Qt::Key_N);
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
    // Ctrl+Shift+V is Paste to Board: while that command is off (a send runs) the key comes here
    // and sends nothing, not Ctrl+V's byte.
    if (key == Qt::Key_V && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        event->accept();
        return;
    }
    // Control with a letter (or @ [ \ ] ^ _) is its control code, as a character message carries
    // it; Ctrl+V therefore sends 0x16 and pastes nothing.
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_At && key <= Qt::Key_Underscore) {
        // Ctrl+C still copies a selection, and sends its byte as well.
        if (key == Qt::Key_C && HasSelection())
            Copy();
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
