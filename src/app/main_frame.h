#pragma once
// CMainFrame: the program's one top-level window. Owns the bars, the four docking panes with
// their contents, and the programming session (the serial port with its settings, the receive
// parser and the download job) for its whole life, and wires the parts together: the download
// presenter shows the session's downloads and owns their commands. GUI thread only: the serial
// listener and the download worker reach it through its message sink (posted, handed to the
// session in order). Closing while a download runs asks the job to stop, waits for its end with
// the event loop running, then closes; the port is closed last.

#include "app/download_presenter.h"
#include "base/command_target.h"
#include "base/message_sink.h"
#include "port/port_settings.h"
#include "programming/programming_session.h"
#include "terminal/terminal_counters.h"
#include "terminal/terminal_io_settings.h"

#include <QFont>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>
#include <string>

class CBoardCommands;
class CBoardSimulator;
class CFileBrowserTree;
class COutputCtrl;
class CQxProgView;
class CRawSender;
class CTerminalInput;
class CTerminalLog;
class CTerminalTee;
class CPercentProgressCtrl;
class CPortMenus;
class CPortPaneLabel;
class CProgramDlg;
class CQtMessageSink;
class CQtSettingsStore;
class CTerminalCtrl;
class CToolSettings;
class IUserPrompt;
class QAction;
class QDockWidget;
class QLabel;
class QTimer;
class QToolBar;

class CMainFrame : public QMainWindow, public ICommandTarget, private ISessionObserver {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 700;
    static constexpr int kDefaultHeight = 480;
    // The window layer's own group in the settings file.
    static constexpr const char* kLayoutGroup = "MainFrame";
    static constexpr const char* kTextOpenFailed = "Failed to open ";
    static constexpr const char* kTextPortOpenError = "Port open error!";
    static constexpr const char* kTextPortLost = "Lost the connection to ";
    static constexpr const char* kTextReady = CDownloadPresenter::kTextReady;
    // How often the download's figures (and the terminal's counters) are redrawn.
    static constexpr int kFiguresMs = CDownloadPresenter::kFiguresMs;
    static constexpr int kBarsMs = CDownloadPresenter::kBarsMs;
    static constexpr const char* kProgressPaneSizing = "==========";
    // A paste longer than this asks before it goes to the board.
    static constexpr std::size_t kPasteAskBytes = 4096;
    static constexpr const char* kTextLogOpenError = "Log file open error!";
    static constexpr const char* kTextSendOpenError = "File open error!";
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

    // Command routing: the view first, then the frame, then the application object.
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

    // Starts a download of the file unless one runs (the Program command calls this; the
    // presenter does the work).
    void StartDownload(const std::string& path);
    bool IsDownloadRunning() const;

    // ICommandTarget: the frame's own commands.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

    // The panes and parts, for the windows that plug into the frame and for tests.
    QDockWidget* DockBar(int id) const;
    CTerminalCtrl& Terminal() { return *m_wndTerminal; }
    CQxProgView& View() { return *m_wndView; }
    CFileBrowserTree& Browser() { return *m_wndBrowser; }
    COutputCtrl& Output() { return *m_wndOutput; }
    CProgramDlg& ProgramDlg() { return *m_wndProgram; }
    CPercentProgressCtrl& StatusProgress() { return *m_wndStatusProgress; }
    CPortPaneLabel& PortPane() { return *m_wndPortPane; }
    QToolBar& ToolBar() { return *m_wndToolBar; }
    CProgrammingSession& Session() { return *m_pSession; }
    CSerialWnd& Serial() { return m_pSession->Port(); }
    CPortSettings& PortSettings() { return m_pSession->PortSettings(); }
    const QFont& TerminalFont() const { return m_fontTerminal; }
    const QFont& OutputFont() const { return m_fontOutput; }
    // Puts a pane's widget into its dock (the file browser and the output window).
    void SetPaneWidget(int id, QWidget* widget);
    // The port name used for this run (the simulator's when started with --simulate).
    const std::string& PortName() const { return m_pSession->PortSettings().m_strPort; }
    // Opens the closed port with the current settings; false (after the box) on failure.
    bool OpenPort(const std::string& failureText);
    // Refreshes the port pane's text.
    void UpdatePortPane();

    // The terminal's input and output (the Terminal menu's commands call these; tests too).
    // Starts logging to the file in the chosen mode; false (after the box) when it cannot.
    bool StartLog(const std::string& path);
    void StopLog();
    CTerminalLog& Log() { return *m_pLog; }
    // Sends the file's bytes as they are; false (after a box or a status message) when refused.
    bool SendFile(const std::string& path);
    // Sends the clipboard's text (asking first above kPasteAskBytes); false when nothing went.
    bool PasteToBoard();
    CRawSender& Sender() { return *m_pSender; }
    bool IsSending() const;
    const CTerminalIoSettings& TerminalIo() const { return m_terminalIo; }
    CTerminalCounters& Counters() { return m_counters; }
    QLabel& CountersPane() { return *m_wndCountersPane; }
    QLabel& LogPane() { return *m_wndLogPane; }
    QLabel& MessagePane() { return *m_wndMessagePane; }

public slots:
    // The terminal was cleared: the byte counters start again from zero.
    void OnTerminalCleared();

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
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    QDockWidget* CreateDock(int id, const QString& title, const char* objectName, QWidget* content,
                            int horzHeight, int vertWidth, QSize floatingSize);
    void DockDefaultLayout();
    void ApplyDefaultSizes();
    bool LoadBarState();
    void SaveBarState();
    QFont LoadFont(const char* key, const char* defaultFace, int defaultPoints) const;
    void TogglePane(int id);
    // A floating pane stays above this window (its window manager's transient parent); remap
    // for a pane that was shown before this window.
    void KeepAbove(QDockWidget* dock, bool remap);
    bool IsPaneShown(int id) const;
    void UpdateLockIndicators();
    void CheckPortLost();
    QRect PortPaneOnScreen() const;

    void OnPosted(const CPostedEvent& event);
    // ISessionObserver: the port's loss and return.
    void OnSessionEvent(const CSessionEvent& event) override;
    void DestroyWindow();

    // The terminal's input and output parts, made once the terminal window exists.
    void CreateTerminalIo();
    bool OnTerminalCommand(int id);
    bool OnUpdateTerminalCommand(CCmdUI& ui);
    // The port is open: the terminal types into it and the DTR / RTS lines take the stored state.
    void OnPortAttached(CSerialPort* port);
    void ApplyModemLines();
    // Sets DTR or RTS as asked, says so in the status bar when the port refuses, and stores it.
    void SetModemLine(int id, bool on);
    bool ModemLineShown(int id);
    bool HandleTerminalMessage(const CPostedEvent& message);
    void OnSendEnd();
    void UpdateLogPane();
    void UpdateCountersPane();
    void SaveTerminalIo();

    CQtSettingsStore& m_store;
    CToolSettings& m_tools;
    CBoardCommands& m_commands;
    IUserPrompt& m_prompt;
    QStringList m_arguments;
    ICommandTarget* m_pViewTarget = nullptr;
    ICommandTarget* m_pAppTarget = nullptr;

    std::map<int, QAction*> m_actions;
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_wndMessagePane = nullptr;
    CPortPaneLabel* m_wndPortPane = nullptr;
    CPercentProgressCtrl* m_wndStatusProgress = nullptr;
    QLabel* m_wndIndicators[3] = {};
    std::map<int, QDockWidget*> m_docks;
    CTerminalCtrl* m_wndTerminal = nullptr;
    COutputCtrl* m_wndOutput = nullptr;
    CFileBrowserTree* m_wndBrowser = nullptr;
    CQxProgView* m_wndView = nullptr;
    CProgramDlg* m_wndProgram = nullptr;
    QFont m_fontOutput;
    QFont m_fontTerminal;
    bool m_bLayoutRestored = false;
    bool m_bFirstShow = true;
    bool m_bUpdatePending = false;
    bool m_bClosed = false;

    // Run-time parts, in the order they are built; torn down in reverse by the destructor.
    std::unique_ptr<CBoardSimulator> m_pSimulator;
    std::unique_ptr<CQtMessageSink> m_pSink;
    // The port with its settings, the receive parser and the download job; made by Create.
    std::unique_ptr<CProgrammingSession> m_pSession;
    // Shows the session's downloads; made with it, gone before it.
    std::unique_ptr<CDownloadPresenter> m_pPresenter;
    // Started with --simulate: the port is the simulator's for this run and is never stored.
    bool m_bSimulated = false;
    std::unique_ptr<CPortMenus> m_pPortMenus;

    // The terminal's input and output: its settings, the byte counters, the log (fed with the
    // received bytes and, through the tee, with the shown text), what keys put on the line, and
    // the sender of files and pasted text. The sender goes before the session (it writes to its
    // port); the log after it (the session's parser writes to it through the tee).
    CTerminalIoSettings m_terminalIo;
    CTerminalCounters m_counters;
    std::unique_ptr<CTerminalLog> m_pLog;
    std::unique_ptr<CTerminalTee> m_pTee;
    std::unique_ptr<CTerminalInput> m_pInput;
    std::unique_ptr<CRawSender> m_pSender;
    QLabel* m_wndLogPane = nullptr;
    QLabel* m_wndCountersPane = nullptr;
    QTimer* m_pIoTimer = nullptr;
    std::uint64_t m_nShownReceived = ~0ull;
    std::uint64_t m_nShownSent = ~0ull;
};
