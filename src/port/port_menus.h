#pragma once
// CPortMenus: the three port commands (the main window's port controller holds it): Port Setup (ID_TOOLS_PORT_SETUP: the
// dialog, store the six settings; OK opens the chosen port, Cancel reopens an open one), the port list pop-up (ID_PORT_LIST_MENU,
// left click on the port pane) and the line-settings pop-up "_CONFIG_" (ID_PORT_CONFIG_MENU,
// right click). GUI thread only. It owns nothing of the frame: settings, store, port, sink and
// prompt are the frame's and outlive it.
//
//   m_pMenus = std::make_unique<CPortMenus>(session.PortSettings(), store, session.Port(),
//       &session.PortSink(), prompt, [this](CSerialPort* port) { /* attach the terminal */ }, owner);
//   m_pMenus->SetBusy([this] { return !IsLineFree(); });
//   m_pMenus->SetSettingsChanged([this] { PortChanged(); });
//   m_pMenus->SetPortStateChanged([this] { PortChanged(); });
//   m_pMenus->SetPortActions(portActions);
//   ID_TOOLS_PORT_SETUP:  m_pMenus->OnPortSetup();
//   ID_PORT_LIST_MENU:    m_pMenus->OnPortListMenu(PaneOnScreen());
//   ID_PORT_CONFIG_MENU:  m_pMenus->OnPortConfigMenu(PaneOnScreen());
//   ID_PORT_FIRST..ID_DATABITS_LAST: m_pMenus->OnCommand(id);
//   when the download or send has ended: m_pMenus->ApplyPendingReopen();

#include "port/com_port_probe.h"

#include <QList>
#include <QObject>
#include <QRect>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CPortSettings;
class CPortSetupDlg;
class CSerialPort;
class CSerialWnd;
class IMessageSink;
class QAction;
class ISettingsStore;
class IUserPrompt;
class QMenu;
class QWidget;

class CPortMenus : public QObject {
    Q_OBJECT
public:
    using AttachTerminal = std::function<void(CSerialPort*)>;

    // The port list pop-up shows at most this many ports.
    static constexpr int kMaxListedPorts = 20;

    CPortMenus(CPortSettings& settings, ISettingsStore& store, CSerialWnd& serial, IMessageSink* sink,
        IUserPrompt& prompt, AttachTerminal attachTerminal, QWidget* owner);
    ~CPortMenus() override;

    // Where probing looks (tests use a fake device tree).
    void SetProbeRoots(CProbeRoots roots) { m_roots = std::move(roots); }
    // Called after any setting changed (the port pane shows the new text at once).
    void SetSettingsChanged(std::function<void()> changed) { m_settingsChanged = std::move(changed); }

    // While busy (a download writes to the port) Port Setup does not pull the port from under
    // the job: the reopening waits for ApplyPendingReopen, called when the job has ended.
    void SetBusy(std::function<bool()> isBusy) { m_isBusy = std::move(isBusy); }
    bool IsReopenPending() const { return m_bReopenPending; }
    void ApplyPendingReopen();
    // Called after Port Setup opened, reopened or failed to open the port.
    void SetPortStateChanged(std::function<void()> changed) { m_portStateChanged = std::move(changed); }
    // The owner's commands shown in the "_CONFIG_" pop-up under its title (Open Port, Close Port).
    void SetPortActions(QList<QAction*> actions) { m_portActions = std::move(actions); }
    // Closes the port if open and opens it with the settings; a failure shows the box with
    // kTextPortOpenError and the doctor's advice. False when it did not open.
    bool Reopen();

    // ID_TOOLS_PORT_SETUP: modal.
    void OnPortSetup();
    // The two halves of OnPortSetup, for a caller that runs the dialog itself.
    std::unique_ptr<CPortSetupDlg> CreatePortSetupDialog() const;
    void FinishPortSetup(const CPortSetupDlg& dialog, int result);

    // ID_PORT_LIST_MENU: probes now, shows the list with its top-left corner at the pane's top right.
    void OnPortListMenu(const QRect& paneOnScreen);
    // ID_PORT_CONFIG_MENU: the "_CONFIG_" pop-up at the pane's bottom-left corner.
    void OnPortConfigMenu(const QRect& paneOnScreen);
    // The menus as shown (the list probes and remembers what it shows).
    std::unique_ptr<QMenu> BuildPortListMenu();
    std::unique_ptr<QMenu> BuildConfigMenu();

    // The single-value commands: ID_PORT_FIRST..ID_PORT_LAST choose a port of the list last
    // shown, ID_BAUD_FIRST..ID_DATABITS_LAST the line settings. Stored at once, applied at the next opening of the port.
    bool OnCommand(int id);

    const std::vector<std::string>& ShownPortNames() const { return m_shownNames; }

private:
    void Changed();

    CPortSettings& m_settings;
    ISettingsStore& m_store;
    CSerialWnd& m_serial;
    IMessageSink* m_pSink;
    IUserPrompt& m_prompt;
    AttachTerminal m_attachTerminal;
    QWidget* m_pOwner;
    CProbeRoots m_roots;
    std::function<void()> m_settingsChanged;
    std::vector<std::string> m_shownNames;
    std::function<bool()> m_isBusy;
    std::function<void()> m_portStateChanged;
    QList<QAction*> m_portActions;
    bool m_bReopenPending = false;
};
