#pragma once
// CMainFrame: the program's one top-level window. Owns the four docking panes with their
// contents and the programming session (the serial port with its settings, the receive parser
// and the download job) for its whole life, and wires its parts together: the bars built from the
// command table (CFrameBars), the port's commands and watch (CPortController), the dock layout
// (CDockLayout), the download presenter (CDownloadPresenter) and the terminal's input and output
// (CTerminalController); the frame routes every command to the view, itself, its parts and the
// application in that order. GUI thread only: the serial listener and the download worker reach it
// through its message sink (posted, handed to the session in order). Closing while a download
// runs asks the job to stop, waits for its end with the event loop running, then closes; the
// port is closed last.

#include "app/download_presenter.h"
#include "app/port_controller.h"
#include "base/command_target.h"
#include "base/message_sink.h"
#include "port/port_settings.h"
#include "programming/programming_session.h"
#include "terminal/terminal_controller.h"

#include <QFont>
#include <QMainWindow>
#include <QStringList>

#include <array>
#include <memory>
#include <string>

class CBoardCommands;
class CCommandLine;
class CBoardSimulator;
class CDockLayout;
class CFrameBars;
class CFileBrowserTree;
class COutputCtrl;
class CQxProgView;
class CPercentProgressCtrl;
class CPortPaneLabel;
class CProgramDlg;
class CQtMessageSink;
class CQtSettingsStore;
class CTerminalCtrl;
class CToolSettings;
class IUserPrompt;
class QAction;
class QLabel;
class QToolBar;

class CMainFrame : public QMainWindow, public ICommandTarget {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 700;
    static constexpr int kDefaultHeight = 480;
    static constexpr const char* kTextOpenFailed = "Failed to open ";
    static constexpr const char* kTextPortOpenError = CPortController::kTextPortOpenError;
    static constexpr int kBarsMs = CDownloadPresenter::kBarsMs;
    // The stores, the tool settings, the board commands and the prompt outlive the frame.
    CMainFrame(CQtSettingsStore& store, CToolSettings& tools, CBoardCommands& commands, IUserPrompt& prompt,
               const QStringList& arguments, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the bars and panes, restores the layout and opens the port; false when a part of
    // the window cannot be made.
    bool Create();
    // Shows the window (its saved placement was applied by Create).
    void ActivateFrame();
    // A second start asked this instance to come forward.
    void BringToFront();

    // Command routing: the view first, then the frame and its parts, then the application object.
    void SetViewTarget(ICommandTarget* target);
    void SetAppTarget(ICommandTarget* target) { m_pAppTarget = target; }
    // Routes a command; false when no target handled it.
    bool ExecuteCommand(int id);
    // One command's state from the targets in order; unowned commands come back disabled.
    bool RouteUpdate(CCmdUI& ui);
    // Runs the update routine over every command now.
    void UpdateCommandUI();
    // Asks for the update routine once the current event has been handled.
    void RequestCommandUpdate();
    QAction* Action(int id) const;

    // Starts a download of the file unless one runs (the Program command calls this).
    void StartDownload(const std::string& path);
    bool IsDownloadRunning() const;

    // ICommandTarget: the frame's own commands.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

    // The panes and parts, for the windows that plug into the frame and for tests.
    CDockLayout& Docks() { return *m_pDocks; }
    CTerminalCtrl& Terminal() { return *m_wndTerminal; }
    CCommandLine& CommandLine() { return *m_wndCommandLine; }
    // The terminal's input and output: typing, Paste to Board, Send File, the log, the counters.
    CTerminalController& TerminalIo() { return *m_pTerminalIo; }
    CQxProgView& View() { return *m_wndView; }
    CFileBrowserTree& Browser() { return *m_wndBrowser; }
    COutputCtrl& Output() { return *m_wndOutput; }
    CProgramDlg& ProgramDlg() { return *m_wndProgram; }
    CPercentProgressCtrl& StatusProgress();
    CPortPaneLabel& PortPane();
    QToolBar& ToolBar();
    CProgrammingSession& Session() { return *m_pSession; }
    CSerialWnd& Serial() { return m_pSession->Port(); }
    CPortSettings& PortSettings() { return m_pSession->PortSettings(); }
    const QFont& TerminalFont() const { return m_fontTerminal; }
    const QFont& OutputFont() const { return m_fontOutput; }
    // The port name used for this run (the simulator's when started with --simulate).
    const std::string& PortName() const { return m_pSession->PortSettings().m_strPort; }
    // The port's commands, its pane and its watch.
    CPortController& PortController() { return *m_pPort; }
    // A file or text is on its way to the board.
    bool IsSending() const { return m_pTerminalIo && m_pTerminalIo->IsSending(); }
    QLabel& MessagePane();

signals:
    // The frame is about to save its state and close (after any download has ended).
    void closing();
    // The progress bars each time they move (at the download's begin, at most every kBarsMs
    // while it runs, at its end): the status bar's and the program window's positions, the
    // upper bound, and whether the percentage shows.
    void downloadProgress(int statusPos, int programPos, int upper, bool textShown);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void CreatePanes();
    // The terminal's input and output, once the terminal window and the status bar exist.
    void CreateTerminalIo();
    // The command targets in routing order (a part not made yet is null).
    std::array<ICommandTarget*, 7> Targets();
    // A View command has shown or hidden a pane or bar.
    void OnPaneToggled(int id);

    void OnPosted(const CPostedEvent& event);
    void DestroyWindow();

    CQtSettingsStore& m_store;
    CToolSettings& m_tools;
    CBoardCommands& m_commands;
    IUserPrompt& m_prompt;
    QStringList m_arguments;
    ICommandTarget* m_pViewTarget = nullptr;
    ICommandTarget* m_pAppTarget = nullptr;

    // The actions, menus, toolbar and status bar; made first, gone before the window's widgets.
    std::unique_ptr<CFrameBars> m_pBars;
    std::unique_ptr<CDockLayout> m_pDocks;
    CTerminalCtrl* m_wndTerminal = nullptr;
    // The terminal with the command line under it: the terminal pane's content.
    QWidget* m_wndTerminalPane = nullptr;
    CCommandLine* m_wndCommandLine = nullptr;
    COutputCtrl* m_wndOutput = nullptr;
    CFileBrowserTree* m_wndBrowser = nullptr;
    CQxProgView* m_wndView = nullptr;
    CProgramDlg* m_wndProgram = nullptr;
    QFont m_fontOutput;
    QFont m_fontTerminal;
    bool m_bUpdatePending = false;
    bool m_bClosed = false;

    // Run-time parts, in the order they are built; torn down in reverse by the destructor.
    std::unique_ptr<CBoardSimulator> m_pSimulator;
    std::unique_ptr<CQtMessageSink> m_pSink;
    // The terminal's input and output: made before the session (whose parser writes to its log
    // through the tee), gone after it; its sender is stopped before the session goes.
    std::unique_ptr<CTerminalController> m_pTerminalIo;
    // The port with its settings, the receive parser and the download job; made by Create.
    std::unique_ptr<CProgrammingSession> m_pSession;
    // Shows the session's downloads; made with it, gone before it.
    std::unique_ptr<CDownloadPresenter> m_pPresenter;
    // Started with --simulate: the port is the simulator's for this run and is never stored.
    bool m_bSimulated = false;
    // The port's commands, pane and watch; made once the simulator has its line, gone before the
    // session.
    std::unique_ptr<CPortController> m_pPort;
};
