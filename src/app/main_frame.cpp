#include "app/main_frame.h"

#include "app/command_table.h"
#include "app/download_presenter.h"
#include "app/font_record.h"
#include "app/lock_keys.h"
#include "app/port_pane_label.h"
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
#include "port/com_port_probe.h"
#include "port/port_menus.h"
#include "programming/board_commands.h"
#include "programming/program_dlg.h"
#include "programming/programming_session.h"
#include "terminal/raw_sender.h"
#include "terminal/terminal_ctrl.h"
#include "terminal/terminal_input.h"
#include "terminal/terminal_log.h"
#include "terminal/terminal_tee.h"
#include "serial/serial_device_name.h"
#include "sim/board_simulator.h"
#include "ui/about_dlg.h"
#include "ui/elided_label.h"
#include "ui/percent_progress_ctrl.h"
#include "ui/status_panes.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

namespace {
// Bumped when the saved dock layout no longer fits the panes.
constexpr int kLayoutVersion = 1;
constexpr const char* kKeyGeometry = "Geometry";
constexpr const char* kKeyState = "State";
constexpr const char* kKeyMenuBar = "MenuBar";
constexpr const char* kKeyStatusBar = "StatusBar";

// Bar sizes docked at the top or bottom (height) and at the left or right (width), and floating.
struct CBarSizes {
    int m_nHorzHeight;
    int m_nVertWidth;
    QSize m_floating;
};
// The program window holds the bar and, below it, the download's figures.
constexpr CBarSizes kProgramSizes{92, 240, {240, 92}};
constexpr CBarSizes kBrowserSizes{140, 200, {220, 300}};
constexpr CBarSizes kOutputSizes{130, 160, {480, 320}};
constexpr CBarSizes kTerminalSizes{130, 160, {480, 320}};

QString Latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The menu text up to its tab, without mnemonics: a dock's title.
QString PlainTitle(int id)
{
    const CCommandInfo* info = FindCommand(id);
    QString text = info ? Latin1(info->m_strMenuText) : QString();
    text = text.section(QLatin1Char('\t'), 0, 0);
    text.remove(QLatin1Char('&'));
    return text;
}

bool IsPaneCommand(int id)
{
    return id == cmd::ID_VIEW_PROGRAM || id == cmd::ID_VIEW_BROWSER || id == cmd::ID_VIEW_TERMINAL ||
           id == cmd::ID_VIEW_OUTPUT;
}

// The terminal's commands that show a state (on/off, or one of a set).
bool IsTerminalToggle(int id)
{
    return id == cmd::ID_TERMINAL_LOG || id == cmd::ID_TERMINAL_LOG_BYTES || id == cmd::ID_TERMINAL_LOG_LINES ||
           id == cmd::ID_TERMINAL_LOCAL_ECHO || id == cmd::ID_TERMINAL_ENTER_CR || id == cmd::ID_TERMINAL_ENTER_LF ||
           id == cmd::ID_TERMINAL_ENTER_CRLF || id == cmd::ID_TERMINAL_DTR || id == cmd::ID_TERMINAL_RTS;
}

QString FileName(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName();
}
} // namespace

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
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
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
    if (m_pSession)
        m_pSession->RemoveObserver(*this);
    m_pPortMenus.reset();
    // The sender writes to the session's port: it is stopped and joined first.
    m_pSender.reset();
    // Stops and joins a running job, then closes the port.
    m_pSession.reset();
    // The log writes what it holds and joins its writer; it posts to the sink, which goes last.
    m_pInput.reset();
    m_pTee.reset();
    m_pLog.reset();
    m_pSink.reset();
    m_pSimulator.reset();
}

// ---------------------------------------------------------------------------------------------
// Creation

bool CMainFrame::Create()
{
    Q_INIT_RESOURCE(qx_icons);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreatePanes();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks | QMainWindow::AllowTabbedDocks);

    // The port settings are read when the frame is built; a simulated run uses the simulator's
    // line instead of the stored port, and stores nothing about it.
    // The parser shows the board's text in the terminal and, through the tee, in a log of lines.
    CreateTerminalIo();
    m_pSession = std::make_unique<CProgrammingSession>(*m_pTee, m_commands, *m_pSink, m_prompt);
    m_pSession->PortSettings().LoadPortSettings(m_store);
    m_wndTerminal->SetSerial(&m_pSession->Port());
    // Every block read from the port is counted and handed to the log as it came.
    m_pSession->SetReceiveTap([this](const std::uint8_t* data, std::size_t size) {
        m_counters.AddReceived(size);
        m_pLog->OnReceived(data, size);
    });
    m_pSender = std::make_unique<CRawSender>(*m_pSink, m_counters);
    // A download's bytes count as sent too, the commands included.
    m_pSession->Job().SetSentCounter(&m_counters);
    m_pSession->AddObserver(*this);
    CDownloadPresenter::CHooks hooks;
    hooks.m_isSending = [this] { return IsSending(); };
    hooks.m_requestCommandUpdate = [this] { RequestCommandUpdate(); };
    hooks.m_afterEnd = [this] {
        // Port Setup's changes made during the download apply now; a port the job opened takes
        // the stored DTR and RTS.
        m_pPortMenus->ApplyPendingReopen();
        ApplyModemLines();
        UpdatePortPane();
        RequestCommandUpdate();
    };
    m_pPresenter = std::make_unique<CDownloadPresenter>(*m_pSession, *m_wndStatusProgress, *m_wndProgram,
                                                        *m_wndMessagePane, *statusBar(), *m_wndOutput, std::move(hooks));
    connect(m_pPresenter.get(), &CDownloadPresenter::downloadProgress, this, &CMainFrame::downloadProgress);
    connect(m_pPresenter.get(), &CDownloadPresenter::closeReady, this, [this] { QTimer::singleShot(0, this, &QWidget::close); });

    DockDefaultLayout();
    m_bLayoutRestored = LoadBarState();

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
            PortSettings().SetPort(m_pSimulator->SlavePath());
            m_bSimulated = true;
        }
    }
    m_pPortMenus = std::make_unique<CPortMenus>(PortSettings(), m_store, Serial(), &m_pSession->PortSink(), m_prompt,
                                                [this](CSerialPort* port) {
                                                    OnPortAttached(port);
                                                    m_pSession->NotePortOpened();
                                                },
                                                this);
    // Port Setup does not pull the port from under a running download or send: the reopening
    // waits for its end.
    m_pPortMenus->SetBusy([this] { return IsDownloadRunning() || IsSending(); });
    m_pPortMenus->SetSettingsChanged([this] {
        // A wait for a device that went away follows the port now set, or ends when it is off.
        if (m_pSession->IsWaitingForPort()) {
            if (PortSettings().m_bReconnect)
                m_pSession->RestartWaiting();
            else
                m_pSession->StopWaiting();
        }
        UpdatePortPane();
        RequestCommandUpdate();
    });
    m_pPortMenus->SetPortStateChanged([this] {
        UpdatePortPane();
        RequestCommandUpdate();
    });
    m_pPortMenus->SetPortActions({m_actions.at(cmd::ID_TOOLS_OPEN_PORT), m_actions.at(cmd::ID_TOOLS_CLOSE_PORT)});
    UpdatePortPane();

    // The window appears whether or not the port opens.
    OpenPort(kTextOpenFailed + PortSettings().m_strPort);

    auto* idleTimer = new QTimer(this);
    connect(idleTimer, &QTimer::timeout, this, [this] {
        UpdateLockIndicators();
        CheckPortLost();
        // A download opens the port on its worker: the pane catches up here.
        UpdatePortPane();
    });
    idleTimer->start(500);
    UpdateLockIndicators();

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

void CMainFrame::CreateActions()
{
    for (const CCommandInfo& info : CommandTable()) {
        const int id = info.m_nID;
        auto* action = new QAction(this);
        action->setText(info.m_strMenuText.empty() ? Latin1(info.m_strToolTip) : Latin1(info.m_strMenuText));
        action->setStatusTip(Latin1(info.m_strPrompt));
        action->setToolTip(Latin1(info.m_strToolTip));
        if (id == cmd::ID_HELP_VISIT) {
            // "&Visit " and the maker's web address, in the menu, the prompt and the tool tip.
            QString address = QString::fromLatin1(kMakerWebAddress);
            address.remove(QRegularExpression(QStringLiteral("^[a-z]+://")));
            action->setText(action->text() + address);
            action->setStatusTip(action->statusTip() + address);
            action->setToolTip(action->toolTip() + address);
        }
        if (!info.m_strIcon.empty()) {
            const QIcon own(QStringLiteral(":/icons/%1.svg").arg(Latin1(info.m_strIcon)));
            action->setIcon(info.m_strThemeIcon.empty() ? own : QIcon::fromTheme(Latin1(info.m_strThemeIcon), own));
        }
        if (!info.m_strKey.empty())
            action->setShortcut(QKeySequence(Latin1(info.m_strKey), QKeySequence::PortableText));
        action->setShortcutContext(Qt::WindowShortcut);
        const bool checkable = IsPaneCommand(id) || id == cmd::ID_VIEW_MENUBAR || id == cmd::ID_VIEW_TOOLBAR ||
                               id == cmd::ID_VIEW_STATUS_BAR || id == cmd::ID_TERMINAL_TIMESTAMPS ||
                               id == cmd::ID_TERMINAL_HEX_VIEW || IsTerminalToggle(id);
        action->setCheckable(checkable);
        action->setData(id);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        // Actions belong to the window so their keys work while the menu bar is hidden.
        addAction(action);
        m_actions.emplace(id, action);
    }
    // One of a set: shown as radio items.
    for (std::initializer_list<int> set : {std::initializer_list<int>{cmd::ID_TERMINAL_LOG_BYTES, cmd::ID_TERMINAL_LOG_LINES},
                                           {cmd::ID_TERMINAL_ENTER_CR, cmd::ID_TERMINAL_ENTER_LF, cmd::ID_TERMINAL_ENTER_CRLF}}) {
        auto* group = new QActionGroup(this);
        for (int id : set)
            group->addAction(m_actions.at(id));
    }
}

void CMainFrame::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    for (const CMenuLayout& layout : MainMenuLayout()) {
        QMenu* menu = bar->addMenu(Latin1(layout.m_strTitle));
        for (int id : layout.m_ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(m_actions.at(id));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
}

void CMainFrame::CreateToolBar()
{
    m_wndToolBar = new QToolBar(PlainTitle(cmd::ID_VIEW_TOOLBAR), this);
    m_wndToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int id : ToolBarLayout()) {
        if (id == 0)
            m_wndToolBar->addSeparator();
        else
            m_wndToolBar->addAction(m_actions.at(id));
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    connect(m_wndToolBar, &QToolBar::visibilityChanged, this, [this] { RequestCommandUpdate(); });
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));

    // The message takes the free width: its own width asks nothing, the panes beside it give
    // way to its text (eliding theirs) before it is cut.
    m_wndMessagePane = new CElidedLabel(QString::fromLatin1(kTextReady), bar);
    m_wndMessagePane->setObjectName(QStringLiteral("MessagePane"));
    m_wndMessagePane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_wndMessagePane, 1);
    auto* panes = new CStatusPanes(*bar, *m_wndMessagePane);
    panes->setObjectName(QStringLiteral("StatusPanes"));

    m_wndPortPane = new CPortPaneLabel(panes);
    m_wndPortPane->setObjectName(QStringLiteral("PortPane"));
    panes->AddPane(m_wndPortPane);
    connect(m_wndPortPane, &CPortPaneLabel::leftClicked, this, [this] { ExecuteCommand(cmd::ID_PORT_LIST_MENU); });
    connect(m_wndPortPane, &CPortPaneLabel::rightClicked, this,
            [this] { ExecuteCommand(cmd::ID_PORT_CONFIG_MENU); });

    // The terminal's log (shown while it runs) and its byte counters.
    m_wndLogPane = new CElidedLabel(QString(), panes);
    m_wndLogPane->setObjectName(QStringLiteral("LogPane"));
    m_wndLogPane->hide();
    panes->AddPane(m_wndLogPane);
    m_wndCountersPane = new CElidedLabel(QString(), panes);
    m_wndCountersPane->setObjectName(QStringLiteral("CountersPane"));
    m_wndCountersPane->setToolTip(QStringLiteral("Bytes received from and sent to the board since the terminal was cleared"));
    panes->AddPane(m_wndCountersPane);
    bar->addPermanentWidget(panes);

    m_wndStatusProgress = new CPercentProgressCtrl(bar);
    m_wndStatusProgress->setObjectName(QStringLiteral("StatusProgress"));
    const QFontMetrics fm(bar->font());
    m_wndStatusProgress->setFixedSize(fm.horizontalAdvance(QString::fromLatin1(kProgressPaneSizing)) + 8,
                                      fm.height() + 2);
    CDownloadPresenter::SetProgressIdle(*m_wndStatusProgress);
    bar->addPermanentWidget(m_wndStatusProgress);

    const char* texts[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(bar);
        label->setAlignment(Qt::AlignCenter);
        label->setFixedWidth(fm.horizontalAdvance(QString::fromLatin1(texts[i])) + 8);
        label->setProperty("indicatorText", QString::fromLatin1(texts[i]));
        bar->addPermanentWidget(label);
        m_wndIndicators[i] = label;
    }
}

QDockWidget* CMainFrame::CreateDock(int id, const QString& title, const char* objectName, QWidget* content,
                                    int horzHeight, int vertWidth, QSize floatingSize)
{
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(QString::fromLatin1(objectName));
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    dock->setWidget(content);
    // A bar the user pulls out takes its floating size (a restored layout keeps its own).
    connect(dock, &QDockWidget::topLevelChanged, this, [this, dock, floatingSize](bool floating) {
        if (floating && isVisible()) {
            dock->resize(floatingSize);
            KeepAbove(dock, false);
        }
    });
    // Docked on another side by the user, the bar takes that side's size (a restored layout
    // keeps its own sizes: it is applied before the window shows).
    connect(dock, &QDockWidget::dockLocationChanged, this, [this, dock, horzHeight, vertWidth](Qt::DockWidgetArea area) {
        if (!isVisible() || dock->isFloating())
            return;
        if (area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea)
            resizeDocks({dock}, {horzHeight}, Qt::Vertical);
        else if (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea)
            resizeDocks({dock}, {vertWidth}, Qt::Horizontal);
    });
    connect(dock->toggleViewAction(), &QAction::toggled, this, [this] { RequestCommandUpdate(); });
    m_docks.emplace(id, dock);
    return dock;
}

void CMainFrame::CreatePanes()
{
    // Program window.
    m_wndProgram = new CProgramDlg(this);
    m_wndProgram->setObjectName(QStringLiteral("Program"));
    m_wndProgram->ShowGrip(false);
    CDownloadPresenter::SetProgressIdle(m_wndProgram->Progress());
    connect(m_wndProgram, &CProgramDlg::commandIssued, this, [this](int id) { ExecuteCommand(id); });
    CreateDock(cmd::ID_VIEW_PROGRAM, PlainTitle(cmd::ID_VIEW_PROGRAM), "ProgramBar", m_wndProgram,
               kProgramSizes.m_nHorzHeight, kProgramSizes.m_nVertWidth, kProgramSizes.m_floating);

    // File browser: a double-click on a file adds it to the file list.
    m_wndBrowser = new CFileBrowserTree(m_store, m_prompt, [this](const std::string& path) {
        if (m_wndView)
            m_wndView->AddFile(path);
    }, this);
    m_wndBrowser->setObjectName(QStringLiteral("Browser"));
    CreateDock(cmd::ID_VIEW_BROWSER, PlainTitle(cmd::ID_VIEW_BROWSER), "BrowserBar", m_wndBrowser,
               kBrowserSizes.m_nHorzHeight, kBrowserSizes.m_nVertWidth, kBrowserSizes.m_floating);

    // Output window: it also runs the builder.
    m_fontOutput = LoadFont("OutputFont", "Courier New", 8);
    m_wndOutput = new COutputCtrl(this);
    m_wndOutput->setObjectName(QStringLiteral("Output"));
    m_wndOutput->setFont(m_fontOutput);
    CreateDock(cmd::ID_VIEW_OUTPUT, PlainTitle(cmd::ID_VIEW_OUTPUT), "OutputBar", m_wndOutput,
               kOutputSizes.m_nHorzHeight, kOutputSizes.m_nVertWidth, kOutputSizes.m_floating);
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
        QDockWidget* dock = DockBar(cmd::ID_VIEW_OUTPUT);
        dock->show();
        dock->raise();
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
    m_fontTerminal = LoadFont("TerminalFont", "Lucida Console", 9);
    m_wndTerminal = new CTerminalCtrl(this);
    m_wndTerminal->setObjectName(QStringLiteral("Terminal"));
    m_wndTerminal->setFont(m_fontTerminal);
    m_wndTerminal->LoadViewSettings(m_store);
    connect(m_wndTerminal, &CTerminalCtrl::viewSettingsChanged, this, &CMainFrame::RequestCommandUpdate);
    CreateDock(cmd::ID_VIEW_TERMINAL, PlainTitle(cmd::ID_VIEW_TERMINAL), "TerminalBar", m_wndTerminal,
               kTerminalSizes.m_nHorzHeight, kTerminalSizes.m_nVertWidth, kTerminalSizes.m_floating);
}

void CMainFrame::SetPaneWidget(int id, QWidget* widget)
{
    QDockWidget* dock = DockBar(id);
    if (!dock || !widget)
        return;
    QWidget* old = dock->widget();
    if (id == cmd::ID_VIEW_OUTPUT)
        widget->setFont(m_fontOutput);
    dock->setWidget(widget);
    if (old && old != widget)
        old->deleteLater();
}

QFont CMainFrame::LoadFont(const char* key, const char* defaultFace, int defaultPoints) const
{
    // A stored record of exactly 60 bytes describes the font; anything else is ignored.
    if (auto value = m_store.GetProfileBinary(key)) {
        if (auto record = ParseLogFont(*value)) {
            QFont font(QString::fromLatin1(record->m_strFaceName.c_str()));
            font.setStyleHint(QFont::TypeWriter);
            if (record->m_nHeight != 0)
                font.setPixelSize(std::abs(record->m_nHeight));
            else
                font.setPointSize(defaultPoints);
            if (record->m_nWeight > 0)
                font.setWeight(static_cast<QFont::Weight>(std::clamp(record->m_nWeight, 1, 1000)));
            font.setItalic(record->m_bItalic);
            return font;
        }
    }
    // The default face, else the desktop's fixed font, else any fixed-pitch family there is.
    const QString face = QString::fromLatin1(defaultFace);
    QFont font = QFontDatabase::hasFamily(face) ? QFont(face) : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(defaultPoints);
    if (!QFontInfo(font).fixedPitch()) {
        for (const QString& family : QFontDatabase::families()) {
            if (QFontDatabase::isFixedPitch(family)) {
                font.setFamily(family);
                break;
            }
        }
    }
    return font;
}

// ---------------------------------------------------------------------------------------------
// Layout

QDockWidget* CMainFrame::DockBar(int id) const
{
    auto it = m_docks.find(id);
    return it == m_docks.end() ? nullptr : it->second;
}

void CMainFrame::DockDefaultLayout()
{
    QDockWidget* program = DockBar(cmd::ID_VIEW_PROGRAM);
    QDockWidget* browser = DockBar(cmd::ID_VIEW_BROWSER);
    QDockWidget* output = DockBar(cmd::ID_VIEW_OUTPUT);
    QDockWidget* terminal = DockBar(cmd::ID_VIEW_TERMINAL);
    addDockWidget(Qt::BottomDockWidgetArea, terminal);
    splitDockWidget(terminal, output, Qt::Horizontal);
    addDockWidget(Qt::LeftDockWidgetArea, browser);
    addDockWidget(Qt::TopDockWidgetArea, program);
    for (QDockWidget* dock : {program, browser, output, terminal}) {
        dock->setFloating(false);
        dock->show();
    }
    m_wndToolBar->show();
    menuBar()->show();
    statusBar()->show();
    ApplyDefaultSizes();
}

void CMainFrame::ApplyDefaultSizes()
{
    QDockWidget* terminal = DockBar(cmd::ID_VIEW_TERMINAL);
    QDockWidget* output = DockBar(cmd::ID_VIEW_OUTPUT);
    resizeDocks({DockBar(cmd::ID_VIEW_PROGRAM)}, {kProgramSizes.m_nHorzHeight}, Qt::Vertical);
    resizeDocks({DockBar(cmd::ID_VIEW_BROWSER)}, {kBrowserSizes.m_nVertWidth}, Qt::Horizontal);
    resizeDocks({terminal}, {kTerminalSizes.m_nHorzHeight}, Qt::Vertical);
    // Terminal and output share the bottom half and half.
    resizeDocks({terminal, output}, {kTerminalSizes.m_floating.width(), kOutputSizes.m_floating.width()},
                Qt::Horizontal);
}

bool CMainFrame::LoadBarState()
{
    QSettings& settings = m_store.Settings();
    settings.beginGroup(QString::fromLatin1(kLayoutGroup));
    const QByteArray geometry = settings.value(QString::fromLatin1(kKeyGeometry)).toByteArray();
    const QByteArray state = settings.value(QString::fromLatin1(kKeyState)).toByteArray();
    const QVariant menuBarShown = settings.value(QString::fromLatin1(kKeyMenuBar));
    const QVariant statusBarShown = settings.value(QString::fromLatin1(kKeyStatusBar));
    settings.endGroup();

    if (!geometry.isEmpty() && !restoreGeometry(geometry))
        resize(kDefaultWidth, kDefaultHeight);
    // No saved layout, or one that does not read: the default layout stays.
    if (state.isEmpty() || !restoreState(state, kLayoutVersion)) {
        DockDefaultLayout();
        return false;
    }
    if (menuBarShown.isValid())
        menuBar()->setVisible(menuBarShown.toBool());
    if (statusBarShown.isValid())
        statusBar()->setVisible(statusBarShown.toBool());
    return true;
}

void CMainFrame::SaveBarState()
{
    QSettings& settings = m_store.Settings();
    settings.beginGroup(QString::fromLatin1(kLayoutGroup));
    settings.setValue(QString::fromLatin1(kKeyGeometry), saveGeometry());
    settings.setValue(QString::fromLatin1(kKeyState), saveState(kLayoutVersion));
    settings.setValue(QString::fromLatin1(kKeyMenuBar), !menuBar()->isHidden());
    settings.setValue(QString::fromLatin1(kKeyStatusBar), !statusBar()->isHidden());
    settings.endGroup();
    settings.sync();
}

void CMainFrame::ActivateFrame()
{
    show();
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Dock sizes take hold once the window has its size: apply the default ones then.
    if (m_bFirstShow) {
        m_bFirstShow = false;
        if (!m_bLayoutRestored)
            ApplyDefaultSizes();
        // A pane restored floating was made before this window had one of its own, so the
        // window manager would not keep it above this one: tie it to this window now.
        QTimer::singleShot(0, this, [this] {
            for (auto& [id, dock] : m_docks)
                KeepAbove(dock, true);
        });
    }
}

void CMainFrame::KeepAbove(QDockWidget* dock, bool remap)
{
    if (!dock->isFloating() || !dock->isVisible() || !windowHandle())
        return;
    QWindow* window = dock->windowHandle();
    if (!window)
        return;
    window->setTransientParent(windowHandle());
    // A pane mapped before this window was, is stacked by the window manager as a window of its
    // own; it takes the tie to this window when it is mapped again.
    if (remap) {
        dock->hide();
        dock->show();
    }
    dock->raise();
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
    // The bars' context menu: the View menu's toggles, so a hidden menu bar can come back.
    UpdateCommandUI();
    auto* menu = new QMenu(this);
    for (const CMenuLayout& layout : MainMenuLayout()) {
        if (layout.m_strTitle != "&View")
            continue;
        for (int id : layout.m_ids)
            menu->addAction(m_actions.at(id));
    }
    return menu;
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
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

bool CMainFrame::ExecuteCommand(int id)
{
    bool handled = (m_pViewTarget && m_pViewTarget->OnCommand(id)) || OnCommand(id) ||
                   (m_pPresenter && m_pPresenter->OnCommand(id)) || OnTerminalCommand(id) ||
                   (m_pAppTarget && m_pAppTarget->OnCommand(id));
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
    for (auto& [id, action] : m_actions) {
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
    m_wndProgram->ProgramButton().setEnabled(m_actions.at(cmd::ID_TOOLS_PROGRAM)->isEnabled());
}

bool CMainFrame::RouteUpdate(CCmdUI& ui)
{
    const bool owned = (m_pViewTarget && m_pViewTarget->OnUpdateCommand(ui)) || OnUpdateCommand(ui) ||
                       (m_pPresenter && m_pPresenter->OnUpdateCommand(ui)) || OnUpdateTerminalCommand(ui) ||
                       (m_pAppTarget && m_pAppTarget->OnUpdateCommand(ui));
    // A command no target owns is disabled.
    if (!owned)
        ui.Enable(false);
    return owned;
}

bool CMainFrame::IsPaneShown(int id) const
{
    switch (id) {
    case cmd::ID_VIEW_MENUBAR: return !menuBar()->isHidden();
    case cmd::ID_VIEW_TOOLBAR: return !m_wndToolBar->isHidden();
    case cmd::ID_VIEW_STATUS_BAR: return !statusBar()->isHidden();
    default: break;
    }
    QDockWidget* dock = DockBar(id);
    return dock && !dock->isHidden();
}

void CMainFrame::TogglePane(int id)
{
    switch (id) {
    case cmd::ID_VIEW_MENUBAR: menuBar()->setVisible(menuBar()->isHidden()); return;
    case cmd::ID_VIEW_TOOLBAR: m_wndToolBar->setVisible(m_wndToolBar->isHidden()); return;
    case cmd::ID_VIEW_STATUS_BAR: statusBar()->setVisible(statusBar()->isHidden()); return;
    default: break;
    }
    QDockWidget* dock = DockBar(id);
    if (!dock)
        return;
    if (dock->isHidden()) {
        dock->show();
        dock->raise();
    } else {
        dock->hide();
    }
}

bool CMainFrame::OnCommand(int id)
{
    switch (id) {
    case cmd::ID_VIEW_MENUBAR:
    case cmd::ID_VIEW_TOOLBAR:
    case cmd::ID_VIEW_STATUS_BAR:
    case cmd::ID_VIEW_PROGRAM:
    case cmd::ID_VIEW_BROWSER:
    case cmd::ID_VIEW_OUTPUT:
        TogglePane(id);
        return true;
    case cmd::ID_VIEW_TERMINAL:
        TogglePane(id);
        // Showing the terminal retries a port that is closed; hiding it leaves the port open.
        // (A running download opens the port itself when it needs to.)
        if (IsPaneShown(id) && !Serial().IsOpen() && !IsDownloadRunning())
            OpenPort(kTextPortOpenError);
        return true;
    case cmd::ID_APP_EXIT:
        close();
        return true;
    case cmd::ID_TERMINAL_CLEAR:
        m_wndTerminal->Clear();
        return true;
    case cmd::ID_TERMINAL_FIND:
        m_wndTerminal->PromptFind();
        return true;
    case cmd::ID_TERMINAL_TIMESTAMPS:
        m_wndTerminal->SetTimestamps(!m_wndTerminal->Timestamps());
        return true;
    case cmd::ID_TERMINAL_HEX_VIEW:
        m_wndTerminal->SetHexView(!m_wndTerminal->HexView());
        return true;
    case cmd::ID_TERMINAL_SCROLLBACK:
        m_wndTerminal->PromptScrollback();
        return true;
    case cmd::ID_NEXT_PANE:
    case cmd::ID_PREV_PANE:
        // No split panes: nothing to switch to.
        return true;
    case cmd::ID_TOOLS_STOP_BUILD:
        m_wndOutput->StopBuild();
        return true;
    case cmd::ID_TOOLS_PORT_SETUP:
        // A simulated run keeps the simulator's line: choosing another port would store it.
        if (!m_bSimulated)
            m_pPortMenus->OnPortSetup();
        return true;
    case cmd::ID_PORT_LIST_MENU:
        if (!m_bSimulated)
            m_pPortMenus->OnPortListMenu(PortPaneOnScreen());
        return true;
    case cmd::ID_PORT_CONFIG_MENU:
        UpdateCommandUI();
        m_pPortMenus->OnPortConfigMenu(PortPaneOnScreen());
        return true;
    case cmd::ID_TOOLS_OPEN_PORT:
        if (!Serial().IsOpen() && !IsDownloadRunning() && !IsSending())
            OpenPort(kTextPortOpenError);
        return true;
    case cmd::ID_TOOLS_CLOSE_PORT:
        if (IsDownloadRunning() || IsSending())
            return true;
        // Closed by the user: no longer waited for either.
        m_pSession->StopWaiting();
        if (Serial().IsOpen())
            Serial().Close();
        UpdatePortPane();
        return true;
    default:
        if (id >= cmd::ID_PORT_FIRST && id <= cmd::ID_PORT_LAST && m_bSimulated)
            return true;
        if ((id >= cmd::ID_PORT_FIRST && id <= cmd::ID_DATABITS_LAST) || (id >= cmd::ID_BAUD_MORE_FIRST && id <= cmd::ID_BAUD_MORE_LAST))
            return m_pPortMenus->OnCommand(id);
        return false;
    }
}

QRect CMainFrame::PortPaneOnScreen() const
{
    return QRect(m_wndPortPane->mapToGlobal(QPoint(0, 0)), m_wndPortPane->size());
}

bool CMainFrame::OnUpdateCommand(CCmdUI& ui)
{
    switch (ui.m_nID) {
    case cmd::ID_VIEW_MENUBAR:
    case cmd::ID_VIEW_TOOLBAR:
    case cmd::ID_VIEW_STATUS_BAR:
    case cmd::ID_VIEW_PROGRAM:
    case cmd::ID_VIEW_BROWSER:
    case cmd::ID_VIEW_TERMINAL:
    case cmd::ID_VIEW_OUTPUT:
        ui.Enable(true);
        ui.SetCheck(IsPaneShown(ui.m_nID));
        return true;
    case cmd::ID_APP_EXIT:
    case cmd::ID_TERMINAL_CLEAR:
    case cmd::ID_TERMINAL_FIND:
    case cmd::ID_TERMINAL_SCROLLBACK:
        ui.Enable(true);
        return true;
    case cmd::ID_TERMINAL_TIMESTAMPS:
    case cmd::ID_TERMINAL_HEX_VIEW:
        ui.Enable(true);
        ui.SetCheck(ui.m_nID == cmd::ID_TERMINAL_TIMESTAMPS ? m_wndTerminal->Timestamps() : m_wndTerminal->HexView());
        return true;
    case cmd::ID_TOOLS_STOP_BUILD:
        ui.Enable(m_wndOutput && m_wndOutput->IsBuilding());
        return true;
    case cmd::ID_TOOLS_PORT_SETUP:
        ui.Enable(!m_bSimulated);
        return true;
    case cmd::ID_TOOLS_OPEN_PORT:
    case cmd::ID_TOOLS_CLOSE_PORT: {
        const bool open = m_pSession && (Serial().IsOpen() || m_pSession->IsWaitingForPort());
        ui.Enable(m_pSession && !IsDownloadRunning() && !IsSending() &&
                  open == (ui.m_nID == cmd::ID_TOOLS_CLOSE_PORT));
        return true;
    }
    case cmd::ID_NEXT_PANE:
    case cmd::ID_PREV_PANE:
        ui.Enable(false);
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Port

bool CMainFrame::OpenPort(const std::string& failureText)
{
    const bool opened = m_pSession->OpenPort(failureText, [this](CSerialPort* port) { OnPortAttached(port); });
    UpdatePortPane();
    RequestCommandUpdate();
    return opened;
}

void CMainFrame::UpdatePortPane()
{
    // A stable name is long: the pane shows the node it leads to.
    m_wndPortPane->SetPort(QString::fromStdString(PortSettings().PaneText(ShortPortName(PortSettings().m_strPort))),
                           m_pSession && Serial().IsOpen());
}

void CMainFrame::UpdateLockIndicators()
{
    const CLockKeys keys = ReadLockKeys();
    const bool on[3] = {keys.m_bCaps, keys.m_bNum, keys.m_bScroll};
    for (int i = 0; i < 3; ++i)
        m_wndIndicators[i]->setText(on[i] ? m_wndIndicators[i]->property("indicatorText").toString() : QString());
}

void CMainFrame::CheckPortLost()
{
    // The device went away (an adapter pulled out): its listener ended with an error. With
    // reconnecting on, the terminal and the status bar say so once and the port reopens when the
    // device is back; otherwise one box, and the port is closed so that showing the terminal or a
    // download opens it again. A running download reports the failure itself and is left alone.
    m_pSession->CheckPortLost();
}

// ---------------------------------------------------------------------------------------------
// Notifications

void CMainFrame::OnPosted(const CPostedEvent& event)
{
    if (HandleTerminalMessage(event))
        return;
    if (m_pSession)
        m_pSession->OnPosted(event);
}

void CMainFrame::OnSessionEvent(const CSessionEvent& event)
{
    if (const auto* lost = std::get_if<session_event::CPortLost>(&event)) {
        UpdatePortPane();
        RequestCommandUpdate();
        ShowSystemError(m_prompt, lost->m_error, kTextPortLost + PortSettings().m_strPort);
    } else if (std::holds_alternative<session_event::CPortDisconnected>(event)) {
        m_wndMessagePane->setText(QStringLiteral("%1 disconnected, waiting for it")
                                      .arg(QString::fromStdString(m_pSession->PortDevice())));
        UpdatePortPane();
        RequestCommandUpdate();
    } else if (std::holds_alternative<session_event::CPortReconnected>(event)) {
        // The device came back with its driver's defaults: the lines the user set go on.
        ApplyModemLines();
        m_wndMessagePane->setText(QStringLiteral("%1 reconnected").arg(QString::fromStdString(m_pSession->PortDevice())));
        UpdatePortPane();
        RequestCommandUpdate();
    }
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
    SaveBarState();
    // Floating panes are windows of their own: they go with the main window.
    for (auto& [id, dock] : m_docks)
        if (dock->isFloating())
            dock->hide();
    // "LastBrowse" changes only when an item is selected.
    m_wndBrowser->SaveLastBrowse();
    m_wndView->SaveFileList();
    // A send ends at its next write (the port's close wakes a write in progress).
    if (m_pSender)
        m_pSender->RequestStop();
    if (Serial().IsOpen())
        Serial().Close();
}

// ---------------------------------------------------------------------------------------------
// The terminal's input and output

void CMainFrame::CreateTerminalIo()
{
    m_terminalIo.Load(m_store);
    m_pLog = std::make_unique<CTerminalLog>(*m_pSink);
    m_pTee = std::make_unique<CTerminalTee>(*m_wndTerminal, *m_pLog);
    // Echoed keys are shown text too: they go through the tee.
    m_pInput = std::make_unique<CTerminalInput>(*m_pTee, m_counters);
    m_pInput->SetLocalEcho(m_terminalIo.m_bLocalEcho);
    m_pInput->SetEnterSends(m_terminalIo.m_eEnterSends);
    // A download or a file being sent owns the line: keys are refused, and the user hears why once.
    m_pInput->SetBusyNotice([this] {
        statusBar()->showMessage(IsSending() ? QStringLiteral("Typing is paused while %1 is sent").arg(FileName(m_pSender->Name()))
                                             : QStringLiteral("Typing is paused while programming"),
                                 4000);
    });
    m_wndTerminal->SetInput(m_pInput.get());
    QList<QAction*> context;
    for (int id : {cmd::ID_TERMINAL_PASTE, cmd::ID_TERMINAL_LOG, cmd::ID_TERMINAL_SEND_FILE, cmd::ID_TERMINAL_STOP_SEND,
                   cmd::ID_TERMINAL_LOCAL_ECHO})
        context << m_actions.at(id);
    m_wndTerminal->SetContextActions(context);
    connect(m_wndTerminal, &CTerminalCtrl::Cleared, this, &CMainFrame::OnTerminalCleared);
    // The counters and a running send's figures, redrawn a few times a second.
    m_pIoTimer = new QTimer(this);
    connect(m_pIoTimer, &QTimer::timeout, this, [this] {
        UpdateCountersPane();
        if (IsSending())
            m_wndMessagePane->setText(QStringLiteral("Sending %1: %2 of %3 bytes")
                                          .arg(FileName(m_pSender->Name()))
                                          .arg(m_pSender->Sent())
                                          .arg(m_pSender->Total()));
    });
    m_pIoTimer->start(kFiguresMs);
    UpdateCountersPane();
    UpdateLogPane();
}

void CMainFrame::SaveTerminalIo()
{
    m_terminalIo.Save(m_store);
    m_store.Sync();
}

void CMainFrame::OnTerminalCleared()
{
    m_counters.Reset();
    UpdateCountersPane();
}

void CMainFrame::UpdateCountersPane()
{
    const std::uint64_t received = m_counters.Received();
    const std::uint64_t sent = m_counters.Sent();
    if (received == m_nShownReceived && sent == m_nShownSent)
        return;
    m_nShownReceived = received;
    m_nShownSent = sent;
    m_wndCountersPane->setText(QStringLiteral("RX %1  TX %2").arg(received).arg(sent));
}

void CMainFrame::UpdateLogPane()
{
    const bool on = m_pLog && m_pLog->IsOn();
    m_wndLogPane->setVisible(on);
    if (!on)
        return;
    const QString path = QString::fromStdString(m_pLog->Path());
    m_wndLogPane->setText(QStringLiteral("Logging to %1").arg(path));
    m_wndLogPane->setToolTip(m_pLog->Mode() == CTerminalLog::EMode::Bytes
                                 ? QStringLiteral("The bytes exactly as received go to %1").arg(path)
                                 : QStringLiteral("The shown lines with timestamps go to %1").arg(path));
}

bool CMainFrame::StartLog(const std::string& path)
{
    const auto mode = static_cast<CTerminalLog::EMode>(m_terminalIo.m_nLogMode);
    if (const std::error_code code = m_pLog->Start(path, mode)) {
        ShowSystemError(m_prompt, code, kTextLogOpenError, path);
        UpdateLogPane();
        return false;
    }
    m_terminalIo.m_strLogFile = path;
    SaveTerminalIo();
    UpdateLogPane();
    RequestCommandUpdate();
    return true;
}

void CMainFrame::StopLog()
{
    m_pLog->Stop();
    UpdateLogPane();
    RequestCommandUpdate();
}

bool CMainFrame::IsSending() const
{
    return m_pSender && m_pSender->IsRunning();
}

bool CMainFrame::SendFile(const std::string& path)
{
    if (IsDownloadRunning() || IsSending() || !Serial().IsOpen()) {
        statusBar()->showMessage(IsDownloadRunning() ? QStringLiteral("Send File waits for the download to end.")
                                                     : IsSending() ? QStringLiteral("A send to the board is running.")
                                                                   : QStringLiteral("The port is not open."),
                                 5000);
        return false;
    }
    if (const std::error_code code = m_pSender->StartFile(Serial(), path, m_pSession->LineRate())) {
        ShowSystemError(m_prompt, code, kTextSendOpenError, path);
        return false;
    }
    m_terminalIo.m_strSendFile = path;
    SaveTerminalIo();
    RequestCommandUpdate();
    return true;
}

bool CMainFrame::PasteToBoard()
{
    if (IsDownloadRunning() || IsSending() || !Serial().IsOpen())
        return false;
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("The clipboard holds no text."), 5000);
        return false;
    }
    // One byte per character as typed keys are (Latin-1); line ends as Enter sends them.
    const QByteArray latin1 = text.toLatin1();
    std::string bytes = CTerminalInput::BoardText(std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size())),
                                                  m_terminalIo.m_eEnterSends);
    if (bytes.size() > kPasteAskBytes) {
        const std::string question = "The clipboard holds " + std::to_string(bytes.size()) +
                                     " bytes of text.\r\n\r\nSend all of them to the board?";
        if (m_prompt.MessageBox(question, kAppTitle, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
    }
    const std::string echoed = m_pInput->LocalEcho() ? bytes : std::string();
    if (const std::error_code code = m_pSender->StartBytes(Serial(), std::move(bytes), "clipboard text",
                                                           m_pSession->LineRate())) {
        ShowSystemError(m_prompt, code);
        return false;
    }
    m_pInput->Echo(echoed);
    RequestCommandUpdate();
    return true;
}

void CMainFrame::OnSendEnd()
{
    UpdateCountersPane();
    RequestCommandUpdate();
    if (m_bClosed)
        return;
    // Port Setup's changes made during the send apply now.
    if (!IsDownloadRunning()) {
        m_pPortMenus->ApplyPendingReopen();
        UpdatePortPane();
    }
    const QString name = FileName(m_pSender->Name());
    switch (m_pSender->Result()) {
    case CRawSender::EResult::Completed:
        m_wndMessagePane->setText(QStringLiteral("%1 sent: %2 bytes.").arg(name).arg(m_pSender->Sent()));
        break;
    case CRawSender::EResult::Stopped:
        m_wndMessagePane->setText(QStringLiteral("Sending %1 was stopped after %2 of %3 bytes.")
                                      .arg(name)
                                      .arg(m_pSender->Sent())
                                      .arg(m_pSender->Total()));
        break;
    case CRawSender::EResult::ReadFailed:
    case CRawSender::EResult::WriteFailed:
        m_wndMessagePane->setText(QString::fromLatin1(kTextReady));
        m_prompt.MessageBox(m_pSender->FailureText(SerialDevicePath(PortName())), {}, MB_OK | MB_ICONERROR);
        break;
    }
}

bool CMainFrame::HandleTerminalMessage(const CPostedEvent& message)
{
    if (m_pSender && m_pSender->OnEnd(message)) {
        OnSendEnd();
        return true;
    }
    const auto* notice = std::get_if<CWorkerNotice>(&message);
    if (!m_pLog || !notice || notice->m_pFrom != m_pLog.get())
        return false;
    const CTerminalLog::EEvent event = m_pLog->HandleMessage(message);
    UpdateLogPane();
    RequestCommandUpdate();
    if (m_bClosed)
        return true;
    if (event == CTerminalLog::EEvent::Failed)
        m_prompt.MessageBox(m_pLog->FailureText(), {}, MB_OK | MB_ICONERROR);
    else if (event == CTerminalLog::EEvent::TooSlow)
        m_prompt.MessageBox(m_pLog->FailureText(), kAppTitle, MB_OK | MB_ICONWARNING);
    return true;
}

void CMainFrame::OnPortAttached(CSerialPort* port)
{
    m_wndTerminal->SetSerial(port);
    ApplyModemLines();
}

void CMainFrame::ApplyModemLines()
{
    // A line that cannot be driven (a pseudo-terminal) is left as it is without a word: the
    // user hears about it when toggling it.
    if (!m_pSession || !Serial().IsOpen())
        return;
    Serial().SetDtr(m_terminalIo.m_bDtr);
    Serial().SetRts(m_terminalIo.m_bRts);
}

void CMainFrame::SetModemLine(int id, bool on)
{
    const bool dtr = id == cmd::ID_TERMINAL_DTR;
    (dtr ? m_terminalIo.m_bDtr : m_terminalIo.m_bRts) = on;
    SaveTerminalIo();
    if (!Serial().IsOpen())
        return;
    const std::error_code code = dtr ? Serial().SetDtr(on) : Serial().SetRts(on);
    if (code)
        statusBar()->showMessage(QStringLiteral("%1 cannot be set on %2: %3")
                                     .arg(dtr ? QStringLiteral("DTR") : QStringLiteral("RTS"),
                                          QString::fromStdString(SerialDevicePath(PortName())),
                                          QString::fromStdString(code.message())),
                                 5000);
}

bool CMainFrame::ModemLineShown(int id)
{
    // The line as the driver reports it; where it reports none, the state asked for.
    const bool dtr = id == cmd::ID_TERMINAL_DTR;
    std::uint32_t lines = 0;
    if (Serial().IsOpen() && !Serial().GetModemLines(lines))
        return (lines & (dtr ? MODEM_DTR : MODEM_RTS)) != 0;
    return dtr ? m_terminalIo.m_bDtr : m_terminalIo.m_bRts;
}

bool CMainFrame::OnTerminalCommand(int id)
{
    switch (id) {
    case cmd::ID_TERMINAL_LOG: {
        if (m_pLog->IsOn()) {
            StopLog();
            return true;
        }
        const QString last = m_terminalIo.m_strLogFile.empty()
                                 ? QDir::current().filePath(QStringLiteral("terminal.log"))
                                 : QString::fromStdString(m_terminalIo.m_strLogFile);
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Log to File"), last,
                                                          QStringLiteral("Log files (*.log *.txt);;All files (*)"));
        if (!path.isEmpty())
            StartLog(QFile::encodeName(path).toStdString());
        return true;
    }
    case cmd::ID_TERMINAL_LOG_BYTES:
    case cmd::ID_TERMINAL_LOG_LINES:
        m_terminalIo.m_nLogMode = id == cmd::ID_TERMINAL_LOG_BYTES ? 0 : 1;
        SaveTerminalIo();
        return true;
    case cmd::ID_TERMINAL_LOCAL_ECHO:
        m_terminalIo.m_bLocalEcho = !m_terminalIo.m_bLocalEcho;
        m_pInput->SetLocalEcho(m_terminalIo.m_bLocalEcho);
        SaveTerminalIo();
        return true;
    case cmd::ID_TERMINAL_ENTER_CR:
    case cmd::ID_TERMINAL_ENTER_LF:
    case cmd::ID_TERMINAL_ENTER_CRLF:
        m_terminalIo.m_eEnterSends = id == cmd::ID_TERMINAL_ENTER_CR   ? EEnterSends::CR
                                     : id == cmd::ID_TERMINAL_ENTER_LF ? EEnterSends::LF
                                                                       : EEnterSends::CRLF;
        m_pInput->SetEnterSends(m_terminalIo.m_eEnterSends);
        SaveTerminalIo();
        return true;
    case cmd::ID_TERMINAL_SEND_FILE: {
        if (IsDownloadRunning() || IsSending())
            return true;
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Send File"),
                                                          m_terminalIo.m_strSendFile.empty()
                                                              ? QDir::currentPath()
                                                              : QString::fromStdString(m_terminalIo.m_strSendFile),
                                                          QStringLiteral("All files (*)"));
        if (!path.isEmpty())
            SendFile(QFile::encodeName(path).toStdString());
        return true;
    }
    case cmd::ID_TERMINAL_STOP_SEND:
        if (IsSending())
            m_pSender->RequestStop();
        return true;
    case cmd::ID_TERMINAL_PASTE:
        PasteToBoard();
        return true;
    case cmd::ID_TERMINAL_DTR:
    case cmd::ID_TERMINAL_RTS:
        SetModemLine(id, !ModemLineShown(id));
        return true;
    default:
        return false;
    }
}

bool CMainFrame::OnUpdateTerminalCommand(CCmdUI& ui)
{
    const bool portReady = m_pSession && Serial().IsOpen();
    const bool canSend = portReady && !IsDownloadRunning() && !IsSending();
    switch (ui.m_nID) {
    case cmd::ID_TERMINAL_LOG:
        ui.Enable(m_pLog != nullptr);
        ui.SetCheck(m_pLog && m_pLog->IsOn());
        return true;
    case cmd::ID_TERMINAL_LOG_BYTES:
    case cmd::ID_TERMINAL_LOG_LINES:
        // The mode of a running log stays as it started.
        ui.Enable(!m_pLog || !m_pLog->IsOn());
        ui.SetCheck(m_terminalIo.m_nLogMode == (ui.m_nID == cmd::ID_TERMINAL_LOG_BYTES ? 0 : 1));
        return true;
    case cmd::ID_TERMINAL_LOCAL_ECHO:
        ui.Enable(true);
        ui.SetCheck(m_terminalIo.m_bLocalEcho);
        return true;
    case cmd::ID_TERMINAL_ENTER_CR:
    case cmd::ID_TERMINAL_ENTER_LF:
    case cmd::ID_TERMINAL_ENTER_CRLF: {
        const EEnterSends what = ui.m_nID == cmd::ID_TERMINAL_ENTER_CR   ? EEnterSends::CR
                                 : ui.m_nID == cmd::ID_TERMINAL_ENTER_LF ? EEnterSends::LF
                                                                         : EEnterSends::CRLF;
        ui.Enable(true);
        ui.SetCheck(m_terminalIo.m_eEnterSends == what);
        return true;
    }
    case cmd::ID_TERMINAL_SEND_FILE:
    case cmd::ID_TERMINAL_PASTE:
        ui.Enable(canSend);
        return true;
    case cmd::ID_TERMINAL_STOP_SEND:
        ui.Enable(IsSending());
        return true;
    case cmd::ID_TERMINAL_DTR:
    case cmd::ID_TERMINAL_RTS:
        ui.Enable(portReady);
        ui.SetCheck(m_pSession && ModemLineShown(ui.m_nID));
        return true;
    default:
        return false;
    }
}
