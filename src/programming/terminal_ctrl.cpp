#include "programming/terminal_ctrl.h"

#include "serial/serial_port.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>

CTerminalCtrl::CTerminalCtrl(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(kMaxLines);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    // Keys reach keyPressEvent although the text is read-only.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    // Black on white whatever the desktop theme, so the board's text stays readable.
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::white);
        pal.setColor(group, QPalette::Text, Qt::black);
    }
    setPalette(pal);
    // The user's scrolling (bar, wheel, keys on the bar) decides whether the view follows: the
    // action's target position is known before the view moves there.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        m_bFollowEnd = verticalScrollBar()->sliderPosition() >= verticalScrollBar()->maximum();
    });
    // Reaching the end any other way (the cursor keys with the port closed) follows again.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_bAppending && value >= verticalScrollBar()->maximum())
            m_bFollowEnd = true;
    });
}

bool CTerminalCtrl::PortOpen() const
{
    return m_pSerial && m_pSerial->IsOpen();
}

void CTerminalCtrl::WriteByte(unsigned char byte)
{
    // A failed write is not reported: the keystroke is lost.
    m_pSerial->Write(&byte, 1);
}

void CTerminalCtrl::AppendTerminalText(std::string_view run)
{
    if (run.empty())
        return;
    QScrollBar* bar = verticalScrollBar();
    m_bAppending = true;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // Bytes are shown as Latin-1 characters: one character per byte, as the board sends them.
    QString text = QString::fromLatin1(run.data(), static_cast<qsizetype>(run.size()));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Keep every line within its bound: a long run without line ends continues on new lines.
    int lineLength = cursor.block().length() - 1;
    QString bounded;
    bounded.reserve(text.size());
    for (QChar ch : text) {
        if (ch == QLatin1Char('\n')) {
            lineLength = 0;
        } else if (lineLength >= kMaxLineLength) {
            bounded += QLatin1Char('\n');
            lineLength = 1;
        } else {
            ++lineLength;
        }
        bounded += ch;
    }
    cursor.insertText(bounded);
    if (m_bFollowEnd)
        bar->setValue(bar->maximum());
    m_bAppending = false;
}

void CTerminalCtrl::DeleteLastChar()
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (cursor.position() > 0)
        cursor.deletePreviousChar();
}

bool CTerminalCtrl::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && PortOpen()) {
        // With the port open the Delete key is this window's own (it does nothing), so the main
        // frame's Delete command must not take it.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
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
    return QPlainTextEdit::event(event);
}

void CTerminalCtrl::keyPressEvent(QKeyEvent* event)
{
    if (!PortOpen()) {
        // With the port closed keys do nothing here (selection keys still move the selection).
        QPlainTextEdit::keyPressEvent(event);
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
        // Carriage return alone: no line end translation (Ctrl+Enter is a line feed, as its
        // character is).
        WriteByte((mods & Qt::ControlModifier) ? 0x0A : 0x0D);
        event->accept();
        return;
    }
    // Control with a letter (or @ [ \ ] ^ _) is its control code, as a character message carries
    // it; Ctrl+V therefore sends 0x16 and pastes nothing.
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_At && key <= Qt::Key_Underscore) {
        // Ctrl+C still copies a selection, and sends its byte as well.
        if (key == Qt::Key_C && textCursor().hasSelection())
            copy();
        WriteByte(static_cast<unsigned char>(key & 0x1F));
        event->accept();
        return;
    }
    const QString text = event->text();
    if (text.isEmpty()) {
        // Navigation and modifier keys move the view only.
        QPlainTextEdit::keyPressEvent(event);
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
