#include "app/port_controller.h"

#include "app/port_pane_label.h"
#include "base/commands.h"
#include "base/system_error.h"
#include "port/port_menus.h"
#include "programming/programming_session.h"
#include "serial/serial_device_name.h"

#include <QLabel>
#include <QTimer>

CPortController::CPortController(CProgrammingSession& session, CPortPaneLabel& pane, QLabel& messagePane,
    ISettingsStore& store, IUserPrompt& prompt, bool simulated, QList<QAction*> portActions, CHost host,
    QWidget* owner)
    : m_session(session), m_wndPortPane(pane), m_wndMessagePane(messagePane), m_prompt(prompt),
      m_bSimulated(simulated), m_host(std::move(host))
{
    m_pMenus = std::make_unique<CPortMenus>(m_session.PortSettings(), store, m_session.Port(), &m_session.PortSink(),
        m_prompt,
        [this](CSerialPort* port) {
            m_host.m_portAttached(port);
            m_session.NotePortOpened();
        },
        owner);
    // Port Setup does not pull the port from under a running download or send: the reopening
    // waits for its end.
    m_pMenus->SetBusy([this] { return !IsLineFree(); });
    m_pMenus->SetSettingsChanged([this] {
        // A wait for a device that went away follows the port now set, or ends when it is off.
        if (m_session.IsWaitingForPort()) {
            if (m_session.PortSettings().m_bReconnect)
                m_session.RestartWaiting();
            else
                m_session.StopWaiting();
        }
        PortChanged();
    });
    m_pMenus->SetPortStateChanged([this] { PortChanged(); });
    m_pMenus->SetPortActions(std::move(portActions));
    m_session.AddObserver(*this);
}

CPortController::~CPortController()
{
    m_session.RemoveObserver(*this);
}

void CPortController::Start(const std::string& failureText)
{
    UpdatePortPane();
    // The window appears whether or not the port opens.
    OpenPort(failureText);
    m_pCheckTimer = new QTimer(this);
    connect(m_pCheckTimer, &QTimer::timeout, this, [this] {
        // The device went away (an adapter pulled out): its listener ended with an error. With
        // reconnecting on, the terminal and the status bar say so once and the port reopens when
        // the device is back; otherwise one box, and the port is closed so that showing the
        // terminal or a download opens it again. A running download reports the failure itself.
        m_session.CheckPortLost();
        // A download opens the port on its worker: the pane catches up here.
        UpdatePortPane();
    });
    m_pCheckTimer->start(kCheckMs);
}

bool CPortController::OpenPort(const std::string& failureText)
{
    const bool opened = m_session.OpenPort(failureText, [this](CSerialPort* port) { m_host.m_portAttached(port); });
    PortChanged();
    return opened;
}

void CPortController::UpdatePortPane()
{
    const CPortSettings& settings = m_session.PortSettings();
    // A stable name is long: the pane shows the node it leads to.
    m_wndPortPane.SetPortName(QString::fromStdString(settings.PaneText(ShortPortName(settings.m_strPort))),
        m_session.Port().IsOpen());
}

void CPortController::PortChanged()
{
    UpdatePortPane();
    m_host.m_requestCommandUpdate();
}

void CPortController::OnLineReleased()
{
    m_pMenus->ApplyPendingReopen();
    UpdatePortPane();
}

void CPortController::OnDownloadEnded()
{
    m_pMenus->ApplyPendingReopen();
    m_host.m_applyModemLines();
    PortChanged();
}

bool CPortController::IsLineFree() const
{
    return !m_session.IsDownloadRunning() && !m_host.m_isSending();
}

QRect CPortController::PaneOnScreen() const
{
    return QRect(m_wndPortPane.mapToGlobal(QPoint(0, 0)), m_wndPortPane.size());
}

bool CPortController::OnCommand(int id)
{
    switch (id) {
    case cmd::ID_TOOLS_PORT_SETUP:
        // A simulated run keeps the simulator's line: choosing another port would store it.
        if (!m_bSimulated)
            m_pMenus->OnPortSetup();
        return true;
    case cmd::ID_PORT_LIST_MENU:
        if (!m_bSimulated)
            m_pMenus->OnPortListMenu(PaneOnScreen());
        return true;
    case cmd::ID_PORT_CONFIG_MENU:
        m_host.m_updateCommandUI();
        m_pMenus->OnPortConfigMenu(PaneOnScreen());
        return true;
    case cmd::ID_TOOLS_OPEN_PORT:
        if (!m_session.Port().IsOpen() && IsLineFree())
            OpenPort(kTextPortOpenError);
        return true;
    case cmd::ID_TOOLS_CLOSE_PORT:
        if (!IsLineFree())
            return true;
        // Closed by the user: no longer waited for either.
        m_session.StopWaiting();
        if (m_session.Port().IsOpen())
            m_session.Port().Close();
        UpdatePortPane();
        return true;
    default:
        if (id >= cmd::ID_PORT_FIRST && id <= cmd::ID_PORT_LAST && m_bSimulated)
            return true;
        if ((id >= cmd::ID_PORT_FIRST && id <= cmd::ID_DATABITS_LAST) ||
            (id >= cmd::ID_BAUD_MORE_FIRST && id <= cmd::ID_BAUD_MORE_LAST))
            return m_pMenus->OnCommand(id);
        return false;
    }
}

bool CPortController::OnUpdateCommand(CCmdUI& ui)
{
    switch (ui.m_nID) {
    case cmd::ID_TOOLS_PORT_SETUP:
        ui.Enable(!m_bSimulated);
        return true;
    case cmd::ID_TOOLS_OPEN_PORT:
    case cmd::ID_TOOLS_CLOSE_PORT: {
        // A port waited for counts as open: Close Port ends the wait.
        const bool open = m_session.Port().IsOpen() || m_session.IsWaitingForPort();
        ui.Enable(IsLineFree() && open == (ui.m_nID == cmd::ID_TOOLS_CLOSE_PORT));
        return true;
    }
    default:
        return false;
    }
}

void CPortController::OnSessionEvent(const CSessionEvent& event)
{
    if (const auto* lost = std::get_if<session_event::CPortLost>(&event)) {
        PortChanged();
        ShowSystemError(m_prompt, lost->m_error, kTextPortLost + m_session.PortSettings().m_strPort);
    } else if (std::holds_alternative<session_event::CPortDisconnected>(event)) {
        m_wndMessagePane.setText(
            QStringLiteral("%1 disconnected, waiting for it").arg(QString::fromStdString(m_session.PortDevice())));
        PortChanged();
    } else if (std::holds_alternative<session_event::CPortReconnected>(event)) {
        // The device came back with its driver's defaults: the lines the user set go on.
        m_host.m_applyModemLines();
        m_wndMessagePane.setText(
            QStringLiteral("%1 reconnected").arg(QString::fromStdString(m_session.PortDevice())));
        PortChanged();
    }
}
