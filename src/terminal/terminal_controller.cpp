#include "terminal/terminal_controller.h"

#include "base/commands.h"
#include "base/qt_settings_store.h"
#include "base/system_error.h"
#include "base/user_prompt.h"
#include "serial/serial_device_name.h"
#include "serial/serial_error.h"
#include "serial/serial_port.h"
#include "terminal/command_line.h"
#include "terminal/escaped_text.h"
#include "terminal/highlight_dlg.h"
#include "terminal/quick_send_dlg.h"
#include "terminal/raw_sender.h"
#include "terminal/send_pacing_dlg.h"
#include "terminal/terminal_ctrl.h"
#include "terminal/terminal_input.h"
#include "terminal/terminal_log.h"
#include "terminal/terminal_tee.h"
#include "ui/elided_label.h"
#include "ui/status_panes.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {
// What a command line's send is called; its end is not told in the status bar.
constexpr const char* kCommandLineName = "command line";

QString SentName(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName();
}

EEnterSends EnterChoice(int id)
{
    return id == cmd::ID_TERMINAL_ENTER_CR ? EEnterSends::CR
           : id == cmd::ID_TERMINAL_ENTER_LF ? EEnterSends::LF
                                             : EEnterSends::CRLF;
}
} // namespace

CTerminalController::CTerminalController(CTerminalCtrl& terminal, QStatusBar& bar, QLabel& messagePane,
                                         CStatusPanes& panes, CQtSettingsStore& store, IMessageSink& sink,
                                         IUserPrompt& prompt, CHost host)
    : m_terminal(terminal), m_bar(bar), m_messagePane(messagePane), m_store(store), m_prompt(prompt),
      m_host(std::move(host))
{
    // The log's pane shows while it runs; the counters' always.
    m_wndLogPane = new CElidedLabel(QString(), &panes);
    m_wndLogPane->setObjectName(QStringLiteral("LogPane"));
    m_wndLogPane->hide();
    panes.AddPane(m_wndLogPane);
    m_wndCountersPane = new CElidedLabel(QString(), &panes);
    m_wndCountersPane->setObjectName(QStringLiteral("CountersPane"));
    m_wndCountersPane->setToolTip(QStringLiteral("Bytes received from and sent to the board since the terminal was cleared"));
    panes.AddPane(m_wndCountersPane);

    m_settings.Load(m_store);
    m_history.Load(m_store);
    m_quickSends.Load(m_store);
    m_highlight.Load(m_store);
    // A rule the window cannot use is said once the window shows.
    if (const QStringList bad = m_terminal.SetHighlightRules(m_highlight.Rules()); !bad.isEmpty())
        QTimer::singleShot(0, this, [this, text = bad.join(QLatin1Char(' '))] { ShowStatus(text, 10000); });
    m_pLog = std::make_unique<CTerminalLog>(sink);
    m_pTee = std::make_unique<CTerminalTee>(m_terminal, *m_pLog);
    // Echoed keys are shown text too: they go through the tee.
    m_pInput = std::make_unique<CTerminalInput>(*m_pTee, m_counters);
    m_pInput->SetLocalEcho(m_settings.m_bLocalEcho);
    m_pInput->SetEnterSends(m_settings.m_eEnterSends);
    // A download or a file being sent owns the line: keys are refused, and the user hears why once.
    m_pInput->SetBusyNotice([this] {
        ShowStatus(IsSending() ? QStringLiteral("Typing is paused while %1 is sent").arg(SentName(m_pSender->Name()))
                               : QStringLiteral("Typing is paused while programming"),
                   4000);
    });
    m_pSender = std::make_unique<CRawSender>(sink, m_counters);
    m_terminal.SetInput(m_pInput.get());
    connect(&m_terminal, &CTerminalCtrl::Cleared, this, &CTerminalController::OnCleared);
    connect(&m_terminal, &CTerminalCtrl::viewSettingsChanged, this, [this] { RequestCommandUpdate(); });

    m_pRefreshTimer = new QTimer(this);
    connect(m_pRefreshTimer, &QTimer::timeout, this, [this] {
        UpdateCountersPane();
        UpdateSendProgress();
    });
    m_pRefreshTimer->start(kRefreshMs);
    UpdateCountersPane();
    UpdateLogPane();
}

void CTerminalController::UpdateSendProgress()
{
    if (!IsSending())
        return;
    const std::uint64_t lines = m_pSender->Lines();
    m_messagePane.setText(QStringLiteral("Sending %1: %2 %3, %4 of %5 bytes")
                              .arg(SentName(m_pSender->Name()))
                              .arg(lines)
                              .arg(lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                              .arg(m_pSender->Sent())
                              .arg(m_pSender->Total()));
}

CTerminalController::~CTerminalController()
{
    // The terminal window stays a little longer: its keys no longer reach the parts below.
    m_terminal.SetInput(nullptr);
}

ITerminalSink& CTerminalController::BoardText()
{
    return *m_pTee;
}

void CTerminalController::SetPortName(CSerialPort* port)
{
    m_pPort = port;
    m_terminal.SetSerial(port);
}

void CTerminalController::ReleasePort()
{
    m_terminal.SetSerial(nullptr);
    // The sender writes to the port: it is stopped and joined before the port goes.
    m_pSender.reset();
    m_pPort = nullptr;
}

void CTerminalController::OnPortAttached(CSerialPort* port)
{
    m_terminal.SetSerial(port);
    ApplyModemLines();
}

bool CTerminalController::IsPortOpen() const
{
    return m_pPort && m_pPort->IsOpen();
}

void CTerminalController::ApplyModemLines()
{
    // A line that cannot be driven (a pseudo-terminal) is left as it is without a word: the
    // user hears about it when toggling it.
    if (!IsPortOpen())
        return;
    m_pPort->SetDtr(m_settings.m_bDtr);
    m_pPort->SetRts(m_settings.m_bRts);
}

void CTerminalController::OnReceived(const std::uint8_t* data, std::size_t size)
{
    m_counters.AddReceived(size);
    m_pLog->OnReceived(data, size);
    // A paced send may be waiting for the board's prompt.
    if (m_pSender)
        m_pSender->OnReceived(data, size);
}

void CTerminalController::OnClosing()
{
    m_bClosed = true;
    // A send ends at its next write (the port's close wakes a write in progress).
    if (m_pSender)
        m_pSender->RequestStop();
}

void CTerminalController::ShowStatus(const QString& text, int ms)
{
    m_bar.showMessage(text, ms);
}

void CTerminalController::SaveSettings()
{
    m_settings.Save(m_store);
    m_store.Sync();
}

void CTerminalController::OnCleared()
{
    // The terminal was cleared: the byte counters start again from zero.
    m_counters.Reset();
    UpdateCountersPane();
}

void CTerminalController::UpdateCountersPane()
{
    const std::uint64_t received = m_counters.Received();
    const std::uint64_t sent = m_counters.Sent();
    if (received == m_nShownReceived && sent == m_nShownSent)
        return;
    m_nShownReceived = received;
    m_nShownSent = sent;
    m_wndCountersPane->setText(QStringLiteral("RX %1  TX %2").arg(received).arg(sent));
}

void CTerminalController::UpdateLogPane()
{
    const bool on = m_pLog->IsOn();
    m_wndLogPane->setVisible(on);
    if (!on)
        return;
    const QString path = QString::fromStdString(m_pLog->Path());
    m_wndLogPane->setText(QStringLiteral("Logging to %1").arg(path));
    m_wndLogPane->setToolTip(m_pLog->Mode() == CTerminalLog::EMode::Bytes
                                 ? QStringLiteral("The bytes exactly as received go to %1").arg(path)
                                 : QStringLiteral("The shown lines with timestamps go to %1").arg(path));
}

bool CTerminalController::StartLog(const std::string& path)
{
    const auto mode = static_cast<CTerminalLog::EMode>(m_settings.m_nLogMode);
    if (const std::error_code code = m_pLog->Start(path, mode)) {
        ShowSystemError(m_prompt, code, kTextLogOpenError, path);
        UpdateLogPane();
        return false;
    }
    m_settings.m_strLogFile = path;
    SaveSettings();
    UpdateLogPane();
    RequestCommandUpdate();
    return true;
}

void CTerminalController::StopLog()
{
    m_pLog->Stop();
    UpdateLogPane();
    RequestCommandUpdate();
}

bool CTerminalController::IsSending() const
{
    return m_pSender && m_pSender->IsRunning();
}

bool CTerminalController::SendFile(const std::string& path)
{
    if (IsDownloadRunning() || IsSending() || !IsPortOpen()) {
        ShowStatus(IsDownloadRunning() ? QStringLiteral("Send File waits for the download to end.")
                   : IsSending()       ? QStringLiteral("A send to the board is running.")
                                       : QStringLiteral("The port is not open."),
                   5000);
        return false;
    }
    if (const std::error_code code = m_pSender->StartFile(*m_pPort, path, m_host.m_lineRate(), m_settings.m_pacing)) {
        ShowSystemError(m_prompt, code, kTextSendOpenError, path);
        return false;
    }
    m_settings.m_strSendFile = path;
    SaveSettings();
    RequestCommandUpdate();
    return true;
}

bool CTerminalController::PasteToBoard()
{
    if (IsDownloadRunning() || IsSending() || !IsPortOpen())
        return false;
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) {
        ShowStatus(QStringLiteral("The clipboard holds no text."), 5000);
        return false;
    }
    // One byte per character as typed keys are (Latin-1); line ends as Enter sends them.
    const QByteArray latin1 = text.toLatin1();
    std::string bytes = CTerminalInput::BoardText(std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size())),
                                                  m_settings.m_eEnterSends);
    if (bytes.size() > kPasteAskBytes) {
        const std::string question = "The clipboard holds " + std::to_string(bytes.size()) +
                                     " bytes of text.\r\n\r\nSend all of them to the board?";
        if (m_prompt.ShowBox(question, kAppTitle, kBoxYesNo | kBoxIconQuestion) != kAnswerYes)
            return false;
    }
    const std::string echoed = m_pInput->LocalEcho() ? bytes : std::string();
    if (const std::error_code code =
            m_pSender->StartBytes(*m_pPort, std::move(bytes), "clipboard text", m_host.m_lineRate(), m_settings.m_pacing)) {
        ShowSystemError(m_prompt, code);
        return false;
    }
    m_pInput->Echo(echoed);
    RequestCommandUpdate();
    return true;
}

void CTerminalController::AttachCommandLine(CCommandLine& line)
{
    m_pCommandLine = &line;
    line.SetEscapes(m_settings.m_bEscapes);
    line.setVisible(m_settings.m_bCommandLine);
    connect(&line, &CCommandLine::lineEntered, this, [this](const QString& text) {
        if (SendCommandLine(text) && m_pCommandLine)
            m_pCommandLine->Sent();
    });
    connect(&line, &CCommandLine::escapesToggled, this, [this](bool on) {
        m_settings.m_bEscapes = on;
        SaveSettings();
    });
    connect(&line, &CCommandLine::statusMessage, this, [this](const QString& text) { ShowStatus(text, 4000); });
    connect(&line, &QObject::destroyed, this, [this] { m_pCommandLine = nullptr; });
}

void CTerminalController::SetCommandLineShown(bool on)
{
    m_settings.m_bCommandLine = on;
    SaveSettings();
    if (m_pCommandLine)
        m_pCommandLine->setVisible(on);
}

void CTerminalController::SetPacing(const CSendPacing& pacing)
{
    m_settings.m_pacing = pacing;
    SaveSettings();
}

bool CTerminalController::RefuseSend(const QString& what)
{
    if (!IsPortOpen()) {
        ShowStatus(QStringLiteral("The port is not open."), 5000);
        return true;
    }
    if (IsDownloadRunning() || IsSending()) {
        ShowStatus(IsDownloadRunning() ? QStringLiteral("%1 waits for the download to end.").arg(what)
                                       : QStringLiteral("A send to the board is running."),
                   5000);
        return true;
    }
    return false;
}

bool CTerminalController::SendNow(std::string bytes, const std::string& name)
{
    std::error_code code;
    if (m_settings.m_pacing.Paced()) {
        const std::string echoed = m_pInput->LocalEcho() ? bytes : std::string();
        code = m_pSender->StartBytes(*m_pPort, std::move(bytes), name, m_host.m_lineRate(), m_settings.m_pacing);
        if (!code)
            m_pInput->Echo(echoed);
        RequestCommandUpdate();
    } else {
        // Unpaced it goes as typed keys do: at once, or queued behind keys that wait.
        code = m_pInput->SendLine(*m_pPort, bytes);
    }
    if (code) {
        // A line another writer holds was told by the busy notice already.
        if (code != make_error_code(ESerialError::LineBusy))
            ShowStatus(QStringLiteral("Nothing was sent: %1").arg(QString::fromStdString(code.message())), 5000);
        return false;
    }
    return true;
}

void CTerminalController::AttachQuickSendBar(QToolBar& bar)
{
    m_pQuickBar = &bar;
    connect(&bar, &QObject::destroyed, this, [this] { m_pQuickBar = nullptr; });
    bar.setVisible(m_quickSends.Any());
    RefreshQuickBar();
}

void CTerminalController::RefreshQuickBar()
{
    if (!m_pQuickBar)
        return;
    for (QAction* action : m_pQuickBar->actions()) {
        const int index = action->data().toInt() - cmd::ID_QUICK_SEND_FIRST;
        if (index < 0 || index >= static_cast<int>(CQuickSends::kCount))
            continue;
        const CQuickSend& send = m_quickSends.At(static_cast<std::size_t>(index));
        action->setVisible(send.IsSet());
        action->setText(QString::fromLatin1(send.m_strName.data(), static_cast<qsizetype>(send.m_strName.size())));
        action->setToolTip(QStringLiteral("%1 (Shift+F%2): %3")
                               .arg(action->text())
                               .arg(index + 1)
                               .arg(send.m_eKind == CQuickSend::EKind::File ? QStringLiteral("sends the file %1")
                                                                            : QStringLiteral("sends %1"))
                               .arg(QString::fromLatin1(send.m_strValue.data(),
                                                        static_cast<qsizetype>(send.m_strValue.size()))));
    }
}

void CTerminalController::SetHighlightRules(const std::vector<CHighlightRule>& rules)
{
    m_highlight.SetRules(rules);
    m_highlight.Save(m_store);
    m_store.Sync();
    if (const QStringList bad = m_terminal.SetHighlightRules(m_highlight.Rules()); !bad.isEmpty())
        ShowStatus(bad.join(QLatin1Char(' ')), 8000);
}

void CTerminalController::SetQuickSends(const CQuickSends& sends)
{
    m_quickSends = sends;
    m_quickSends.Save(m_store);
    m_store.Sync();
    RefreshQuickBar();
    if (m_pQuickBar && m_quickSends.Any())
        m_pQuickBar->show();
    RequestCommandUpdate();
}

bool CTerminalController::RunQuickSend(std::size_t index)
{
    if (index >= CQuickSends::kCount || !m_quickSends.At(index).IsSet())
        return false;
    const CQuickSend send = m_quickSends.At(index);
    if (send.m_eKind == CQuickSend::EKind::File)
        return SendFile(send.m_strValue);
    if (RefuseSend(QStringLiteral("The quick send")))
        return false;
    CEscapedText::CResult parsed = CEscapedText::Parse(send.m_strValue);
    if (!parsed.m_strError.empty()) {
        ShowStatus(QStringLiteral("Quick send %1: %2")
                       .arg(QString::fromLatin1(send.m_strName.data(), static_cast<qsizetype>(send.m_strName.size())),
                            QString::fromStdString(parsed.m_strError)),
                   8000);
        return false;
    }
    return SendNow(std::move(parsed.m_strBytes), send.m_strName);
}

bool CTerminalController::SendCommandLine(const QString& text)
{
    if (RefuseSend(QStringLiteral("The command line")))
        return false;
    // One byte per character, as typed keys are.
    const std::string typed = text.toLatin1().toStdString();
    std::string bytes = typed;
    if (m_settings.m_bEscapes) {
        CEscapedText::CResult parsed = CEscapedText::Parse(typed);
        if (!parsed.m_strError.empty()) {
            ShowStatus(QString::fromStdString(parsed.m_strError), 8000);
            return false;
        }
        bytes = std::move(parsed.m_strBytes);
    }
    bytes += CTerminalInput::EnterBytes(m_settings.m_eEnterSends);
    if (!SendNow(std::move(bytes), kCommandLineName))
        return false;
    m_history.Add(typed);
    m_history.Save(m_store);
    m_store.Sync();
    return true;
}

void CTerminalController::OnSendEnd()
{
    UpdateCountersPane();
    RequestCommandUpdate();
    if (m_bClosed)
        return;
    if (!IsDownloadRunning())
        m_host.m_lineReleased();
    const QString name = SentName(m_pSender->Name());
    const bool commandLine = m_pSender->Name() == kCommandLineName;
    switch (m_pSender->Result()) {
    case CRawSender::EResult::Completed:
        if (m_pSender->MissedWaits() > 0)
            m_messagePane.setText(QStringLiteral("%1 sent: %2 bytes; \"%3\" did not come after %4 of %5 lines.")
                                      .arg(name)
                                      .arg(m_pSender->Sent())
                                      .arg(QString::fromStdString(m_pSender->Pacing().m_strWaitFor))
                                      .arg(m_pSender->MissedWaits())
                                      .arg(m_pSender->Lines()));
        else if (!commandLine)
            m_messagePane.setText(QStringLiteral("%1 sent: %2 bytes.").arg(name).arg(m_pSender->Sent()));
        break;
    case CRawSender::EResult::TimedOut:
        m_messagePane.setText(QStringLiteral("Ready"));
        m_prompt.ShowBox(m_pSender->FailureText(SerialDevicePath(m_host.m_portName())), kAppTitle,
                         kBoxOk | kBoxIconWarning);
        break;
    case CRawSender::EResult::Stopped:
        m_messagePane.setText(QStringLiteral("Sending %1 was stopped after %2 of %3 bytes.")
                                  .arg(name)
                                  .arg(m_pSender->Sent())
                                  .arg(m_pSender->Total()));
        break;
    case CRawSender::EResult::ReadFailed:
    case CRawSender::EResult::WriteFailed:
        // The status bar's idle text.
        m_messagePane.setText(QStringLiteral("Ready"));
        m_prompt.ShowBox(m_pSender->FailureText(SerialDevicePath(m_host.m_portName())), {}, kBoxOk | kBoxIconError);
        break;
    }
}

bool CTerminalController::HandleMessage(const CPostedEvent& message)
{
    if (m_pSender && m_pSender->OnEnd(message)) {
        OnSendEnd();
        return true;
    }
    const auto* notice = std::get_if<CWorkerNotice>(&message);
    if (!notice || notice->m_pFrom != m_pLog.get())
        return false;
    const CTerminalLog::EEvent event = m_pLog->HandleMessage(message);
    UpdateLogPane();
    RequestCommandUpdate();
    if (m_bClosed)
        return true;
    if (event == CTerminalLog::EEvent::Failed)
        m_prompt.ShowBox(m_pLog->FailureText(), {}, kBoxOk | kBoxIconError);
    else if (event == CTerminalLog::EEvent::TooSlow)
        m_prompt.ShowBox(m_pLog->FailureText(), kAppTitle, kBoxOk | kBoxIconWarning);
    return true;
}

void CTerminalController::SetModemLine(int id, bool on)
{
    const bool dtr = id == cmd::ID_TERMINAL_DTR;
    (dtr ? m_settings.m_bDtr : m_settings.m_bRts) = on;
    SaveSettings();
    if (!IsPortOpen())
        return;
    const std::error_code code = dtr ? m_pPort->SetDtr(on) : m_pPort->SetRts(on);
    if (code)
        ShowStatus(QStringLiteral("%1 cannot be set on %2: %3")
                       .arg(dtr ? QStringLiteral("DTR") : QStringLiteral("RTS"),
                            QString::fromStdString(SerialDevicePath(m_host.m_portName())),
                            QString::fromStdString(code.message())),
                   5000);
}

bool CTerminalController::ModemLineShown(int id) const
{
    // The line as the driver reports it; where it reports none, the state asked for.
    const bool dtr = id == cmd::ID_TERMINAL_DTR;
    std::uint32_t lines = 0;
    if (IsPortOpen() && !m_pPort->GetModemLines(lines))
        return (lines & (dtr ? MODEM_DTR : MODEM_RTS)) != 0;
    return dtr ? m_settings.m_bDtr : m_settings.m_bRts;
}

bool CTerminalController::ShowsState(int id)
{
    switch (id) {
    case cmd::ID_TERMINAL_TIMESTAMPS:
    case cmd::ID_TERMINAL_HEX_VIEW:
    case cmd::ID_TERMINAL_LOG:
    case cmd::ID_TERMINAL_LOG_BYTES:
    case cmd::ID_TERMINAL_LOG_LINES:
    case cmd::ID_TERMINAL_LOCAL_ECHO:
    case cmd::ID_TERMINAL_ENTER_CR:
    case cmd::ID_TERMINAL_ENTER_LF:
    case cmd::ID_TERMINAL_ENTER_CRLF:
    case cmd::ID_TERMINAL_DTR:
    case cmd::ID_TERMINAL_RTS:
    case cmd::ID_VIEW_COMMAND_LINE:
    case cmd::ID_VIEW_QUICK_SEND_BAR: return true;
    default: return false;
    }
}

bool CTerminalController::OnCommand(int id)
{
    switch (id) {
    case cmd::ID_TERMINAL_CLEAR:
        m_terminal.Clear();
        return true;
    case cmd::ID_TERMINAL_FIND:
        m_terminal.PromptFind();
        return true;
    case cmd::ID_TERMINAL_TIMESTAMPS:
        m_terminal.SetTimestamps(!m_terminal.Timestamps());
        return true;
    case cmd::ID_TERMINAL_HEX_VIEW:
        m_terminal.SetHexView(!m_terminal.HexView());
        return true;
    case cmd::ID_TERMINAL_SCROLLBACK:
        m_terminal.PromptScrollback();
        return true;
    case cmd::ID_TERMINAL_LOG: {
        if (m_pLog->IsOn()) {
            StopLog();
            return true;
        }
        const QString last = m_settings.m_strLogFile.empty() ? QDir::current().filePath(QStringLiteral("terminal.log"))
                                                              : QString::fromStdString(m_settings.m_strLogFile);
        const QString path = QFileDialog::getSaveFileName(m_bar.window(), QStringLiteral("Log to File"), last,
                                                          QStringLiteral("Log files (*.log *.txt);;All files (*)"));
        if (!path.isEmpty())
            StartLog(QFile::encodeName(path).toStdString());
        return true;
    }
    case cmd::ID_TERMINAL_LOG_BYTES:
    case cmd::ID_TERMINAL_LOG_LINES:
        m_settings.m_nLogMode = id == cmd::ID_TERMINAL_LOG_BYTES ? 0 : 1;
        SaveSettings();
        return true;
    case cmd::ID_TERMINAL_LOCAL_ECHO:
        m_settings.m_bLocalEcho = !m_settings.m_bLocalEcho;
        m_pInput->SetLocalEcho(m_settings.m_bLocalEcho);
        SaveSettings();
        return true;
    case cmd::ID_TERMINAL_ENTER_CR:
    case cmd::ID_TERMINAL_ENTER_LF:
    case cmd::ID_TERMINAL_ENTER_CRLF:
        m_settings.m_eEnterSends = EnterChoice(id);
        m_pInput->SetEnterSends(m_settings.m_eEnterSends);
        SaveSettings();
        return true;
    case cmd::ID_TERMINAL_SEND_FILE: {
        if (IsDownloadRunning() || IsSending())
            return true;
        const QString path = QFileDialog::getOpenFileName(m_bar.window(), QStringLiteral("Send File"),
                                                          m_settings.m_strSendFile.empty()
                                                              ? QDir::currentPath()
                                                              : QString::fromStdString(m_settings.m_strSendFile),
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
    case cmd::ID_TERMINAL_PACING: {
        CSendPacing pacing = m_settings.m_pacing;
        if (CSendPacingDlg::Edit(m_bar.window(), pacing))
            SetPacing(pacing);
        return true;
    }
    case cmd::ID_VIEW_COMMAND_LINE:
        SetCommandLineShown(!m_settings.m_bCommandLine);
        return true;
    case cmd::ID_TERMINAL_HIGHLIGHT: {
        std::vector<CHighlightRule> rules = m_highlight.Rules();
        if (CHighlightDlg::Edit(m_bar.window(), rules))
            SetHighlightRules(rules);
        return true;
    }
    case cmd::ID_TERMINAL_QUICK_SENDS: {
        CQuickSends sends = m_quickSends;
        if (CQuickSendDlg::Edit(m_bar.window(), sends))
            SetQuickSends(sends);
        return true;
    }
    case cmd::ID_VIEW_QUICK_SEND_BAR:
        if (m_pQuickBar)
            m_pQuickBar->setVisible(m_pQuickBar->isHidden());
        return true;
    case cmd::ID_TERMINAL_FOCUS_COMMAND_LINE:
        if (!m_pCommandLine)
            return true;
        if (!m_settings.m_bCommandLine)
            SetCommandLineShown(true);
        // The terminal's pane may be hidden: the frame shows it (it owns the docks).
        if (m_host.m_showTerminal)
            m_host.m_showTerminal();
        m_pCommandLine->Edit().setFocus(Qt::ShortcutFocusReason);
        return true;
    case cmd::ID_TERMINAL_DTR:
    case cmd::ID_TERMINAL_RTS:
        SetModemLine(id, !ModemLineShown(id));
        return true;
    default:
        if (id >= cmd::ID_QUICK_SEND_FIRST && id <= cmd::ID_QUICK_SEND_LAST) {
            RunQuickSend(static_cast<std::size_t>(id - cmd::ID_QUICK_SEND_FIRST));
            return true;
        }
        return false;
    }
}

bool CTerminalController::OnUpdateCommand(CCmdUI& ui)
{
    const bool portReady = IsPortOpen();
    const bool canSend = portReady && !IsDownloadRunning() && !IsSending();
    switch (ui.m_nID) {
    case cmd::ID_TERMINAL_CLEAR:
    case cmd::ID_TERMINAL_FIND:
    case cmd::ID_TERMINAL_SCROLLBACK:
        ui.Enable(true);
        return true;
    case cmd::ID_TERMINAL_TIMESTAMPS:
        ui.Enable(true);
        ui.SetCheck(m_terminal.Timestamps());
        return true;
    case cmd::ID_TERMINAL_HEX_VIEW:
        ui.Enable(true);
        ui.SetCheck(m_terminal.HexView());
        return true;
    case cmd::ID_TERMINAL_LOG:
        ui.Enable(true);
        ui.SetCheck(m_pLog->IsOn());
        return true;
    case cmd::ID_TERMINAL_LOG_BYTES:
    case cmd::ID_TERMINAL_LOG_LINES:
        // The mode of a running log stays as it started.
        ui.Enable(!m_pLog->IsOn());
        ui.SetCheck(m_settings.m_nLogMode == (ui.m_nID == cmd::ID_TERMINAL_LOG_BYTES ? 0 : 1));
        return true;
    case cmd::ID_TERMINAL_LOCAL_ECHO:
        ui.Enable(true);
        ui.SetCheck(m_settings.m_bLocalEcho);
        return true;
    case cmd::ID_TERMINAL_ENTER_CR:
    case cmd::ID_TERMINAL_ENTER_LF:
    case cmd::ID_TERMINAL_ENTER_CRLF:
        ui.Enable(true);
        ui.SetCheck(m_settings.m_eEnterSends == EnterChoice(ui.m_nID));
        return true;
    case cmd::ID_TERMINAL_SEND_FILE:
    case cmd::ID_TERMINAL_PASTE:
        ui.Enable(canSend);
        return true;
    case cmd::ID_TERMINAL_STOP_SEND:
        ui.Enable(IsSending());
        return true;
    case cmd::ID_TERMINAL_PACING:
        ui.Enable(true);
        return true;
    case cmd::ID_VIEW_COMMAND_LINE:
        ui.Enable(m_pCommandLine != nullptr);
        ui.SetCheck(m_settings.m_bCommandLine);
        return true;
    case cmd::ID_TERMINAL_FOCUS_COMMAND_LINE:
        ui.Enable(m_pCommandLine != nullptr);
        return true;
    case cmd::ID_TERMINAL_QUICK_SENDS:
    case cmd::ID_TERMINAL_HIGHLIGHT:
        ui.Enable(true);
        return true;
    case cmd::ID_VIEW_QUICK_SEND_BAR:
        ui.Enable(m_pQuickBar != nullptr);
        ui.SetCheck(m_pQuickBar && !m_pQuickBar->isHidden());
        return true;
    case cmd::ID_TERMINAL_DTR:
    case cmd::ID_TERMINAL_RTS:
        ui.Enable(portReady);
        ui.SetCheck(m_pPort && ModemLineShown(ui.m_nID));
        return true;
    default:
        if (ui.m_nID >= cmd::ID_QUICK_SEND_FIRST && ui.m_nID <= cmd::ID_QUICK_SEND_LAST) {
            const CQuickSend& send = m_quickSends.At(static_cast<std::size_t>(ui.m_nID - cmd::ID_QUICK_SEND_FIRST));
            ui.Enable(send.IsSet() && canSend);
            if (send.IsSet())
                ui.SetText(send.m_strName);
            return true;
        }
        return false;
    }
}
