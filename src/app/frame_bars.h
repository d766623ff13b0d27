#pragma once
// CFrameBars: the main window's bars, built from the command table: one action per command
// (text, prompt, tool tip, icon, key; the View toggles and the terminal's switches checkable,
// the log and Enter choices as radio sets), the menu bar, the toolbar, and the status bar with its
// message, port, log and counter panes, the progress pane and the CAPS / NUM / SCRL indicators.
// GUI thread only. The widgets belong to the window; the window outlives the bars and runs the
// commands they raise through CHost.

#include <QObject>

#include <functional>
#include <map>

class CPercentProgressCtrl;
class CPortPaneLabel;
class CStatusPanes;
class QAction;
class QLabel;
class QMainWindow;
class QTimer;
class QToolBar;

class CFrameBars : public QObject {
    Q_OBJECT
public:
    // Sizes the progress pane: its text's width.
    static constexpr const char* kProgressPaneSizing = "==========";
    // How often the lock-key indicators are read.
    static constexpr int kIndicatorMs = 500;

    // What the bars ask of the window around them.
    struct CHost {
        // A menu item, a button, a key or a pane's click raised the command.
        std::function<void(int id)> m_execute;
        std::function<void()> m_requestCommandUpdate;
        // The commands' states are needed now (a menu opens).
        std::function<void()> m_updateCommandUI;
    };

    CFrameBars(QMainWindow& window, CHost host);

    // The actions, the menu bar, the toolbar and the status bar, in that order.
    void Create();
    // Reads the lock keys now and every kIndicatorMs from then on.
    void StartIndicators();

    // Null for an id the command table does not hold.
    QAction* Action(int id) const;
    const std::map<int, QAction*>& Actions() const { return m_actions; }
    QToolBar& ToolBar() const { return *m_wndToolBar; }
    QLabel& MessagePane() const { return *m_wndMessagePane; }
    CStatusPanes& StatusPanes() const { return *m_wndStatusPanes; }
    CPortPaneLabel& PortPane() const { return *m_wndPortPane; }
    CPercentProgressCtrl& StatusProgress() const { return *m_wndStatusProgress; }

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateLockIndicators();

    QMainWindow& m_window;
    CHost m_host;
    std::map<int, QAction*> m_actions;
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_wndMessagePane = nullptr;
    CStatusPanes* m_wndStatusPanes = nullptr;
    CPortPaneLabel* m_wndPortPane = nullptr;
    CPercentProgressCtrl* m_wndStatusProgress = nullptr;
    QLabel* m_wndIndicators[3] = {};
    QTimer* m_pIndicatorTimer = nullptr;
};
