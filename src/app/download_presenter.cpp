#include "app/download_presenter.h"

#include "base/commands.h"
#include "files/output_ctrl.h"
#include "programming/program_dlg.h"
#include "programming/programming_session.h"
#include "ui/percent_progress_ctrl.h"

#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

CDownloadPresenter::CDownloadPresenter(CProgrammingSession& session, CPercentProgressCtrl& statusProgress,
    CProgramDlg& program, QLabel& messagePane, QStatusBar& statusBar, COutputCtrl& output, CHooks hooks,
    QObject* parent)
    : QObject(parent), m_session(session), m_wndStatusProgress(statusProgress), m_wndProgram(program),
      m_wndMessagePane(messagePane), m_statusBar(statusBar), m_wndOutput(output), m_hooks(std::move(hooks))
{
    m_session.AddObserver(*this);
}

CDownloadPresenter::~CDownloadPresenter()
{
    m_session.RemoveObserver(*this);
}

void CDownloadPresenter::OnSessionEvent(const CSessionEvent& event)
{
    if (const auto* begin = std::get_if<session_event::CBegin>(&event))
        OnDownloadBegin(static_cast<int>(begin->m_nCount));
    else if (std::holds_alternative<session_event::CStep>(event))
        OnDownloadStep();
    else if (std::holds_alternative<session_event::CEnding>(event))
        OnDownloadEnding();
    else if (std::holds_alternative<session_event::CResultShown>(event))
        OnResultShown();
    else if (std::holds_alternative<session_event::CEnded>(event))
        OnDownloadEnded();
}

void CDownloadPresenter::OnDownloadBegin(int count)
{
    const QString file = QString::fromStdString(m_session.Job().DownloadFile());
    m_wndMessagePane.setText(QStringLiteral("Programming %1...").arg(QFileInfo(file).fileName()));
    for (CPercentProgressCtrl* bar : {&m_wndStatusProgress, &m_wndProgram.Progress()}) {
        bar->SetRange32(0, count + 2);
        bar->SetPos(0);
        bar->SetStep(1);
        bar->SetShowText(true);
        bar->SetBkColour(CLR_DEFAULT_COLOUR);
    }
    if (!m_pFiguresTimer) {
        m_pFiguresTimer = new QTimer(this);
        connect(m_pFiguresTimer, &QTimer::timeout, this, [this] { ShowFigures(); });
        m_pBarsTimer = new QTimer(this);
        m_pBarsTimer->setSingleShot(true);
        m_pBarsTimer->setTimerType(Qt::PreciseTimer);
        connect(m_pBarsTimer, &QTimer::timeout, this, [this] {
            if (IsDownloadRunning())
                OnDownloadStep();
        });
    }
    m_pFiguresTimer->start(kFiguresMs);
    m_pBarsTimer->stop();
    ShowFigures();
    m_hooks.m_requestCommandUpdate();
    EmitProgress();
    m_tBarsMoved = std::chrono::steady_clock::now();
}

void CDownloadPresenter::ShowFigures()
{
    if (!IsDownloadRunning())
        return;
    const auto now = CTransferProgress::Clock::now();
    m_session.Refresh(now);
    const QString text = QString::fromStdString(m_session.ProgressText(now));
    m_wndProgram.Figures().setText(text);
    m_wndMessagePane.setText(QStringLiteral("Programming %1").arg(text));
}

void CDownloadPresenter::StopDownload()
{
    // A job held in a write by a line that takes nothing looks at the request within a
    // fraction of a second; the port stays open.
    m_session.RequestStop();
}

void CDownloadPresenter::OnDownloadStep()
{
    // The job posts a step per percent: on a fast line many come within one kBarsMs, and the
    // bars then move once, to the latest position, when the time has come.
    if (!m_pBarsTimer || m_pBarsTimer->isActive())
        return;
    const auto wait = std::chrono::milliseconds(kBarsMs) - (std::chrono::steady_clock::now() - m_tBarsMoved);
    if (wait > std::chrono::steady_clock::duration::zero()) {
        // Rounded up: a timer that fires a little early only waits again.
        m_pBarsTimer->start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        return;
    }
    ShowBars();
}

void CDownloadPresenter::ShowBars()
{
    const int pos = static_cast<int>(m_session.Position());
    m_wndStatusProgress.SetPos(pos);
    m_wndProgram.Progress().SetPos(pos);
    EmitProgress();
    // Taken after the move, so the next one comes kBarsMs after this one was done.
    m_tBarsMoved = std::chrono::steady_clock::now();
}

void CDownloadPresenter::EmitProgress()
{
    emit downloadProgress(m_wndStatusProgress.GetPos(), m_wndProgram.Progress().GetPos(),
                          m_wndStatusProgress.GetRange(false), m_wndStatusProgress.IsTextShown());
}

void CDownloadPresenter::SetProgressIdle(CPercentProgressCtrl& bar)
{
    bar.SetPos(0);
    bar.SetShowText(false);
    bar.SetBkColour(CLR_FACE_COLOUR);
}

void CDownloadPresenter::OnPaletteChange()
{
    // The idle bar takes the new face colour (it resolves the palette when it paints).
    if (!IsDownloadRunning())
        SetProgressIdle(m_wndStatusProgress);
}

void CDownloadPresenter::OnDownloadEnding()
{
    // The outcome's box shows over the bars where the job ended (full when it completed); they go
    // idle once it is closed.
    if (m_pBarsTimer)
        m_pBarsTimer->stop();
    // The figures stop with the job: a box over them must not go on counting time or show time
    // left that a line faster than its setting (a pseudo-terminal, a USB ACM port) never needed.
    if (m_pFiguresTimer)
        m_pFiguresTimer->stop();
    // The session froze the figures at the end: the box shows over what went, not over the
    // first count of a download that ended before the next redraw.
    const QString figures = QString::fromStdString(m_session.ProgressText(CTransferProgress::Clock::now()));
    m_wndMessagePane.setText(QStringLiteral("Programming %1").arg(figures));
    m_strSummary = m_session.SummaryLine();
    m_wndProgram.Figures().setText(m_strSummary.empty() ? figures : QString::fromStdString(m_strSummary));
    if (m_wndStatusProgress.GetPos() != static_cast<int>(m_session.Position()))
        ShowBars();
}

void CDownloadPresenter::OnResultShown()
{
    // After the box: the summary in the output window.
    if (!m_strSummary.empty()) {
        m_wndOutput.AppendOutput(m_strSummary + "\n", false);
        m_wndProgram.Figures().setText(QString::fromStdString(m_strSummary));
    }
    const QString file = QFileInfo(QString::fromStdString(m_session.Job().DownloadFile())).fileName();
    if (m_session.LastResult() == EDownloadResult::Stopped && !m_bClosePending)
        m_wndMessagePane.setText(QStringLiteral("Programming %1 was stopped.").arg(file));
    else
        m_wndMessagePane.setText(QString::fromLatin1(kTextReady));
    SetProgressIdle(m_wndStatusProgress);
    SetProgressIdle(m_wndProgram.Progress());
    EmitProgress();
}

void CDownloadPresenter::OnDownloadEnded()
{
    m_strSummary.clear();
    m_hooks.m_afterEnd();
    if (m_bClosePending) {
        m_bClosePending = false;
        emit closeReady();
    }
}

void CDownloadPresenter::StartDownload(const std::string& path)
{
    if (m_bClosePending)
        return;
    // A file or text on its way to the board would mix with the download.
    if (m_hooks.m_isSending()) {
        m_statusBar.showMessage(QStringLiteral("Programming waits for the sending to the board to end: stop it first."),
                                5000);
        return;
    }
    m_session.StartDownload(path);
    m_hooks.m_requestCommandUpdate();
}

bool CDownloadPresenter::IsDownloadRunning() const
{
    return m_session.IsDownloadRunning();
}

bool CDownloadPresenter::DeferClose()
{
    if (!IsDownloadRunning())
        return false;
    // The job uses the port and the window until it posts its end: it is asked to stop at its
    // next step, and the close goes on once the end has been shown.
    m_bClosePending = true;
    m_statusBar.showMessage(QStringLiteral("Stopping the download..."));
    StopDownload();
    return true;
}

bool CDownloadPresenter::OnCommand(int id)
{
    if (id != cmd::ID_TOOLS_STOP_PROGRAMMING)
        return false;
    if (IsDownloadRunning())
        StopDownload();
    return true;
}

bool CDownloadPresenter::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.m_nID != cmd::ID_TOOLS_STOP_PROGRAMMING)
        return false;
    ui.Enable(IsDownloadRunning());
    return true;
}
