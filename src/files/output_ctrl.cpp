#include "files/output_ctrl.h"

#include "base/messages.h"
#include "base/qt_message_sink.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {

// Block states: -1 (Qt's default) not yet examined; else kStateNone (no diagnostic) or 1 + kind,
// plus kStateShown once the line has been coloured.
constexpr int kStateNone = 0;
constexpr int kStateKinds = 0x0F;
constexpr int kStateShown = 0x10;

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

QString FromBytes(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
} // namespace

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
            Pump();
    });
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushDelayMs);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] { AppendPending(kFlushChars); });
    // The next batch after the event loop has had its turn (timers, paints, input).
    m_pumpTimer.setSingleShot(true);
    m_pumpTimer.setInterval(0);
    connect(&m_pumpTimer, &QTimer::timeout, this, [this] { Pump(); });
    m_colourTimer.setSingleShot(true);
    m_colourTimer.setInterval(0);
    connect(&m_colourTimer, &QTimer::timeout, this, &COutputCtrl::ColourVisibleLines);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &COutputCtrl::ScheduleColouring);
    m_runner.SetOutputWindow(kRunsInFlight);

    // F8 / Shift+F8 work wherever the focus is in the window that holds the pane.
    auto* next = new QAction(tr("Next Diagnostic"), this);
    next->setShortcut(QKeySequence(Qt::Key_F8));
    next->setShortcutContext(Qt::WindowShortcut);
    connect(next, &QAction::triggered, this, [this] { GoToDiagnostic(true); });
    auto* previous = new QAction(tr("Previous Diagnostic"), this);
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    previous->setShortcutContext(Qt::WindowShortcut);
    connect(previous, &QAction::triggered, this, [this] { GoToDiagnostic(false); });
    addAction(next);
    addAction(previous);
}

COutputCtrl::~COutputCtrl()
{
    // The readers post to this control, so they end before any of it goes.
    m_runner.Stop();
}

void COutputCtrl::StopBuild()
{
    if (m_bBuilding)
        m_runner.Stop();
}

void COutputCtrl::AppendOutput(std::string_view text, bool)
{
    PostRun(text, false);
}

void COutputCtrl::OnRun(std::string_view text, CRunner::CStreamCount& stream)
{
    // On the stream's reader thread: a new child starts a new count.
    const unsigned run = m_runner.CurrentRun();
    if (stream.m_nRun != run) {
        stream.m_nRun = run;
        stream.m_counter.Reset();
    }
    stream.m_counter.Feed(text);
    PostRun(text, true);
}

void COutputCtrl::OnFinished(const CExitStatus& status)
{
    // On the watcher, after both readers are done with this child.
    const unsigned run = m_runner.CurrentRun();
    CDiagnosticCounts counts;
    for (CRunner::CStreamCount* stream : {&m_runner.m_out, &m_runner.m_err}) {
        if (stream->m_nRun != run)
            continue;
        stream->m_counter.Finish();
        counts += stream->m_counter.Counts();
    }
    {
        std::lock_guard lock(m_doneMutex);
        m_done = {run, status, counts, std::chrono::steady_clock::now()};
    }
    bool wake = false;
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(CQueued{run, true, 0, {}});
        wake = !std::exchange(m_bWakePosted, true);
    }
    if (wake)
        m_pSink->Post(CPostedMessage{WM_OUTPUT_TEXT, 0, 0, {}});
}

void COutputCtrl::PostRun(std::string_view text, bool counted)
{
    if (text.empty()) {
        if (counted)
            m_runner.OutputConsumed();
        return;
    }
    // Tagged with its child, so runs of an earlier child still queued can be dropped.
    const unsigned run = m_runner.CurrentRun();
    bool wake = false;
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.empty() || m_queue.back().m_nRun != run || m_queue.back().m_bDone)
            m_queue.push_back(CQueued{run, false, 0, {}});
        m_queue.back().m_strText.append(text);
        m_queue.back().m_nCounted += counted ? 1 : 0;
        wake = !std::exchange(m_bWakePosted, true);
    }
    if (wake)
        m_pSink->Post(CPostedMessage{WM_OUTPUT_TEXT, 0, 0, {}});
}

void COutputCtrl::OnStart(const std::string& commandLine)
{
    m_nShownRun = m_runner.CurrentRun();
    m_flushTimer.stop();
    m_pumpTimer.stop();
    m_strPending.clear();
    m_decoder.resetState();
    m_nAppendedChars = 0;
    m_strWorkingDir = m_runner.WorkingDir().empty() ? Utf8(QDir::currentPath()) : m_runner.WorkingDir();
    m_start = std::chrono::steady_clock::now();
    // The command line is a line of its own; the builder's output starts below it.
    setPlainText(QFile::decodeName(QByteArray(commandLine.data(), static_cast<qsizetype>(commandLine.size()))) +
                 QLatin1Char('\n'));
    document()->firstBlock().setUserState(kStateNone | kStateShown);
    moveCursor(QTextCursor::End);
    m_bBuilding = true;
    emit BuildStateChanged();
}

void COutputCtrl::Pump(bool all)
{
    // Taking more while a batch waits would only move the builder's output into memory here;
    // left in the queue it holds the builder back through the runner's window.
    if (all || m_strPending.size() < kFlushChars) {
        std::vector<CQueued> queue;
        {
            std::lock_guard lock(m_queueMutex);
            queue.swap(m_queue);
            m_bWakePosted = false;
        }
        for (CQueued& item : queue) {
            if (item.m_nCounted > 0)
                m_runner.OutputConsumed(item.m_nCounted);
            // Runs of an earlier child still queued when this one started belong to the
            // replaced text.
            if (item.m_nRun - m_nShownRun > 0x7FFFFFFFu)
                continue;
            if (item.m_bDone) {
                ShowResult(item.m_nRun);
                continue;
            }
            m_strPending += m_decoder.decode(
                QByteArrayView(item.m_strText.data(), static_cast<qsizetype>(item.m_strText.size())));
        }
    }
    if (all) {
        AppendPending(m_strPending.size());
        return;
    }
    if (m_strPending.size() >= kFlushChars) {
        AppendPending(kFlushChars);
        m_pumpTimer.start();
    } else if (!m_strPending.isEmpty() && !m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void COutputCtrl::ShowResult(unsigned run)
{
    CDone done;
    {
        std::lock_guard lock(m_doneMutex);
        done = m_done;
    }
    if (done.m_nRun != run || run != m_nShownRun || !m_bBuilding)
        return;
    AppendPending(m_strPending.size());
    const double seconds = std::chrono::duration<double>(done.m_end - m_start).count();
    const QString result = FromBytes(CBuildDiagnostics::ResultLine(done.m_status, seconds, done.m_counts));

    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!cursor.block().text().isEmpty())
        cursor.insertText(QStringLiteral("\n"), QTextCharFormat());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(result, bold);
    cursor.block().setUserState(kStateNone | kStateShown);
    moveCursor(QTextCursor::End);
    m_bBuilding = false;
    ScheduleColouring();
    emit TextAppended();
    emit BuildFinished(result);
    emit BuildStateChanged();
}

void COutputCtrl::FlushPending()
{
    Pump(true);
}

void COutputCtrl::AppendPending(qsizetype maxChars)
{
    m_flushTimer.stop();
    if (m_strPending.isEmpty())
        return;
    qsizetype count = std::min(maxChars, m_strPending.size());
    // A character made of two UTF-16 units stays whole.
    if (count < m_strPending.size() && count > 1 && m_strPending.at(count - 1).isHighSurrogate())
        --count;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // A plain format of its own: the text never takes the colour of a line before it.
    cursor.insertText(count == m_strPending.size() ? m_strPending : m_strPending.left(count), QTextCharFormat());
    m_nAppendedChars += count;
    m_strPending.remove(0, count);
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
    ScheduleColouring();
    emit TextAppended();
}

// ---------------------------------------------------------------------------------------------
// Diagnostics

int COutputCtrl::Classify(const QTextBlock& block) const
{
    if (block.userState() >= 0)
        return block.userState() & kStateKinds;
    std::optional<CDiagnostic> diagnostic = CBuildDiagnostics::Parse(Utf8(block.text()));
    const int state = diagnostic ? 1 + static_cast<int>(diagnostic->m_eKind) : kStateNone;
    // The last line may still grow while the builder runs: it is examined again later.
    if (block != document()->lastBlock() || !m_bBuilding) {
        QTextBlock stored = block;
        stored.setUserState(state);
    }
    return state;
}

void COutputCtrl::Colour(const QTextBlock& block, int state)
{
    if (state == 1 + static_cast<int>(EDiagnosticKind::Note) || state == kStateNone)
        return;
    // Colours that read on a light and on a dark base.
    const bool dark = palette().color(QPalette::Base).lightness() < 128;
    QColor colour;
    if (state == 1 + static_cast<int>(EDiagnosticKind::Error))
        colour = dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xb3, 0x1d, 0x28);
    else
        colour = dark ? QColor(0xe3, 0xb3, 0x41) : QColor(0x8a, 0x5a, 0x00);
    QTextCharFormat format;
    format.setForeground(colour);
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
}

void COutputCtrl::ScheduleColouring()
{
    if (!m_colourTimer.isActive())
        m_colourTimer.start();
}

void COutputCtrl::ColourVisibleLines()
{
    const int height = viewport()->height();
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        if (blockBoundingGeometry(block).translated(offset).top() > height)
            break;
        if (block.userState() >= 0 && (block.userState() & kStateShown) != 0)
            continue;
        const int state = Classify(block);
        // Only a line that is complete (its state kept) is coloured.
        if (block.userState() >= 0) {
            Colour(block, state);
            QTextBlock shown = block;
            shown.setUserState(state | kStateShown);
        }
    }
}

void COutputCtrl::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    ScheduleColouring();
}

std::string COutputCtrl::FolderFor(const QTextBlock& block) const
{
    // The nearest folder make says it entered and has not left yet, above the line.
    int depth = 0;
    for (QTextBlock above = block.previous(); above.isValid(); above = above.previous()) {
        const QString text = above.text();
        if (!text.contains(QLatin1String("directory ")))
            continue;
        bool entering = false;
        std::optional<std::string> folder = CBuildDiagnostics::DirectoryChange(Utf8(text), entering);
        if (!folder)
            continue;
        if (!entering)
            ++depth;
        else if (depth == 0)
            return *folder;
        else
            --depth;
    }
    return m_strWorkingDir;
}

std::optional<CDiagnostic> COutputCtrl::DiagnosticAt(int blockNumber) const
{
    const QTextBlock block = document()->findBlockByNumber(blockNumber);
    if (!block.isValid() || Classify(block) == kStateNone)
        return std::nullopt;
    std::optional<CDiagnostic> diagnostic = CBuildDiagnostics::Parse(Utf8(block.text()));
    if (diagnostic && !diagnostic->m_strFile.empty())
        diagnostic->m_strFile = CBuildDiagnostics::ResolvePath(diagnostic->m_strFile, FolderFor(block));
    return diagnostic;
}

bool COutputCtrl::OpenDiagnostic(int blockNumber)
{
    std::optional<CDiagnostic> diagnostic = DiagnosticAt(blockNumber);
    if (!diagnostic || diagnostic->m_strFile.empty())
        return false;
    const QString path = QFile::decodeName(QByteArray::fromStdString(diagnostic->m_strFile));
    if (!QFileInfo(path).isFile()) {
        emit StatusMessage(tr("Cannot find %1").arg(path));
        return true;
    }
    if (m_opener)
        m_opener(diagnostic->m_strFile, diagnostic->m_nLine);
    return true;
}

bool COutputCtrl::GoToDiagnostic(bool forward)
{
    QTextBlock block = textCursor().block();
    for (block = forward ? block.next() : block.previous(); block.isValid();
         block = forward ? block.next() : block.previous()) {
        if (Classify(block) == kStateNone)
            continue;
        std::optional<CDiagnostic> diagnostic = DiagnosticAt(block.blockNumber());
        if (!diagnostic || diagnostic->m_strFile.empty())
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        centerCursor();
        OpenDiagnostic(block.blockNumber());
        return true;
    }
    emit StatusMessage(forward ? tr("No further diagnostic") : tr("No earlier diagnostic"));
    return false;
}

void COutputCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QTextBlock block = cursorForPosition(event->position().toPoint()).block();
    if (OpenDiagnostic(block.blockNumber())) {
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        return;
    }
    QPlainTextEdit::mouseDoubleClickEvent(event);
}

void COutputCtrl::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        OpenDiagnostic(textCursor().blockNumber()))
        return;
    QPlainTextEdit::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Context menu

void COutputCtrl::ClearOutput()
{
    FlushPending();
    clear();
}

bool COutputCtrl::FindText(const QString& text)
{
    if (text.isEmpty())
        return false;
    m_strLastFind = text;
    if (find(text))
        return true;
    QTextCursor saved = textCursor();
    moveCursor(QTextCursor::Start);
    if (find(text))
        return true;
    setTextCursor(saved);
    emit StatusMessage(tr("Cannot find \"%1\"").arg(text));
    return false;
}

QString COutputCtrl::SaveTo(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    QByteArray bytes = toPlainText().toUtf8();
    if (!bytes.isEmpty())
        bytes += '\n';
    if (file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

QMenu* COutputCtrl::CreateContextMenu()
{
    QMenu* menu = createStandardContextMenu();
    menu->addSeparator();
    menu->addAction(tr("Next Diagnostic\tF8"), this, [this] { GoToDiagnostic(true); });
    menu->addAction(tr("Previous Diagnostic\tShift+F8"), this, [this] { GoToDiagnostic(false); });
    menu->addSeparator();
    menu->addAction(tr("C&lear"), this, &COutputCtrl::ClearOutput)->setEnabled(!document()->isEmpty());
    menu->addAction(tr("&Find..."), this, [this] {
        bool ok = false;
        const QString text = QInputDialog::getText(this, tr("Find"), tr("Find what:"), QLineEdit::Normal,
                                                   m_strLastFind, &ok);
        if (ok)
            FindText(text);
    });
    menu->addAction(tr("Save &As..."), this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save Output As"), QStringLiteral("build.log"),
                                                          tr("Text Files (*.txt *.log);;All Files (*)"));
        if (path.isEmpty())
            return;
        const QString error = SaveTo(path);
        if (!error.isEmpty())
            QMessageBox::warning(this, tr("Save Output As"),
                                 tr("Unable to save the output to %1\n\n%2").arg(QDir::toNativeSeparators(path), error));
    });
    return menu;
}

void COutputCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
