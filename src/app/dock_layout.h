#pragma once
// CDockLayout: the main window's docking panes (program window, file browser, output window,
// terminal window) and its bars as the user arranges them: the docks with their default places
// and sizes, the layout saved at close and restored at start (group kLayoutGroup of the settings
// file), the View menu's toggles with their pop-up, and floating panes kept above the window.
// GUI thread only. The window, its toolbar and the store outlive the layout; the docks belong to
// the window.

#include "base/command_target.h"

#include <QObject>
#include <QSize>

#include <functional>
#include <map>

class CQtSettingsStore;
class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;
class QToolBar;
class QWidget;

class CDockLayout : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    // The window layer's own group in the settings file.
    static constexpr const char* kLayoutGroup = "MainFrame";

    // What the layout asks of the window around it.
    struct CHost {
        // The size of a window whose saved geometry does not read.
        QSize m_defaultSize;
        // The action of a command, for the pop-up menu of the bars.
        std::function<QAction*(int id)> m_action;
        // A pane or bar was shown or hidden.
        std::function<void()> m_changed;
        // The View command of the pane or bar has toggled it.
        std::function<void(int id)> m_toggled;
    };

    CDockLayout(QMainWindow& window, QToolBar& toolBar, CQtSettingsStore& store, CHost host);

    // Puts content in a new dock for the pane of the View command id (titled as its menu item).
    QDockWidget* AddPane(int id, const char* objectName, QWidget* content);
    // Null for an id that is not a pane's.
    QDockWidget* Dock(int id) const;

    // Docks the default layout, then puts the saved one over it; false when none was restored.
    bool Restore();
    void Save();
    // Each time the window shows; the first time, panes take their sizes and floating ones their
    // place above the window.
    void OnWindowShown();
    // The window closes: the layout is saved and floating panes go with it.
    void OnClosing();

    bool IsPaneShown(int id) const;
    void TogglePane(int id);
    // Shows the pane and brings it to the front.
    void ShowPane(int id);
    // The bars' context menu: the View menu's toggles, so a hidden menu bar can come back.
    QMenu* CreatePopupMenu();

    // ICommandTarget: the View menu's toggles.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;
    // The panes' and bars' View commands.
    static bool IsPaneCommand(int id);

private:
    void DockDefaultLayout();
    void ApplyDefaultSizes();
    bool LoadBarState();
    // A floating pane stays above the window (its window manager's transient parent); remap for
    // a pane that was shown before the window.
    void KeepAbove(QDockWidget* dock, bool remap);

    QMainWindow& m_window;
    QToolBar& m_toolBar;
    CQtSettingsStore& m_store;
    CHost m_host;
    std::map<int, QDockWidget*> m_docks;
    bool m_bRestored = false;
    bool m_bShown = false;
};
