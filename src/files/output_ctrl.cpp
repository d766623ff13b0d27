#include "files/output_ctrl.h"


#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>

namespace {

// What is known of a line: not yet recognised, no diagnostic, or 1 + its EDiagnosticKind.
constexpr std::uint8_t kKindUnknown = 0xFF;
constexpr int kKindNone = 0;

constexpr int KindOf(EDiagnosticKind kind)
{
    return 1 + static_cast<int>(kind);
}

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

QString FromBytes(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
} // namespace

COutputCtrl::COutputCtrl(QWidget* parent)
    : CLineView(EEncoding::Utf8, EKeys::Control, static_cast<std::size_t>(kMaxLines), parent)
{
    m_pumpTimer.setSingleShot(true);
    connect(&m_pumpTimer, &QTimer::timeout, this, [this] { Pump(); });
    m_runner.SetOutputWindow(kRunsInFlight);
    // The window shows both streams alike: one pipe keeps them in the order they were printed.
    m_runner.SetMergedOutput(true);

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
        Wake();
}

void COutputCtrl::Wake()
{
    // Queued to this control's thread; dropped with the control (the readers end before it).
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_pumpTimer.isActive())
                m_pumpTimer.start(kPumpDelayMs);
        },
        Qt::QueuedConnection);
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
        Wake();
}

void COutputCtrl::OnStart(const std::string& commandLine)
{
    m_nShownRun = m_runner.CurrentRun();
    m_nAppendedBytes = 0;
    m_strWorkingDir = m_runner.WorkingDir().empty() ? Utf8(QDir::currentPath()) : m_runner.WorkingDir();
    m_start = std::chrono::steady_clock::now();
    // The command line is a line of its own; the builder's output starts below it.
    ClearText();
    AppendText(commandLine + "\n");
    SetKind(0, kKindNone);
    UpdateView();
    m_bBuilding = true;
    emit BuildStateChanged();
}

void COutputCtrl::TextCleared()
{
    m_kinds.clear();
    m_nKindsBase = 0;
    m_nResultRow = -1;
}

void COutputCtrl::Pump(bool all)
{
    // A bounded batch per turn: what is left stays queued and holds the builder back through
    // the runner's window, while timers, input and paints get their turn.
    std::size_t taken = 0;
    bool more = false;
    for (;;) {
        CQueued item;
        {
            std::lock_guard lock(m_queueMutex);
            if (m_queue.empty()) {
                m_bWakePosted = false;
                break;
            }
            if (!all && taken >= kFlushBytes) {
                more = true;
                break;
            }
            CQueued& front = m_queue.front();
            const std::size_t room = kFlushBytes - taken;
            if (!all && front.m_strText.size() > room) {
                // The runs it holds are counted as consumed now; the rest is bounded by them.
                item = CQueued{front.m_nRun, false, front.m_nCounted, front.m_strText.substr(0, room)};
                front.m_strText.erase(0, room);
                front.m_nCounted = 0;
            } else {
                item = std::move(front);
                m_queue.pop_front();
            }
        }
        if (item.m_nCounted > 0)
            m_runner.OutputConsumed(item.m_nCounted);
        // Runs of an earlier child still queued when this one started belong to the replaced
        // text.
        if (item.m_nRun - m_nShownRun > 0x7FFFFFFFu)
            continue;
        if (item.m_bDone) {
            ShowResult(item.m_nRun);
            continue;
        }
        // Bytes as they came: a character split between runs joins up in the store.
        MutableLines().Append(item.m_strText, 0);
        taken += item.m_strText.size();
        m_nAppendedBytes += static_cast<qint64>(item.m_strText.size());
    }
    // The next batch after the event loop has had its turn (timers, paints, input).
    if (more)
        m_pumpTimer.start(0);
    if (taken > 0) {
        ScheduleUpdate();
        emit TextAppended();
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
    const double seconds = std::chrono::duration<double>(done.m_end - m_start).count();
    const std::string result = CBuildDiagnostics::ResultLine(done.m_status, seconds, done.m_counts);
    if (!Lines().Line(Lines().LineCount() - 1).empty())
        MutableLines().Append("\n", 0);
    MutableLines().Append(result, 0);
    m_bBuilding = false;
    const int row = RowCount() - 1;
    m_nResultRow = RowBase() + row;
    SetKind(row, kKindNone);
    UpdateView();
    emit TextAppended();
    emit BuildFinished(FromBytes(result));
    emit BuildStateChanged();
}

void COutputCtrl::FlushPending()
{
    Pump(true);
}

// ---------------------------------------------------------------------------------------------
// Diagnostics

void COutputCtrl::SetKind(int row, int kind) const
{
    // Lines gone at the top take their kinds with them.
    const std::uint64_t base = Lines().DroppedLines();
    if (m_nKindsBase < base) {
        const std::uint64_t gone = std::min<std::uint64_t>(base - m_nKindsBase, m_kinds.size());
        m_kinds.erase(m_kinds.begin(), m_kinds.begin() + static_cast<std::ptrdiff_t>(gone));
        m_nKindsBase = base;
    }
    const auto index = static_cast<std::size_t>(row);
    if (m_kinds.size() <= index)
        m_kinds.resize(index + 1, kKindUnknown);
    m_kinds[index] = static_cast<std::uint8_t>(kind);
}

int COutputCtrl::Classify(int row) const
{
    if (row < 0 || row >= RowCount())
        return kKindNone;
    const std::uint64_t index = Lines().DroppedLines() + static_cast<std::uint64_t>(row) - m_nKindsBase;
    if (Lines().DroppedLines() >= m_nKindsBase && index < m_kinds.size() && m_kinds[index] != kKindUnknown)
        return m_kinds[index];
    std::optional<CDiagnostic> diagnostic = CBuildDiagnostics::Parse(Lines().Line(static_cast<std::size_t>(row)));
    const int kind = diagnostic ? KindOf(diagnostic->m_eKind) : kKindNone;
    // The last line may still grow while the builder runs: it is examined again later.
    if (row != RowCount() - 1 || !m_bBuilding)
        SetKind(row, kind);
    return kind;
}

CLineView::CRowStyle COutputCtrl::RowStyle(int row) const
{
    CRowStyle style;
    if (m_nResultRow >= 0 && RowBase() + row == m_nResultRow) {
        style.m_bBold = true;
        return style;
    }
    const int kind = Classify(row);
    if (kind == kKindNone || kind == KindOf(EDiagnosticKind::Note))
        return style;
    // Colours that read on a light and on a dark base.
    const bool dark = palette().color(QPalette::Base).lightness() < 128;
    if (kind == KindOf(EDiagnosticKind::Error))
        style.m_colour = dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xb3, 0x1d, 0x28);
    else
        style.m_colour = dark ? QColor(0xe3, 0xb3, 0x41) : QColor(0x8a, 0x5a, 0x00);
    return style;
}

std::string COutputCtrl::FolderFor(int row) const
{
    // The nearest folder make says it entered and has not left yet, above the line.
    int depth = 0;
    for (int above = row - 1; above >= 0; --above) {
        const std::string_view text = Lines().Line(static_cast<std::size_t>(above));
        if (text.find("directory ") == std::string_view::npos)
            continue;
        bool entering = false;
        std::optional<std::string> folder = CBuildDiagnostics::DirectoryChange(text, entering);
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

std::optional<CDiagnostic> COutputCtrl::DiagnosticAt(int row) const
{
    if (row < 0 || row >= RowCount() || Classify(row) == kKindNone || RowBase() + row == m_nResultRow)
        return std::nullopt;
    std::optional<CDiagnostic> diagnostic = CBuildDiagnostics::Parse(Lines().Line(static_cast<std::size_t>(row)));
    if (diagnostic && !diagnostic->m_strFile.empty())
        diagnostic->m_strFile = CBuildDiagnostics::ResolvePath(diagnostic->m_strFile, FolderFor(row));
    return diagnostic;
}

bool COutputCtrl::OpenDiagnostic(int row)
{
    std::optional<CDiagnostic> diagnostic = DiagnosticAt(row);
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
    FlushPending();
    const int rows = RowCount();
    const int current = CurrentRow();
    // Without a current row: from the top going forward, from the end going back.
    const int start = current >= 0 ? current : (forward ? -1 : rows);
    for (int step = 1; step <= rows; ++step) {
        int row = forward ? start + step : start - step;
        const bool wrapped = row < 0 || row >= rows;
        row = (row % rows + rows) % rows;
        if (Classify(row) == kKindNone)
            continue;
        std::optional<CDiagnostic> diagnostic = DiagnosticAt(row);
        if (!diagnostic || diagnostic->m_strFile.empty())
            continue;
        if (wrapped)
            emit StatusMessage(forward ? tr("Passed the last diagnostic, back at the first")
                                       : tr("Passed the first diagnostic, back at the last"));
        SetCurrentRow(row);
        OpenDiagnostic(row);
        return true;
    }
    emit StatusMessage(tr("No diagnostic in the output"));
    return false;
}

void COutputCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int row = RowAt(event->position().toPoint());
    if (row >= 0 && DiagnosticAt(row)) {
        SetCurrentRow(row);
        OpenDiagnostic(row);
        return;
    }
    CLineView::mouseDoubleClickEvent(event);
}

void COutputCtrl::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && OpenDiagnostic(CurrentRow()))
        return;
    CLineView::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Context menu

void COutputCtrl::ClearOutput()
{
    FlushPending();
    ClearText();
}

bool COutputCtrl::FindString(const QString& text, bool forward)
{
    if (text.isEmpty())
        return false;
    FlushPending();
    return CLineView::FindString(text, forward);
}

void COutputCtrl::ShowStatus(const QString& text)
{
    emit StatusMessage(text);
}

QString COutputCtrl::SaveTo(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // Each row with its line feed (an empty last row is where the next one would begin).
    QByteArray bytes = PlainText().toUtf8();
    if (!Lines().Line(Lines().LineCount() - 1).empty())
        bytes += '\n';
    if (file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

QMenu* COutputCtrl::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    AddViewActions(menu);
    menu->addSeparator();
    menu->addAction(tr("Next Diagnostic\tF8"), this, [this] { GoToDiagnostic(true); });
    menu->addAction(tr("Previous Diagnostic\tShift+F8"), this, [this] { GoToDiagnostic(false); });
    menu->addSeparator();
    menu->addAction(tr("C&lear"), this, &COutputCtrl::ClearOutput)
        ->setEnabled(Lines().LineCount() > 1 || !Lines().Line(0).empty());
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
