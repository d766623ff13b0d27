#pragma once
// CPortController: the session's port in the main window: Open Port, Close Port, Port Setup, the
// port pane's pop-ups and the commands behind them, the port pane's text, opening the port with
// its failure box, and the device going away (one box, or with reconnecting on the message pane's
// "disconnected" and "reconnected"). A simulated run keeps the simulator's line: Port Setup and
// the port list do nothing. GUI thread only. The session, the widgets, the store and the prompt
// outlive it; it watches the port every kCheckMs from Start on and asks the window through CHost.

#include "base/command_target.h"
#include "programming/session_observer.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <string>

class CPortMenus;
class CPortPaneLabel;
class CProgrammingSession;
class CSerialPort;
class ISettingsStore;
class IUserPrompt;
class QAction;
class QLabel;
class QTimer;
class QWidget;

class CPortController : public QObject, public ICommandTarget, private ISessionObserver {
    Q_OBJECT
public:
    static constexpr const char* kTextPortOpenError = "Port open error!";
    static constexpr const char* kTextPortLost = "Lost the connection to ";
    // How often a lost device is looked for (and the pane catches up with a port a job opened).
    static constexpr int kCheckMs = 500;

    // What the controller asks of the window around it.
    struct CHost {
        // A file or text is on its way to the board (the port is not pulled from under it).
        std::function<bool()> m_isSending;
        std::function<void()> m_requestCommandUpdate;
        // The commands' states are needed now (a pop-up shows them).
        std::function<void()> m_updateCommandUI;
        // The port was opened: typed keys go to it and DTR / RTS take the stored state.
        std::function<void(CSerialPort*)> m_portAttached;
        // The port came back: the stored DTR and RTS apply again.
        std::function<void()> m_applyModemLines;
    };

    // portActions (Open Port, Close Port) show in the line-settings pop-up; the pop-ups and the
    // Port Setup dialog belong to owner.
    CPortController(CProgrammingSession& session, CPortPaneLabel& pane, QLabel& messagePane, ISettingsStore& store,
        IUserPrompt& prompt, bool simulated, QList<QAction*> portActions, CHost host, QWidget* owner);
    ~CPortController() override;

    // Shows the pane, opens the port (a failure's box starts with failureText) and starts
    // watching it.
    void Start(const std::string& failureText);
    // Opens the closed port with the current settings; false (after the box) on failure.
    bool OpenPort(const std::string& failureText);
    void UpdatePortPane();
    // A download or send has ended: Port Setup's changes made meanwhile apply now.
    void OnLineReleased();
    // A download has ended: also a port the job opened takes the stored DTR and RTS.
    void OnDownloadEnded();

    // ICommandTarget: the port's commands.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

private:
    void OnSessionEvent(const CSessionEvent& event) override;
    // Neither a download nor a send uses the line.
    bool IsLineFree() const;
    QRect PaneOnScreen() const;
    void PortChanged();

    CProgrammingSession& m_session;
    CPortPaneLabel& m_wndPortPane;
    QLabel& m_wndMessagePane;
    IUserPrompt& m_prompt;
    const bool m_bSimulated;
    CHost m_host;
    std::unique_ptr<CPortMenus> m_pMenus;
    QTimer* m_pCheckTimer = nullptr;
};
