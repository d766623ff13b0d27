// The dock layout on a bare main window: the View toggles and their states, and the layout
// saved at close and restored by the next window through a real settings file under a
// temporary XDG_CONFIG_HOME.

#include "app/dock_layout.h"
#include "base/commands.h"
#include "base/qt_settings_store.h"

#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
// The seven View toggles and the bar or pane each shows.
const int kToggles[] = {cmd::ID_VIEW_MENUBAR, cmd::ID_VIEW_TOOLBAR,  cmd::ID_VIEW_STATUS_BAR, cmd::ID_VIEW_PROGRAM,
                        cmd::ID_VIEW_BROWSER, cmd::ID_VIEW_TERMINAL, cmd::ID_VIEW_OUTPUT};

struct CWindow {
    QMainWindow m_window;
    QToolBar* m_toolBar = new QToolBar(&m_window);
    std::vector<int> m_toggled;
    std::unique_ptr<CDockLayout> m_pLayout;

    explicit CWindow(CQtSettingsStore& store)
    {
        m_toolBar->setObjectName(QStringLiteral("ToolBar"));
        m_window.addToolBar(Qt::TopToolBarArea, m_toolBar);
        m_window.menuBar()->addMenu(QStringLiteral("&View"));
        m_window.statusBar()->showMessage(QStringLiteral("Ready"));
        m_window.setCentralWidget(new QLabel(QStringLiteral("list")));
        m_pLayout = std::make_unique<CDockLayout>(m_window, *m_toolBar, store,
                                                  CDockLayout::CHost{QSize(700, 480), [](int) { return nullptr; }, [] {},
                                                                     [this](int id) { m_toggled.push_back(id); }});
        m_pLayout->AddPane(cmd::ID_VIEW_PROGRAM, "ProgramBar", new QLabel(QStringLiteral("program")));
        m_pLayout->AddPane(cmd::ID_VIEW_BROWSER, "BrowserBar", new QLabel(QStringLiteral("browser")));
        m_pLayout->AddPane(cmd::ID_VIEW_OUTPUT, "OutputBar", new QLabel(QStringLiteral("output")));
        m_pLayout->AddPane(cmd::ID_VIEW_TERMINAL, "TerminalBar", new QLabel(QStringLiteral("terminal")));
    }

    bool Shown(int id) const
    {
        switch (id) {
        case cmd::ID_VIEW_MENUBAR: return !m_window.menuBar()->isHidden();
        case cmd::ID_VIEW_TOOLBAR: return !m_toolBar->isHidden();
        case cmd::ID_VIEW_STATUS_BAR: return !m_window.statusBar()->isHidden();
        default: return !m_pLayout->Dock(id)->isHidden();
        }
    }

    // The View command's state as the menu shows it.
    bool Checked(int id)
    {
        CCmdUI ui;
        ui.m_nID = id;
        return m_pLayout->OnUpdateCommand(ui) && ui.m_bEnabled && ui.m_bChecked;
    }

    bool Show()
    {
        m_window.show();
        return QTest::qWaitForWindowExposed(&m_window);
    }
};
} // namespace

class DockLayoutTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;

    static QString SettingsFile()
    {
        return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Quillorex/Quillorex Programmer.conf");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    void init() { QFile::remove(SettingsFile()); }

    void eachViewToggleHidesAndShowsItsBarAndTheCheckFollows()
    {
        CQtSettingsStore store;
        CWindow window(store);
        QVERIFY(!window.m_pLayout->Restore());
        QVERIFY(window.Show());
        for (int id : kToggles) {
            const QByteArray row = QByteArray::number(id);
            QVERIFY2(window.Shown(id) && window.Checked(id), row);
            QVERIFY2(window.m_pLayout->OnCommand(id), row);
            QVERIFY2(!window.Shown(id) && !window.Checked(id), row);
            QVERIFY2(window.m_pLayout->OnCommand(id), row);
            QVERIFY2(window.Shown(id) && window.Checked(id), row);
            QCOMPARE(window.m_toggled, (std::vector<int>{id, id}));
            window.m_toggled.clear();
        }
        // Commands of others are left to them.
        CCmdUI other;
        other.m_nID = cmd::ID_TERMINAL_CLEAR;
        QVERIFY(!window.m_pLayout->OnUpdateCommand(other));
        QVERIFY(!window.m_pLayout->OnCommand(cmd::ID_APP_EXIT));
        QVERIFY(window.m_toggled.empty());
    }

    void theNextWindowGetsTheLayoutSavedAtClose()
    {
        {
            CQtSettingsStore store;
            CWindow window(store);
            QVERIFY(!window.m_pLayout->Restore());
            QVERIFY(window.Show());
            window.m_window.resize(820, 610);
            window.m_window.addDockWidget(Qt::RightDockWidgetArea, window.m_pLayout->Dock(cmd::ID_VIEW_OUTPUT));
            for (int id : {cmd::ID_VIEW_BROWSER, cmd::ID_VIEW_MENUBAR, cmd::ID_VIEW_TOOLBAR})
                window.m_pLayout->OnCommand(id);
            QTRY_COMPARE(window.m_window.size(), QSize(820, 610));
            window.m_pLayout->OnClosing();
        }
        QVERIFY(QFile::exists(SettingsFile()));

        CQtSettingsStore store;
        CWindow window(store);
        QVERIFY(window.m_pLayout->Restore());
        QVERIFY(window.Show());
        QCOMPARE(window.m_window.size(), QSize(820, 610));
        QCOMPARE(window.m_window.dockWidgetArea(window.m_pLayout->Dock(cmd::ID_VIEW_OUTPUT)), Qt::RightDockWidgetArea);
        QCOMPARE(window.m_window.dockWidgetArea(window.m_pLayout->Dock(cmd::ID_VIEW_TERMINAL)), Qt::BottomDockWidgetArea);
        for (int id : kToggles) {
            const bool hidden = id == cmd::ID_VIEW_BROWSER || id == cmd::ID_VIEW_MENUBAR || id == cmd::ID_VIEW_TOOLBAR;
            QVERIFY2(window.Shown(id) == !hidden && window.Checked(id) == !hidden, QByteArray::number(id));
        }
    }

    // A layout saved by another version of the panes gives the default one, bars shown.
    void aLayoutOfAnotherVersionGivesTheDefault()
    {
        {
            QMainWindow other;
            other.addDockWidget(Qt::RightDockWidgetArea, new QDockWidget(QStringLiteral("Browser"), &other));
            other.findChild<QDockWidget*>()->setObjectName(QStringLiteral("BrowserBar"));
            CQtSettingsStore store;
            QSettings& raw = store.Settings();
            raw.setValue(QStringLiteral("%1/State").arg(QLatin1String(CDockLayout::kLayoutGroup)), other.saveState(0));
            raw.setValue(QStringLiteral("%1/MenuBar").arg(QLatin1String(CDockLayout::kLayoutGroup)), false);
            raw.sync();
        }
        CQtSettingsStore store;
        CWindow window(store);
        QVERIFY(!window.m_pLayout->Restore());
        QVERIFY(window.Show());
        QCOMPARE(window.m_window.dockWidgetArea(window.m_pLayout->Dock(cmd::ID_VIEW_BROWSER)), Qt::LeftDockWidgetArea);
        QCOMPARE(window.m_window.dockWidgetArea(window.m_pLayout->Dock(cmd::ID_VIEW_PROGRAM)), Qt::TopDockWidgetArea);
        for (int id : kToggles)
            QVERIFY2(window.Shown(id) && window.Checked(id), QByteArray::number(id));
    }
};

QTEST_MAIN(DockLayoutTest)
#include "dock_layout_test.moc"
