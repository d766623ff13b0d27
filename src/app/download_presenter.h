#pragma once
// CDownloadPresenter: shows a download in the main window: both progress bars (the status bar's
// and the program window's), the message pane's text, the figures (redrawn every kFiguresMs so
// a stalled line is noticed), the summary in the output window, and owns the Stop Programming
// command. It observes the session's events and starts downloads for the Program command. GUI
// thread only; the session, the widgets and the status bar outlive it.

#include "base/command_target.h"
#include "programming/session_observer.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <string>

class COutputCtrl;
class CPercentProgressCtrl;
class CProgrammingSession;
class CProgramDlg;
class QLabel;
class QStatusBar;
class QTimer;

class CDownloadPresenter : public QObject, public ICommandTarget, private ISessionObserver {
    Q_OBJECT
public:
    // How often the download's figures are redrawn (and a stalled line noticed).
    static constexpr int kFiguresMs = 250;
    // The bars move at most this often; the steps of a fast line in between are shown together.
    static constexpr int kBarsMs = 15;
    static constexpr const char* kTextReady = "Ready";

    // What the presenter asks of the window it sits in.
    struct CHooks {
        // A file or text is on its way to the board (a download would mix with it).
        std::function<bool()> m_isSending;
        // The commands' states may have changed.
        std::function<void()> m_requestCommandUpdate;
        // A job has ended and the window is idle again: what waited for the end applies now.
        std::function<void()> m_afterEnd;
    };

    CDownloadPresenter(CProgrammingSession& session, CPercentProgressCtrl& statusProgress, CProgramDlg& program,
        QLabel& messagePane, QStatusBar& statusBar, COutputCtrl& output, CHooks hooks, QObject* parent = nullptr);
    ~CDownloadPresenter() override;

    // Starts a download of the file unless one runs (the Program command calls this).
    void StartDownload(const std::string& path);
    bool IsDownloadRunning() const;
    // Asks the running download to stop at its next run of bytes or wait (a write held by a
    // line that takes nothing included).
    void StopDownload();
    // The window wants to close: false when nothing runs; otherwise asks the job to stop and
    // emits closeReady once its end has been shown.
    bool DeferClose();
    // The palette changed: the idle bar takes the new face colour.
    void OnPaletteChange();
    // A bar at rest: no position, no text, the face colour.
    static void SetProgressIdle(CPercentProgressCtrl& bar);

    // ICommandTarget: Stop Programming.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

signals:
    // The progress bars each time they move (at the download's begin, at most every kBarsMs
    // while it runs, at its end): the status bar's and the program window's positions, the
    // upper bound, and whether the percentage shows.
    void downloadProgress(int statusPos, int programPos, int upper, bool textShown);
    // A close that waited for the download can go on.
    void closeReady();

private:
    void OnSessionEvent(const CSessionEvent& event) override;
    void OnDownloadBegin(int count);
    void OnDownloadStep();
    // Moves both bars to the download's position now.
    void ShowBars();
    // The job has ended: the bars and figures where it ended, before its box.
    void OnDownloadEnding();
    // Its box has been closed: the summary, the pane's text, the idle bars.
    void OnResultShown();
    void OnDownloadEnded();
    // The program window's and the status bar's figures of the running download.
    void ShowFigures();
    void EmitProgress();

    CProgrammingSession& m_session;
    CPercentProgressCtrl& m_wndStatusProgress;
    CProgramDlg& m_wndProgram;
    QLabel& m_wndMessagePane;
    QStatusBar& m_statusBar;
    COutputCtrl& m_wndOutput;
    CHooks m_hooks;
    bool m_bClosePending = false;
    QTimer* m_pFiguresTimer = nullptr;
    // Brings a step that came sooner than kBarsMs after the last move to the bars.
    QTimer* m_pBarsTimer = nullptr;
    std::chrono::steady_clock::time_point m_tBarsMoved{};
    // The summary of the job that ended, from its end to its box's close.
    std::string m_strSummary;
};
