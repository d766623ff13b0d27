#pragma once
// CPortMenus: the main frame's three port commands: Port Setup (32782: the dialog, store the
// six settings, reopen an open port), the port list pop-up (1014, left click on the port pane)
// and the line-settings pop-up "_CONFIG_" (135, right click). GUI thread only. It owns nothing
// of the frame: settings, store, port, sink and prompt are the frame's and outlive it.
//
//   m_portMenus = std::make_unique<CPortMenus>(m_portSettings, m_store, m_Serial, m_pSink,
//       m_prompt, [this](CSerialPort* port) { m_wndTerminal->SetPort(port); }, this);
//   m_portMenus->SetSettingsChanged([this] { UpdatePortPane(); });
//   command 32782: m_portMenus->OnPortSetup();
//   command 1014:  m_portMenus->OnPortListMenu(portPaneRectOnScreen);
//   command 135:   m_portMenus->OnPortConfigMenu(portPaneRectOnScreen);
//   commands 32796..32839 from elsewhere: m_portMenus->OnCommand(id);
//   m_portMenus->SetBusy([this] { return DownloadRunning(); });
//   at WM_DOWNLOAD_END: m_portMenus->ApplyPendingReopen();

#include "port/com_port_probe.h"

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

    // Command 32782: modal.
    void OnPortSetup();
    // The two halves of OnPortSetup, for a caller that runs the dialog itself.
    std::unique_ptr<CPortSetupDlg> CreatePortSetupDialog() const;
    void FinishPortSetup(const CPortSetupDlg& dialog, int result);

    // Command 1014: probes now, shows the list with its top-left corner at the pane's top right.
    void OnPortListMenu(const QRect& paneOnScreen);
    // Command 135: the "_CONFIG_" pop-up at the pane's bottom-left corner.
    void OnPortConfigMenu(const QRect& paneOnScreen);
    // The menus as shown (the list probes and remembers what it shows).
    std::unique_ptr<QMenu> BuildPortListMenu();
    std::unique_ptr<QMenu> BuildConfigMenu();

    // The single-value commands: 32796..32815 choose a port of the list last shown,
    // 32816..32839 the line settings. Stored at once, applied at the next opening of the port.
    bool OnCommand(int id);

    const std::vector<std::string>& ShownPortNames() const { return m_shownNames; }

private:
    void Changed();
    void Reopen();

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
    bool m_bReopenPending = false;
};
