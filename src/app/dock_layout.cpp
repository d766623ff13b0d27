#include "app/dock_layout.h"

#include "app/command_table.h"
#include "base/commands.h"
#include "base/qt_settings_store.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
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

// Pane sizes docked at the top or bottom (height) and at the left or right (width), and floating.
struct CPaneSizes {
    int m_nHorzHeight;
    int m_nVertWidth;
    QSize m_floating;
};
// The program window holds the bar and, below it, the download's figures.
constexpr CPaneSizes kProgramSizes{92, 240, {240, 92}};
constexpr CPaneSizes kBrowserSizes{140, 200, {220, 300}};
constexpr CPaneSizes kOutputSizes{130, 160, {480, 320}};
constexpr CPaneSizes kTerminalSizes{130, 160, {480, 320}};

CPaneSizes SizesOfPane(int id)
{
    switch (id) {
    case cmd::ID_VIEW_PROGRAM: return kProgramSizes;
    case cmd::ID_VIEW_BROWSER: return kBrowserSizes;
    case cmd::ID_VIEW_OUTPUT: return kOutputSizes;
    default: return kTerminalSizes;
    }
}

// The View menu's text up to its tab, without mnemonics.
QString PaneTitle(int id)
{
    const CCommandInfo* info = FindCommand(id);
    QString text = info ? QString::fromLatin1(info->m_strMenuText.data(), static_cast<qsizetype>(info->m_strMenuText.size()))
                        : QString();
    text = text.section(QLatin1Char('\t'), 0, 0);
    text.remove(QLatin1Char('&'));
    return text;
}
} // namespace

CDockLayout::CDockLayout(QMainWindow& window, QToolBar& toolBar, CQtSettingsStore& store, CHost host)
    : m_window(window), m_toolBar(toolBar), m_store(store), m_host(std::move(host))
{
}

bool CDockLayout::IsPaneCommand(int id)
{
    return id == cmd::ID_VIEW_MENUBAR || id == cmd::ID_VIEW_TOOLBAR || id == cmd::ID_VIEW_STATUS_BAR ||
           id == cmd::ID_VIEW_PROGRAM || id == cmd::ID_VIEW_BROWSER || id == cmd::ID_VIEW_TERMINAL ||
           id == cmd::ID_VIEW_OUTPUT;
}

QDockWidget* CDockLayout::AddPane(int id, const char* objectName, QWidget* content)
{
    const CPaneSizes sizes = SizesOfPane(id);
    auto* dock = new QDockWidget(PaneTitle(id), &m_window);
    dock->setObjectName(QString::fromLatin1(objectName));
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    dock->setWidget(content);
    // A pane the user pulls out takes its floating size (a restored layout keeps its own).
    connect(dock, &QDockWidget::topLevelChanged, this, [this, dock, sizes](bool floating) {
        if (floating && m_window.isVisible()) {
            dock->resize(sizes.m_floating);
            KeepAbove(dock, false);
        }
    });
    // Docked on another side by the user, the pane takes that side's size (a restored layout
    // keeps its own sizes: it is applied before the window shows).
    connect(dock, &QDockWidget::dockLocationChanged, this, [this, dock, sizes](Qt::DockWidgetArea area) {
        if (!m_window.isVisible() || dock->isFloating())
            return;
        if (area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea)
            m_window.resizeDocks({dock}, {sizes.m_nHorzHeight}, Qt::Vertical);
        else if (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea)
            m_window.resizeDocks({dock}, {sizes.m_nVertWidth}, Qt::Horizontal);
    });
    connect(dock->toggleViewAction(), &QAction::toggled, this, [this] {
        if (m_host.m_changed)
            m_host.m_changed();
    });
    m_docks.emplace(id, dock);
    return dock;
}

QDockWidget* CDockLayout::Dock(int id) const
{
    auto it = m_docks.find(id);
    return it == m_docks.end() ? nullptr : it->second;
}

void CDockLayout::DockDefaultLayout()
{
    QDockWidget* program = Dock(cmd::ID_VIEW_PROGRAM);
    QDockWidget* browser = Dock(cmd::ID_VIEW_BROWSER);
    QDockWidget* output = Dock(cmd::ID_VIEW_OUTPUT);
    QDockWidget* terminal = Dock(cmd::ID_VIEW_TERMINAL);
    m_window.addDockWidget(Qt::BottomDockWidgetArea, terminal);
    m_window.splitDockWidget(terminal, output, Qt::Horizontal);
    m_window.addDockWidget(Qt::LeftDockWidgetArea, browser);
    m_window.addDockWidget(Qt::TopDockWidgetArea, program);
    for (QDockWidget* dock : {program, browser, output, terminal}) {
        dock->setFloating(false);
        dock->show();
    }
    m_toolBar.show();
    m_window.menuBar()->show();
    m_window.statusBar()->show();
    ApplyDefaultSizes();
}

void CDockLayout::ApplyDefaultSizes()
{
    QDockWidget* terminal = Dock(cmd::ID_VIEW_TERMINAL);
    QDockWidget* output = Dock(cmd::ID_VIEW_OUTPUT);
    m_window.resizeDocks({Dock(cmd::ID_VIEW_PROGRAM)}, {kProgramSizes.m_nHorzHeight}, Qt::Vertical);
    m_window.resizeDocks({Dock(cmd::ID_VIEW_BROWSER)}, {kBrowserSizes.m_nVertWidth}, Qt::Horizontal);
    m_window.resizeDocks({terminal}, {kTerminalSizes.m_nHorzHeight}, Qt::Vertical);
    // Terminal and output share the bottom half and half.
    m_window.resizeDocks({terminal, output}, {kTerminalSizes.m_floating.width(), kOutputSizes.m_floating.width()},
                         Qt::Horizontal);
}

bool CDockLayout::Restore()
{
    DockDefaultLayout();
    m_bRestored = LoadBarState();
    return m_bRestored;
}

bool CDockLayout::LoadBarState()
{
    QSettings& settings = m_store.Settings();
    settings.beginGroup(QString::fromLatin1(kLayoutGroup));
    const QByteArray geometry = settings.value(QString::fromLatin1(kKeyGeometry)).toByteArray();
    const QByteArray state = settings.value(QString::fromLatin1(kKeyState)).toByteArray();
    const QVariant menuBarShown = settings.value(QString::fromLatin1(kKeyMenuBar));
    const QVariant statusBarShown = settings.value(QString::fromLatin1(kKeyStatusBar));
    settings.endGroup();

    if (!geometry.isEmpty() && !m_window.restoreGeometry(geometry))
        m_window.resize(m_host.m_defaultSize);
    // No saved layout, or one that does not read: the default layout stays.
    if (state.isEmpty() || !m_window.restoreState(state, kLayoutVersion)) {
        DockDefaultLayout();
        return false;
    }
    if (menuBarShown.isValid())
        m_window.menuBar()->setVisible(menuBarShown.toBool());
    if (statusBarShown.isValid())
        m_window.statusBar()->setVisible(statusBarShown.toBool());
    return true;
}

void CDockLayout::Save()
{
    QSettings& settings = m_store.Settings();
    settings.beginGroup(QString::fromLatin1(kLayoutGroup));
    settings.setValue(QString::fromLatin1(kKeyGeometry), m_window.saveGeometry());
    settings.setValue(QString::fromLatin1(kKeyState), m_window.saveState(kLayoutVersion));
    settings.setValue(QString::fromLatin1(kKeyMenuBar), !m_window.menuBar()->isHidden());
    settings.setValue(QString::fromLatin1(kKeyStatusBar), !m_window.statusBar()->isHidden());
    settings.endGroup();
    settings.sync();
}

void CDockLayout::OnWindowShown()
{
    // Dock sizes take hold once the window has its size: apply the default ones then.
    if (m_bShown)
        return;
    m_bShown = true;
    if (!m_bRestored)
        ApplyDefaultSizes();
    // A pane restored floating was made before the window had one of its own, so the window
    // manager would not keep it above the window: tie it to the window now.
    QTimer::singleShot(0, this, [this] {
        for (auto& [id, dock] : m_docks)
            KeepAbove(dock, true);
    });
}

void CDockLayout::OnClosing()
{
    Save();
    // Floating panes are windows of their own: they go with the main window.
    for (auto& [id, dock] : m_docks)
        if (dock->isFloating())
            dock->hide();
}

void CDockLayout::KeepAbove(QDockWidget* dock, bool remap)
{
    if (!dock->isFloating() || !dock->isVisible() || !m_window.windowHandle())
        return;
    QWindow* window = dock->windowHandle();
    if (!window)
        return;
    window->setTransientParent(m_window.windowHandle());
    // A pane mapped before the window was, is stacked by the window manager as a window of its
    // own; it takes the tie to the window when it is mapped again.
    if (remap) {
        dock->hide();
        dock->show();
    }
    dock->raise();
}

bool CDockLayout::IsPaneShown(int id) const
{
    switch (id) {
    case cmd::ID_VIEW_MENUBAR: return !m_window.menuBar()->isHidden();
    case cmd::ID_VIEW_TOOLBAR: return !m_toolBar.isHidden();
    case cmd::ID_VIEW_STATUS_BAR: return !m_window.statusBar()->isHidden();
    default: break;
    }
    QDockWidget* dock = Dock(id);
    return dock && !dock->isHidden();
}

void CDockLayout::TogglePane(int id)
{
    switch (id) {
    case cmd::ID_VIEW_MENUBAR: m_window.menuBar()->setVisible(m_window.menuBar()->isHidden()); return;
    case cmd::ID_VIEW_TOOLBAR: m_toolBar.setVisible(m_toolBar.isHidden()); return;
    case cmd::ID_VIEW_STATUS_BAR: m_window.statusBar()->setVisible(m_window.statusBar()->isHidden()); return;
    default: break;
    }
    QDockWidget* dock = Dock(id);
    if (!dock)
        return;
    if (dock->isHidden())
        ShowPane(id);
    else
        dock->hide();
}

void CDockLayout::ShowPane(int id)
{
    if (QDockWidget* dock = Dock(id)) {
        dock->show();
        dock->raise();
    }
}

QMenu* CDockLayout::CreatePopupMenu()
{
    auto* menu = new QMenu(&m_window);
    for (const CMenuLayout& layout : MainMenuLayout()) {
        if (layout.m_strTitle != "&View")
            continue;
        for (int id : layout.m_ids)
            menu->addAction(m_host.m_action(id));
    }
    return menu;
}

bool CDockLayout::OnCommand(int id)
{
    if (!IsPaneCommand(id))
        return false;
    TogglePane(id);
    if (m_host.m_toggled)
        m_host.m_toggled(id);
    return true;
}

bool CDockLayout::OnUpdateCommand(CCmdUI& ui)
{
    if (!IsPaneCommand(ui.m_nID))
        return false;
    ui.Enable(true);
    ui.SetCheck(IsPaneShown(ui.m_nID));
    return true;
}
