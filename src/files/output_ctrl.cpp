#include "files/output_ctrl.h"

#include "base/messages.h"
#include "base/qt_message_sink.h"

#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

COutputCtrl::COutputCtrl(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFrameShape(QFrame::StyledPanel);
    // A selection stays visible while another pane has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    m_pSink = std::make_unique<CQtMessageSink>([this](const CPostedMessage& message) {
        if (message.m_nMsg == WM_OUTPUT_TEXT)
            OnOutputText(message);
    });
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushDelayMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &COutputCtrl::FlushPending);
    m_runner.SetOutputWindow(kRunsInFlight);
}

COutputCtrl::~COutputCtrl()
{
    // The readers post to this control, so they end before any of it goes.
    m_runner.Stop();
}

void COutputCtrl::AppendOutput(std::string_view text, bool)
{
    PostRun(text, false);
}

void COutputCtrl::PostRun(std::string_view text, bool counted)
{
    if (text.empty()) {
        if (counted)
            m_runner.OutputConsumed();
        return;
    }
    // wParam: the child the run belongs to; lParam: 1 when the runner counts it in flight.
    m_pSink->Post(CPostedMessage{WM_OUTPUT_TEXT, m_runner.CurrentRun(), counted ? 1 : 0, std::string(text)});
}

void COutputCtrl::OnStart(const std::string& commandLine)
{
    m_nShownRun = m_runner.CurrentRun();
    m_flushTimer.stop();
    m_strPending.clear();
    m_decoder.resetState();
    m_nAppendedChars = 0;
    setPlainText(QFile::decodeName(QByteArray(commandLine.data(), static_cast<qsizetype>(commandLine.size()))));
    moveCursor(QTextCursor::End);
}

void COutputCtrl::OnOutputText(const CPostedMessage& message)
{
    if (message.m_lParam == 1)
        m_runner.OutputConsumed();
    // Runs of an earlier child still queued when this one started belong to the replaced text.
    if (static_cast<unsigned>(message.m_wParam) - m_nShownRun > 0x7FFFFFFFu)
        return;
    const std::string& text = message.m_strText;
    m_strPending += m_decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (m_strPending.size() >= kFlushChars)
        FlushPending();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void COutputCtrl::FlushPending()
{
    m_flushTimer.stop();
    if (m_strPending.isEmpty())
        return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(m_strPending);
    m_nAppendedChars += m_strPending.size();
    m_strPending.clear();
    // The oldest lines go in steps of kTrimSlack: line by line costs far more in all, and
    // much larger steps stall the window.
    const int lines = document()->blockCount();
    if (lines > kMaxLines + kTrimSlack) {
        QTextCursor head(document());
        head.setPosition(document()->findBlockByNumber(lines - kMaxLines).position(), QTextCursor::KeepAnchor);
        head.removeSelectedText();
    }
    // The caret follows the end, so the pane scrolls with the output.
    moveCursor(QTextCursor::End);
    emit TextAppended();
}
