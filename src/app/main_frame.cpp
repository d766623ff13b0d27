#include "app/main_frame.h"

#include "app/dock_layout.h"
#include "app/download_presenter.h"
#include "app/frame_bars.h"
#include "app/pane_font.h"
#include "app/port_controller.h"
#include "app/status_tips.h"
#include "base/commands.h"
#include "base/qt_message_sink.h"
#include "base/qt_settings_store.h"
#include "base/system_error.h"
#include "base/user_prompt.h"
#include "browser/file_browser_tree.h"
#include "files/desktop_launcher.h"
#include "files/options_dlg.h"
#include "files/output_ctrl.h"
#include "files/qx_prog_view.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"
#include "programming/program_dlg.h"
#include "programming/programming_session.h"
#include "terminal/command_line.h"
#include "terminal/terminal_ctrl.h"
#include "sim/board_simulator.h"
#include "ui/percent_progress_ctrl.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

CMainFrame::CMainFrame(CQtSettingsStore& store, CToolSettings& tools, CBoardCommands& commands, IUserPrompt& prompt,
                       const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), m_store(store), m_tools(tools), m_commands(commands), m_prompt(prompt),
      m_arguments(arguments)
{
    setObjectName(QStringLiteral("QxProgMainFrmCls"));
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    resize(kDefaultWidth, kDefaultHeight);

    m_pSink = std::make_unique<CQtMessageSink>([this](const CPostedEvent& event) { OnPosted(event); });
}

CMainFrame::~CMainFrame()
{
    // The panes go after this destructor (with the base window): their signals, and focus
    // changes while they go, must no longer reach this frame.
    disconnect(qApp, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>()) {
        disconnect(child, nullptr, this, nullptr);
        if (m_pBars)
            disconnect(child, nullptr, m_pBars.get(), nullptr);
    }
    // A job still running (the frame is destroyed without having been closed) is stopped and
    // joined before the parts it uses go away; the port is closed last.
    if (m_wndTerminal)
        m_wndTerminal->SetSerial(nullptr);
    // The file list refers to this frame and to the output window: it goes first.
    if (m_wndView) {
        m_pViewTarget = nullptr;
        delete takeCentralWidget();
        m_wndView = nullptr;
    }
    m_pPresenter.reset();
    m_pPort.reset();
    // The sender writes to the session's port: it is stopped and joined first.
    if (m_pTerminalIo)
        m_pTerminalIo->ReleasePort();
    // Stops and joins a running job, then closes the port.
    m_pSession.reset();
    // The command line edits the controller's history: it goes first.
    delete m_wndCommandLine;
    m_wndCommandLine = nullptr;
    // The log writes what it holds and joins its writer; it posts to the sink, which goes last.
    m_pTerminalIo.reset();
    m_pSink.reset();
    m_pSimulator.reset();
}

// ---------------------------------------------------------------------------------------------
// Creation

bool CMainFrame::Create()
{
    Q_INIT_RESOURCE(qx_icons);

    m_pBars = std::make_unique<CFrameBars>(*this, CFrameBars::CHost{[this](int id) { ExecuteCommand(id); },
                                                                    [this] { RequestCommandUpdate(); },
                                                                    [this] { UpdateCommandUI(); }});
    m_pBars->Create();
    CreatePanes();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks | QMainWindow::AllowTabbedDocks);

    // The port settings are read when the frame is built; a simulated run uses the simulator's
    // line instead of the stored port, and stores nothing about it.
    // The parser shows the board's text in the terminal and, through the tee, in a log of lines.
    CreateTerminalIo();
    m_pSession = std::make_unique<CProgrammingSession>(m_pTerminalIo->BoardText(), m_commands, *m_pSink, m_prompt);
    m_pSession->PortSettings().LoadPortSettings(m_store);
    m_pTerminalIo->SetPortName(&m_pSession->Port());
    // Every block read from the port is counted and handed to the log as it came.
    m_pSession->SetReceiveTap(
        [this](const std::uint8_t* data, std::size_t size) { m_pTerminalIo->OnReceived(data, size); });
    // A download's bytes count as sent too, the commands included.
    m_pSession->Job().SetSentCounter(&m_pTerminalIo->Counters());
    CDownloadPresenter::CHooks hooks;
    hooks.m_isSending = [this] { return IsSending(); };
    hooks.m_requestCommandUpdate = [this] { RequestCommandUpdate(); };
    hooks.m_afterEnd = [this] {
        // Port Setup's changes made during the download apply now; a port the job opened takes
        // the stored DTR and RTS.
        m_pPort->OnDownloadEnded();
    };
    m_pPresenter = std::make_unique<CDownloadPresenter>(*m_pSession, m_pBars->StatusProgress(), *m_wndProgram,
                                                        MessagePane(), *statusBar(), *m_wndOutput, std::move(hooks));
    connect(m_pPresenter.get(), &CDownloadPresenter::downloadProgress, this, &CMainFrame::downloadProgress);
    connect(m_pPresenter.get(), &CDownloadPresenter::closeReady, this, [this] { QTimer::singleShot(0, this, &QWidget::close); });

    m_pDocks->Restore();

    // A simulated board replaces the stored port for this run.
    if (m_arguments.contains(QStringLiteral("--simulate"))) {
        // The simulated monitor understands the commands the tool settings send.
        const CBoardCommandValues values = m_commands.Get();
        CBoardSimOptions options;
        if (!values.m_strProgramCmd.empty())
            options.m_monitor.m_strProgramCmd = values.m_strProgramCmd;
        if (!values.m_strCmdAfterProgram.empty())
            options.m_monitor.m_strRunCmd = values.m_strCmdAfterProgram;
        m_pSimulator = std::make_unique<CBoardSimulator>(options);
        if (std::error_code ec = m_pSimulator->Start()) {
            ShowSystemError(m_prompt, ec, "The board simulator could not start.");
            m_pSimulator.reset();
        } else {
            PortSettings().SetPortName(m_pSimulator->SlavePath());
            m_bSimulated = true;
        }
    }
    CPortController::CHost portHost;
    portHost.m_isSending = [this] { return IsSending(); };
    portHost.m_requestCommandUpdate = [this] { RequestCommandUpdate(); };
    portHost.m_updateCommandUI = [this] { UpdateCommandUI(); };
    portHost.m_portAttached = [this](CSerialPort* port) { m_pTerminalIo->OnPortAttached(port); };
    portHost.m_applyModemLines = [this] { m_pTerminalIo->ApplyModemLines(); };
    m_pPort = std::make_unique<CPortController>(*m_pSession, PortPane(), MessagePane(), m_store, m_prompt, m_bSimulated,
                                                QList<QAction*>{Action(cmd::ID_TOOLS_OPEN_PORT), Action(cmd::ID_TOOLS_CLOSE_PORT)},
                                                std::move(portHost), this);
    m_pPort->Start(kTextOpenFailed + PortSettings().m_strPort);
    m_pBars->StartIndicators();

    connect(qApp, &QApplication::focusChanged, this, [this] { RequestCommandUpdate(); });
    // A prompt in the status bar (a button's, a menu item's) goes with the pointer or the menu
    // and gives the result shown before it back.
    new CStatusTips(*this);
    // The browser's top level and the folder of the last run; the file list's list file.
    m_wndBrowser->FillRoot(SHELLTREE_FILES);
    m_wndBrowser->RestoreLastBrowse();
    m_wndView->OnInitialUpdate();
    UpdateCommandUI();
    // Settings that could not be read are said once, with what is used instead.
    QStringList warnings;
    for (const std::string& warning : m_store.Warnings())
        warnings << QString::fromStdString(warning);
    // Once the window shows: a message set before hides no pane, and "Ready" would show through.
    if (!warnings.isEmpty())
        QTimer::singleShot(0, this, [this, text = warnings.join(QLatin1Char(' '))] { statusBar()->showMessage(text); });
    return true;
}

void CMainFrame::CreatePanes()
{
    m_pDocks = std::make_unique<CDockLayout>(*this, ToolBar(), m_store,
                                             CDockLayout::CHost{QSize(kDefaultWidth, kDefaultHeight),
                                                                [this](int id) { return Action(id); },
                                                                [this] { RequestCommandUpdate(); },
                                                                [this](int id) { OnPaneToggled(id); }});
    // Program window.
    m_wndProgram = new CProgramDlg(this);
    m_wndProgram->setObjectName(QStringLiteral("Program"));
    m_wndProgram->ShowGrip(false);
    CDownloadPresenter::SetProgressIdle(m_wndProgram->Progress());
    connect(m_wndProgram, &CProgramDlg::commandIssued, this, [this](int id) { ExecuteCommand(id); });
    m_pDocks->AddPane(cmd::ID_VIEW_PROGRAM, "ProgramBar", m_wndProgram);

    // File browser: a double-click on a file adds it to the file list.
    m_wndBrowser = new CFileBrowserTree(m_store, m_prompt, [this](const std::string& path) {
        if (m_wndView)
            m_wndView->AddFile(path);
    }, this);
    m_wndBrowser->setObjectName(QStringLiteral("Browser"));
    m_pDocks->AddPane(cmd::ID_VIEW_BROWSER, "BrowserBar", m_wndBrowser);

    // Output window: it also runs the builder.
    m_fontOutput = LoadPaneFont(m_store, "OutputFont", "Courier New", 8);
    m_wndOutput = new COutputCtrl(this);
    m_wndOutput->setObjectName(QStringLiteral("Output"));
    m_wndOutput->setFont(m_fontOutput);
    m_pDocks->AddPane(cmd::ID_VIEW_OUTPUT, "OutputBar", m_wndOutput);
    // A diagnostic opens its source in the configured editor; the result goes to the status bar.
    m_wndOutput->SetSourceOpener([this](const std::string& path, int line) {
        const std::string editor = m_tools.Get().m_strEditor;
        if (CDesktopLauncher::OpenInEditorAtLine(editor, path, line) != CDesktopLauncher::EResult::Launched)
            statusBar()->showMessage(QStringLiteral("Unable to open %1 in the editor %2")
                                         .arg(QFile::decodeName(QByteArray::fromStdString(path)),
                                              editor.empty() ? QStringLiteral("of the desktop") : QString::fromStdString(editor)));
    });
    connect(m_wndOutput, &COutputCtrl::BuildStateChanged, this, [this] { RequestCommandUpdate(); });
    connect(m_wndOutput, &COutputCtrl::BuildFinished, this, [this](const QString& result) { statusBar()->showMessage(result); });
    connect(m_wndOutput, &COutputCtrl::StatusMessage, this, [this](const QString& text) { statusBar()->showMessage(text, 5000); });

    // The file list in the centre: it takes commands and their states first.
    CQxProgView::CCallbacks callbacks;
    callbacks.m_startDownload = [this](const std::string& path) { StartDownload(path); };
    callbacks.m_showOutputPane = [this] {
        m_pDocks->ShowPane(cmd::ID_VIEW_OUTPUT);
        RequestCommandUpdate();
    };
    callbacks.m_onOptions = [this] { COptionsDlg::OnOptions(this, m_tools, m_commands, m_store); };
    callbacks.m_routeCommand = [this](int id) { return ExecuteCommand(id); };
    callbacks.m_updateCommand = [this](CCmdUI& ui) { RouteUpdate(ui); };
    callbacks.m_showStatus = [this](const QString& text) { statusBar()->showMessage(text); };
    m_wndView = new CQxProgView(m_store, m_tools, m_prompt, &m_wndOutput->Runner(), callbacks, this);
    m_wndView->setObjectName(QStringLiteral("FileList"));
    setCentralWidget(m_wndView);
    m_pViewTarget = m_wndView;
    connect(m_wndView, &CQxProgView::CommandStatesChanged, this, &CMainFrame::UpdateCommandUI);

    // Terminal window: typed keys go to the port.
    m_fontTerminal = LoadPaneFont(m_store, "TerminalFont", "Lucida Console", 9);
    m_wndTerminal = new CTerminalCtrl(this);
    m_wndTerminal->setObjectName(QStringLiteral("Terminal"));
    m_wndTerminal->setFont(m_fontTerminal);
    m_wndTerminal->LoadViewSettings(m_store);
    // The command line goes under the terminal once the controller that keeps its history exists.
    m_wndTerminalPane = new QWidget(this);
    m_wndTerminalPane->setObjectName(QStringLiteral("TerminalPane"));
    auto* layout = new QVBoxLayout(m_wndTerminalPane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_wndTerminal, 1);
    m_wndTerminalPane->setFocusProxy(m_wndTerminal);
    m_pDocks->AddPane(cmd::ID_VIEW_TERMINAL, "TerminalBar", m_wndTerminalPane);
}

// ---------------------------------------------------------------------------------------------
// Layout

void CMainFrame::ActivateFrame()
{
    show();
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_pDocks)
        m_pDocks->OnWindowShown();
}

void CMainFrame::BringToFront()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

QMenu* CMainFrame::createPopupMenu()
{
    UpdateCommandUI();
    return m_pDocks->CreatePopupMenu();
}

void CMainFrame::OnPaneToggled(int id)
{
    // Showing the terminal retries a port that is closed; hiding it leaves the port open.
    // (A running download opens the port itself when it needs to.)
    if (id == cmd::ID_VIEW_TERMINAL && m_pPort && m_pDocks->IsPaneShown(id) && !Serial().IsOpen() && !IsDownloadRunning())
        m_pPort->OpenPort(kTextPortOpenError);
}

// ---------------------------------------------------------------------------------------------
// Commands

void CMainFrame::SetViewTarget(ICommandTarget* target)
{
    m_pViewTarget = target;
    RequestCommandUpdate();
}

QAction* CMainFrame::Action(int id) const
{
    return m_pBars ? m_pBars->Action(id) : nullptr;
}

CPercentProgressCtrl& CMainFrame::StatusProgress()
{
    return m_pBars->StatusProgress();
}

CPortPaneLabel& CMainFrame::PortPane()
{
    return m_pBars->PortPane();
}

QToolBar& CMainFrame::ToolBar()
{
    return m_pBars->ToolBar();
}

QLabel& CMainFrame::MessagePane()
{
    return m_pBars->MessagePane();
}

std::array<ICommandTarget*, 7> CMainFrame::Targets()
{
    return {m_pViewTarget, this, m_pPort.get(), m_pDocks.get(), m_pPresenter.get(), m_pTerminalIo.get(), m_pAppTarget};
}

bool CMainFrame::ExecuteCommand(int id)
{
    bool handled = false;
    for (ICommandTarget* target : Targets())
        if (!handled && target)
            handled = target->OnCommand(id);
    RequestCommandUpdate();
    return handled;
}

void CMainFrame::RequestCommandUpdate()
{
    if (m_bUpdatePending)
        return;
    m_bUpdatePending = true;
    QTimer::singleShot(0, this, [this] { UpdateCommandUI(); });
}

void CMainFrame::UpdateCommandUI()
{
    m_bUpdatePending = false;
    for (auto& [id, action] : m_pBars->Actions()) {
        CCmdUI ui;
        ui.m_nID = id;
        RouteUpdate(ui);
        action->setEnabled(ui.m_bEnabled);
        if (action->isCheckable())
            action->setChecked(ui.m_bChecked);
        if (ui.m_strText)
            action->setText(QString::fromStdString(*ui.m_strText));
    }
    // The program window's button follows the Program command.
    m_wndProgram->ProgramButton().setEnabled(Action(cmd::ID_TOOLS_PROGRAM)->isEnabled());
}

bool CMainFrame::RouteUpdate(CCmdUI& ui)
{
    bool owned = false;
    for (ICommandTarget* target : Targets())
        if (!owned && target)
            owned = target->OnUpdateCommand(ui);
    // A command no target owns is disabled.
    if (!owned)
        ui.Enable(false);
    return owned;
}

bool CMainFrame::OnCommand(int id)
{
    switch (id) {
    case cmd::ID_APP_EXIT:
        close();
        return true;
    case cmd::ID_NEXT_PANE:
    case cmd::ID_PREV_PANE:
        // No split panes: nothing to switch to.
        return true;
    case cmd::ID_TOOLS_STOP_BUILD:
        m_wndOutput->StopBuild();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::OnUpdateCommand(CCmdUI& ui)
{
    switch (ui.m_nID) {
    case cmd::ID_APP_EXIT:
        ui.Enable(true);
        return true;
    case cmd::ID_TOOLS_STOP_BUILD:
        ui.Enable(m_wndOutput && m_wndOutput->IsBuilding());
        return true;
    case cmd::ID_NEXT_PANE:
    case cmd::ID_PREV_PANE:
        ui.Enable(false);
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Notifications

void CMainFrame::OnPosted(const CPostedEvent& event)
{
    if (m_pTerminalIo->HandleMessage(event))
        return;
    if (m_pSession)
        m_pSession->OnPosted(event);
}

void CMainFrame::StartDownload(const std::string& path)
{
    if (m_pPresenter)
        m_pPresenter->StartDownload(path);
}

bool CMainFrame::IsDownloadRunning() const
{
    return m_pSession && m_pSession->IsDownloadRunning();
}

void CMainFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_pPresenter)
        m_pPresenter->OnPaletteChange();
}

// ---------------------------------------------------------------------------------------------
// Closing

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_bClosed) {
        event->accept();
        return;
    }
    // The job uses the port and this window until it posts its end: it is asked to stop, and
    // the close comes again once the end has been shown.
    if (m_pPresenter && m_pPresenter->DeferClose()) {
        event->ignore();
        return;
    }
    emit closing();
    DestroyWindow();
    event->accept();
}

void CMainFrame::DestroyWindow()
{
    m_bClosed = true;
    m_pDocks->OnClosing();
    // "LastBrowse" changes only when an item is selected.
    m_wndBrowser->SaveLastBrowse();
    m_wndView->SaveFileList();
    m_pTerminalIo->OnClosing();
    if (Serial().IsOpen())
        Serial().Close();
}

// ---------------------------------------------------------------------------------------------
// The terminal's input and output

void CMainFrame::CreateTerminalIo()
{
    CTerminalController::CHost host;
    host.m_isDownloadRunning = [this] { return IsDownloadRunning(); };
    host.m_lineRate = [this] { return m_pSession->LineRate(); };
    host.m_portName = [this] { return PortName(); };
    host.m_requestCommandUpdate = [this] { RequestCommandUpdate(); };
    // Port Setup's changes made during the send apply now.
    host.m_lineReleased = [this] {
        m_pPort->OnLineReleased();
    };
    host.m_showTerminal = [this] { m_pDocks->ShowPane(cmd::ID_VIEW_TERMINAL); };
    m_pTerminalIo = std::make_unique<CTerminalController>(*m_wndTerminal, *statusBar(), MessagePane(),
                                                          m_pBars->StatusPanes(), m_store, *m_pSink, m_prompt, std::move(host));
    QList<QAction*> context;
    for (int id : {cmd::ID_TERMINAL_PASTE, cmd::ID_TERMINAL_LOG, cmd::ID_TERMINAL_SEND_FILE, cmd::ID_TERMINAL_STOP_SEND,
                   cmd::ID_TERMINAL_LOCAL_ECHO})
        context << Action(id);
    m_wndTerminal->SetContextActions(context);
    m_wndCommandLine = new CCommandLine(m_pTerminalIo->History(), m_wndTerminalPane);
    m_wndCommandLine->setObjectName(QStringLiteral("CommandLine"));
    m_wndTerminalPane->layout()->addWidget(m_wndCommandLine);
    m_pTerminalIo->AttachCommandLine(*m_wndCommandLine);
    // The quick sends' row goes below the toolbar; it shows once a send is set.
    auto* quick = new QToolBar(QStringLiteral("Quick Sends"), this);
    quick->setObjectName(QStringLiteral("QuickSendBar"));
    quick->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (int id = cmd::ID_QUICK_SEND_FIRST; id <= cmd::ID_QUICK_SEND_LAST; ++id)
        quick->addAction(Action(id));
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, quick);
    m_pTerminalIo->AttachQuickSendBar(*quick);
}
