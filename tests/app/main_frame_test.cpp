// The main window against real parts: a settings file under a temporary XDG_CONFIG_HOME, a real
// pseudo-terminal as the port (this test holds its far end), the board simulator for downloads,
// and message boxes captured by a recording prompt.

#include "app/command_table.h"
#include "base/commands.h"
#include "app/font_record.h"
#include "app/dock_layout.h"
#include "app/main_frame.h"
#include "app/port_pane_label.h"
#include "base/qt_settings_store.h"
#include "browser/file_browser_tree.h"
#include "files/output_ctrl.h"
#include "files/qx_prog_view.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"
#include "port/port_setup_dlg.h"
#include "programming/program_dlg.h"
#include "terminal/terminal_ctrl.h"
#include "recording_prompt.h"
#include "serial/serial_wnd.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"
#include "ui/elided_label.h"
#include "ui/percent_progress_ctrl.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {
// The far end of a pseudo-terminal: the test writes what the board would send and reads what the
// program sends.
class CFarEnd {
public:
    CFarEnd()
    {
        m_fdMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fdMaster >= 0 && ::grantpt(m_fdMaster) == 0 && ::unlockpt(m_fdMaster) == 0)
            m_strSlave = ::ptsname(m_fdMaster);
        // Raw on the far end too, so bytes pass unchanged both ways.
        termios tio{};
        if (m_fdMaster >= 0 && ::tcgetattr(m_fdMaster, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fdMaster, TCSANOW, &tio);
        }
    }
    ~CFarEnd()
    {
        if (m_fdMaster >= 0)
            ::close(m_fdMaster);
    }
    bool Valid() const { return m_fdMaster >= 0 && !m_strSlave.empty(); }
    const std::string& SlavePath() const { return m_strSlave; }
    // Any thread; false when the line went away.
    bool Write(const std::string& bytes)
    {
        for (std::size_t at = 0; at < bytes.size();) {
            ssize_t n = ::write(m_fdMaster, bytes.data() + at, bytes.size() - at);
            if (n <= 0)
                return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    // What has arrived so far (does not wait).
    std::string ReadAvailable()
    {
        std::string got;
        char buf[256];
        int flags = ::fcntl(m_fdMaster, F_GETFL);
        ::fcntl(m_fdMaster, F_SETFL, flags | O_NONBLOCK);
        for (;;) {
            ssize_t n = ::read(m_fdMaster, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        ::fcntl(m_fdMaster, F_SETFL, flags);
        return got;
    }

private:
    int m_fdMaster = -1;
    std::string m_strSlave;
};

// Holds a device the way another program does: its own descriptor with an exclusive lock.
class CPortHolder {
public:
    explicit CPortHolder(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CPortHolder() { Release(); }
    bool Held() const { return m_fd >= 0; }
    void Release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_files;
    std::unique_ptr<CQtSettingsStore> m_pStore;
    CToolSettings m_tools;
    CBoardCommands m_commands;
    std::unique_ptr<CRecordingPrompt> m_pPrompt;

    QString SettingsFilePath() const
    {
        return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Quillorex/Quillorex Programmer.conf");
    }

    void SetPortName(const std::string& path)
    {
        m_pStore->WriteString("Port", path);
        m_pStore->Sync();
    }

    std::unique_ptr<CMainFrame> MakeFrame(const QStringList& arguments = {})
    {
        auto frame = std::make_unique<CMainFrame>(*m_pStore, m_tools, m_commands, *m_pPrompt, arguments);
        if (!frame->Create())
            return nullptr;
        frame->ActivateFrame();
        return frame;
    }

    // Every box so far, for failure messages.
    QString AllTexts() const
    {
        QString all;
        for (const auto& text : m_pPrompt->Texts())
            all += QString::fromStdString(text) + QStringLiteral(" | ");
        return all;
    }

    static bool Closed(CMainFrame& frame)
    {
        frame.close();
        return !frame.isVisible();
    }

    // A board that stops reading after its first bytes, on the port the next frame opens at
    // 1200 baud; null when it cannot start.
    std::unique_ptr<CBoardSimulator> StartStallingBoard()
    {
        CBoardSimOptions options;
        options.m_nStallAfter = 64;
        auto sim = std::make_unique<CBoardSimulator>(options);
        if (sim->Start())
            return nullptr;
        SetPortName(sim->SlavePath());
        m_pStore->WriteString("Baud", "1200");
        return sim;
    }

    std::string WriteFile(const char* name, const std::string& content)
    {
        QString path = m_files.filePath(QString::fromLatin1(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(content.data(), static_cast<qint64>(content.size()));
        return path.toStdString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        QVERIFY(!qgetenv("XDG_CONFIG_HOME").isEmpty());
    }

    void init()
    {
        m_pStore.reset();
        QFile::remove(SettingsFilePath());
        m_pStore = std::make_unique<CQtSettingsStore>();
        // The file list keeps its list file in the start directory: a folder of the test's own.
        QDir::setCurrent(m_files.path());
        QFile::remove(m_files.filePath(QStringLiteral("lastfiles.lst")));
        m_tools.LoadToolSettings(*m_pStore);
        m_commands.LoadBoardCommands(*m_pStore);
        m_pPrompt = std::make_unique<CRecordingPrompt>();
    }

    // Values that cannot be read are said once in the status bar, with what is used.
    void unreadableSettingsAreSaidInTheStatusBar()
    {
        CFarEnd far;
        QVERIFY(far.Valid());
        SetPortName(far.SlavePath());
        m_pStore->WriteString("Baud", "abc");
        m_pStore->WriteString("CheckHexFile", "maybe");
        m_pStore->WriteString("UsePrePostPgmCmd", "no");
        m_commands.LoadBoardCommands(*m_pStore);
        auto frame = MakeFrame();
        QVERIFY(frame);
        QTRY_COMPARE(frame->statusBar()->currentMessage(),
            QStringLiteral("Settings: CheckHexFile=maybe is not a valid value; 1 is used. Settings: Baud=abc is "
                           "not a valid value; 19200 is used."));
        // The message covers the pane it stands for instead of being drawn over it.
        QVERIFY(!frame->MessagePane().isVisible());
        QCOMPARE(m_commands.Get().m_bUsePrePostPgmCmd, 0);
    }

    void firstStartGivesTheDefaultLayout()
    {
        CFarEnd far;
        QVERIFY(far.Valid());
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QCOMPARE(frame->size(), QSize(700, 480));
        QCOMPARE(frame->windowTitle(), QStringLiteral("Quillorex Programmer"));
        QVERIFY(m_pPrompt->Boxes().empty());

        QDockWidget* program = frame->Docks().Dock(cmd::ID_VIEW_PROGRAM);
        QDockWidget* browser = frame->Docks().Dock(cmd::ID_VIEW_BROWSER);
        QDockWidget* terminal = frame->Docks().Dock(cmd::ID_VIEW_TERMINAL);
        QDockWidget* output = frame->Docks().Dock(cmd::ID_VIEW_OUTPUT);
        QCOMPARE(frame->dockWidgetArea(program), Qt::TopDockWidgetArea);
        QCOMPARE(frame->dockWidgetArea(browser), Qt::LeftDockWidgetArea);
        QCOMPARE(frame->dockWidgetArea(terminal), Qt::BottomDockWidgetArea);
        QCOMPARE(frame->dockWidgetArea(output), Qt::BottomDockWidgetArea);
        QCOMPARE(frame->toolBarArea(&frame->ToolBar()), Qt::TopToolBarArea);
        for (QDockWidget* dock : {program, browser, terminal, output})
            QVERIFY2(dock->isVisible() && !dock->isFloating(), qPrintable(dock->objectName()));
        // Terminal and output side by side, half and half.
        QTRY_VERIFY(output->geometry().left() > terminal->geometry().right());
        QCOMPARE(output->geometry().top(), terminal->geometry().top());
        QVERIFY(qAbs(output->width() - terminal->width()) <= 12);
        // The program window sits above the browser and the terminal below it, tall enough for
        // the download's figures under the bar.
        QVERIFY(program->geometry().bottom() < browser->geometry().top());
        auto* figures = program->findChild<QLabel*>(QStringLiteral("Figures"));
        QVERIFY(figures);
        QTRY_VERIFY(figures->geometry().bottom() < figures->parentWidget()->height());
        QVERIFY(browser->geometry().bottom() < terminal->geometry().top());
        // The port is open and the pane says which.
        QVERIFY(frame->Serial().IsOpen());
        QVERIFY(frame->PortPane().text().startsWith(QString::fromStdString(far.SlavePath() + ": 19200 8N1")));
        QVERIFY(Closed(*frame));
    }

    void menusToolbarAndKeysComeFromTheCommandTable()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        const QList<QAction*> menus = frame->menuBar()->actions();
        QStringList titles;
        for (QAction* menu : menus)
            titles << menu->text();
        QCOMPARE(titles, (QStringList{"&File", "&View", "&Tools", "Ter&minal", "&Help"}));
        // Each pop-up in its order, separators as 0.
        auto layout = MainMenuLayout();
        for (int m = 0; m < 5; ++m) {
            QList<QAction*> items = menus[m]->menu()->actions();
            QCOMPARE(items.size(), qsizetype(layout[m].m_ids.size()));
            for (int i = 0; i < items.size(); ++i) {
                int id = layout[m].m_ids[i];
                if (id == 0)
                    QVERIFY(items[i]->isSeparator());
                else
                    QCOMPARE(items[i], frame->Action(id));
            }
        }
        QCOMPARE(frame->Action(cmd::ID_FILE_ADD)->text(), QStringLiteral("&Add...\tCtrl+O"));
        QCOMPARE(frame->Action(cmd::ID_TOOLS_DEBUG)->text(), QStringLiteral("&Debug\tF5"));
        QCOMPARE(frame->Action(cmd::ID_VIEW_OUTPUT)->toolTip(), QStringLiteral("Toggle Output window"));
        QCOMPARE(frame->Action(cmd::ID_TOOLS_PROGRAM)->statusTip(), QStringLiteral("Program selected file to the target"));

        // Toolbar order with its separators.
        const QList<QAction*> buttons = frame->ToolBar().actions();
        auto bar = ToolBarLayout();
        QCOMPARE(buttons.size(), qsizetype(bar.size()));
        for (int i = 0; i < buttons.size(); ++i) {
            if (bar[i] == 0)
                QVERIFY(buttons[i]->isSeparator());
            else
                QCOMPARE(buttons[i], frame->Action(bar[i]));
        }
        QCOMPARE(frame->ToolBar().iconSize(), QSize(16, 16));
        for (int id : bar)
            if (id != 0)
                QVERIFY2(!frame->Action(id)->icon().isNull(), qPrintable(QString::number(id)));

        // Exactly these keys, and F5 bound to nothing.
        struct {
            int id;
            const char* key;
        } const keys[] = {{cmd::ID_FILE_ADD, "Ctrl+O"}, {cmd::ID_FILE_REMOVE, "Del"}, {cmd::ID_TOOLS_EDIT, "F2"},
                          {cmd::ID_TOOLS_PROGRAM, "F4"}, {cmd::ID_NEXT_PANE, "F6"}, {cmd::ID_PREV_PANE, "Shift+F6"},
                          {cmd::ID_TOOLS_BUILD, "F7"}, {cmd::ID_TERMINAL_PASTE, "Ctrl+Shift+V"},
                          {cmd::ID_TERMINAL_FOCUS_COMMAND_LINE, "Ctrl+Shift+K"}, {cmd::ID_QUICK_SEND_FIRST, "Shift+F1"},
                          {cmd::ID_QUICK_SEND_LAST, "Shift+F12"}};
        int bound = 0;
        for (QAction* action : frame->actions()) {
            if (action->shortcut().isEmpty())
                continue;
            ++bound;
            QVERIFY(action->shortcut() != QKeySequence(Qt::Key_F5));
        }
        // And the twelve quick sends' Shift+F1 .. Shift+F12.
        QCOMPARE(bound, 9 + 12);
        for (const auto& k : keys)
            QCOMPARE(frame->Action(k.id)->shortcut(), QKeySequence(QString::fromLatin1(k.key)));

        // With no file selected the file commands and the program window's button are off; the
        // pane toggles are checked while shown.
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TOOLS_BUILD)->isEnabled());
        QVERIFY(!frame->Action(cmd::ID_TOOLS_PROGRAM)->isEnabled());
        QVERIFY(!frame->ProgramDlg().ProgramButton().isEnabled());
        QVERIFY(frame->Action(cmd::ID_VIEW_BROWSER)->isChecked());
        QVERIFY(frame->Action(cmd::ID_VIEW_MENUBAR)->isChecked());
        QVERIFY(!frame->Action(cmd::ID_NEXT_PANE)->isEnabled());
        const std::string file = WriteFile("button.hex", EncodeIntelHex({1, 2, 3}, 0));
        QCOMPARE(frame->View().AddFile(file), 0);
        frame->View().selectRow(0);
        QVERIFY(frame->Action(cmd::ID_TOOLS_PROGRAM)->isEnabled());
        QVERIFY(frame->ProgramDlg().ProgramButton().isEnabled());
        frame->View().clearSelection();
        QVERIFY(!frame->ProgramDlg().ProgramButton().isEnabled());
        frame->View().selectRow(0);
        QVERIFY(frame->ProgramDlg().ProgramButton().isEnabled());
        // The button issues the Program command: the download command goes on the line, and a
        // board that does not answer ends the job with its box.
        frame->ProgramDlg().ProgramButton().click();
        QVERIFY(frame->IsDownloadRunning());
        std::string wire;
        QTRY_VERIFY_WITH_TIMEOUT((wire += far.ReadAvailable()) == "L", 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 5000);
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(1));
        QVERIFY(m_pPrompt->Texts()[0].rfind("The target board does not respond to the LOAD command.", 0) == 0);

        frame->ExecuteCommand(cmd::ID_VIEW_BROWSER);
        QVERIFY(frame->Docks().Dock(cmd::ID_VIEW_BROWSER)->isHidden());
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_VIEW_BROWSER)->isChecked());
        QVERIFY(Closed(*frame));
    }

    // Stop Build is on while a builder runs and ends it; the result reaches the status bar.
    void stopBuildEndsTheRunningBuilderAndTheStatusBarShowsTheResult()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        const std::string builder = WriteFile("slow-builder", "#!/bin/sh\necho building\nexec sleep 300\n");
        QFile::setPermissions(QString::fromStdString(builder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        CToolSettingsValues tools = m_tools.Get();
        tools.m_strBuilder = builder;
        m_tools.Set(tools);
        QCOMPARE(frame->View().AddFile(WriteFile("b.hex", EncodeIntelHex({1}, 0))), 0);
        frame->View().selectRow(0);
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TOOLS_STOP_BUILD)->isEnabled());
        frame->ExecuteCommand(cmd::ID_TOOLS_BUILD);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Action(cmd::ID_TOOLS_STOP_BUILD)->isEnabled(), 5000);
        QVERIFY(frame->Output().IsBuilding());
        frame->ExecuteCommand(cmd::ID_TOOLS_STOP_BUILD);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Action(cmd::ID_TOOLS_STOP_BUILD)->isEnabled(), 5000);
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Build stopped: 0 errors, 0 warnings"));
        QCOMPARE(frame->Output().RowText(frame->Output().RowCount() - 1), QStringLiteral("Build stopped: 0 errors, 0 warnings"));
    }

    // Each word the status bar owes the user, checked one after the other; every one that is
    // wrong is listed.
    void theStatusBarSaysWhatRunsAndKeepsItUnderPrompts()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QStatusBar* bar = frame->statusBar();
        QStringList wrong;
        auto expect = [&](const char* what, const QString& wanted) {
            if (bar->currentMessage() != wanted)
                wrong << QStringLiteral("%1: \"%2\" instead of \"%3\"").arg(QLatin1String(what), bar->currentMessage(), wanted);
        };
        const std::string builder = WriteFile("quiet-builder", "#!/bin/sh\nexec sleep 300\n");
        QFile::setPermissions(QString::fromStdString(builder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        CToolSettingsValues tools = m_tools.Get();
        tools.m_strBuilder = builder;
        m_tools.Set(tools);
        QCOMPARE(frame->View().AddFile(WriteFile("a.c", "int main(void) { return 0; }\n")), 0);
        frame->View().selectRow(0);

        // A builder that prints nothing yet: the status bar says it runs.
        frame->ExecuteCommand(cmd::ID_TOOLS_BUILD);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Output().IsBuilding(), 5000);
        expect("build", QStringLiteral("Building a.c..."));
        frame->ExecuteCommand(cmd::ID_TOOLS_STOP_BUILD);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Output().IsBuilding(), 5000);
        QTRY_COMPARE(bar->currentMessage(), QStringLiteral("Build stopped: 0 errors, 0 warnings"));

        // A button's prompt shows while the pointer is on it; leaving gives the result back (not
        // an older word).
        QWidget* button = frame->ToolBar().widgetForAction(frame->Action(cmd::ID_TOOLS_EDIT));
        QVERIFY(button);
        for (const QString& tip : {frame->Action(cmd::ID_TOOLS_EDIT)->statusTip(), QString()}) {
            QStatusTipEvent event(tip);
            QApplication::sendEvent(button, &event);
            expect("prompt", tip.isEmpty() ? QStringLiteral("Build stopped: 0 errors, 0 warnings") : tip);
        }

        // A search without a match says so, in the terminal and in the output window.
        frame->Terminal().FindString(QStringLiteral("zzz"));
        expect("terminal find", QStringLiteral("Not found: zzz"));
        QVERIFY(!frame->Output().FindString(QStringLiteral("qqq")));
        expect("output find", QStringLiteral("Not found: qqq"));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
        QVERIFY(Closed(*frame));
    }

    void fileDialogsOpenInTheWorkingFolder()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QStringList wrong;
        for (int id : {cmd::ID_TERMINAL_LOG, cmd::ID_TERMINAL_SEND_FILE, cmd::ID_FILE_ADD}) {
            QString folder;
            QStringList filters;
            QTimer::singleShot(0, this, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                folder = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                dialog->reject();
            });
            frame->ExecuteCommand(id);
            if (folder != QDir::current().absolutePath())
                wrong << QStringLiteral("command %1 opens in %2").arg(id).arg(folder);
            // Intel HEX files under either name are acceptable files.
            if (id == cmd::ID_FILE_ADD && !filters.value(0).contains(QStringLiteral("*.ihx")))
                wrong << filters.value(0);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
        QVERIFY(Closed(*frame));
    }

    void theMessageTakesTheFreeWidthAndThePanesGiveWayFirst()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QStatusBar* bar = frame->statusBar();
        auto* message = frame->findChild<CElidedLabel*>(QStringLiteral("MessagePane"));
        QVERIFY(message);
        const QList<CElidedLabel*> panes = {&static_cast<CElidedLabel&>(frame->PortPane()),
                                            static_cast<CElidedLabel*>(&frame->TerminalIo().CountersPane())};
        const QString longText = QStringLiteral("Programming a.hex: 12345 of 71284 bytes, 1920 bytes/s, 0:07 elapsed, 0:27 left");
        struct Case {
            int width;
            bool temporary; // shown with showMessage over the message pane
            QString text;
        };
        frame->TerminalIo().CountersPane().setText(QStringLiteral("RX 99  TX 165017"));
        const Case cases[] = {{700, false, QStringLiteral("Ready")}, {640, false, QStringLiteral("Ready")},
                              {700, false, longText}, {640, false, longText}, {640, true, longText}};
        for (const Case& c : cases) {
            const QString row = QStringLiteral("%1 px, %2").arg(c.width).arg(c.text.left(12));
            frame->resize(c.width, 480);
            bar->clearMessage();
            message->setText(c.text);
            if (c.temporary) {
                message->setText(QStringLiteral("Ready"));
                bar->showMessage(c.text);
            }
            // Settled: the panes' widths no longer change.
            QList<int> widths;
            auto settled = [&] {
                QCoreApplication::sendPostedEvents();
                QList<int> now;
                for (CElidedLabel* pane : panes)
                    now << pane->width();
                const bool same = now == widths;
                widths = now;
                return same;
            };
            QTRY_VERIFY2(settled() && settled(), qPrintable(row));
            // Nothing overlaps, and everything lies inside the bar.
            QList<QWidget*> order = {message, panes[0], panes[1], &frame->StatusProgress()};
            int right = 0;
            for (QWidget* w : order) {
                if (!w->isVisible())
                    continue;
                const QRect r(w->mapTo(bar, QPoint(0, 0)), w->size());
                QVERIFY2(r.left() >= right, qPrintable(row + QStringLiteral(": ") + w->objectName() + QStringLiteral(" overlaps")));
                right = r.right() + 1;
            }
            QVERIFY2(right <= bar->width(), qPrintable(row));
            // The text shown whole when it fits beside the panes at their narrowest; otherwise
            // the panes are at their narrowest first.
            const int need = bar->fontMetrics().horizontalAdvance(c.text);
            const int room = c.temporary ? panes[0]->mapTo(bar, QPoint(0, 0)).x() : message->width();
            bool narrowest = true;
            for (CElidedLabel* pane : panes)
                narrowest = narrowest && pane->width() <= pane->minimumSizeHint().width();
            QVERIFY2(room >= need || narrowest,
                     qPrintable(row + QStringLiteral(": the message has %1 of %2 px while a pane has more than its minimum")
                                          .arg(room).arg(need)));
            if (c.text == QStringLiteral("Ready")) {
                for (CElidedLabel* pane : panes)
                    QVERIFY2(!pane->IsElided(), qPrintable(row + QStringLiteral(": ") + pane->objectName() + QStringLiteral(" elided")));
            }
        }
        bar->clearMessage();

        // Made small and large again, the program window keeps (then gets back) its height.
        QDockWidget* program = frame->Docks().Dock(cmd::ID_VIEW_PROGRAM);
        const int before = frame->ProgramDlg().height();
        frame->resize(700, 150);
        QTRY_VERIFY(frame->ProgramDlg().height() >= frame->ProgramDlg().minimumHeight());
        frame->resize(700, 480);
        QTRY_VERIFY2(frame->ProgramDlg().height() >= frame->ProgramDlg().minimumHeight() &&
                         frame->ProgramDlg().minimumHeight() >= frame->ProgramDlg().Figures().geometry().bottom(),
                     qPrintable(QStringLiteral("%1 -> %2, minimum %3").arg(before).arg(frame->ProgramDlg().height())
                                    .arg(frame->ProgramDlg().minimumHeight())));
        QVERIFY(program->isVisible());
        QVERIFY(Closed(*frame));
    }

    void aMenuPromptGoesWithItsMenu()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QMenu* file = frame->menuBar()->actions().front()->menu();
        QVERIFY(file);
        file->popup(frame->mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(file));
        QAction* add = frame->Action(cmd::ID_FILE_ADD);
        file->setActiveAction(add);
        QTRY_COMPARE(frame->statusBar()->currentMessage(), add->statusTip());
        QVERIFY(!add->statusTip().isEmpty());
        file->hide();
        QCOMPARE(frame->statusBar()->currentMessage(), QString());
        QVERIFY(Closed(*frame));
    }

    void restartRestoresLayoutVisibilityAndPlacement()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        int outputWidth = 0;
        {
            auto frame = MakeFrame();
            QVERIFY(frame);
            QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
            frame->resize(820, 610);
            frame->addDockWidget(Qt::RightDockWidgetArea, frame->Docks().Dock(cmd::ID_VIEW_OUTPUT));
            // Docked at the right, the output window takes that side's width.
            QTRY_VERIFY(qAbs(frame->Docks().Dock(cmd::ID_VIEW_OUTPUT)->width() - 160) <= 4);
            outputWidth = frame->Docks().Dock(cmd::ID_VIEW_OUTPUT)->width();
            frame->ExecuteCommand(cmd::ID_VIEW_BROWSER);
            frame->ExecuteCommand(cmd::ID_VIEW_STATUS_BAR);
            // A folder selected in the browser.
            QVERIFY(frame->Browser().SelectPath(QStringLiteral("Desktop/File System"), QStringLiteral("/")));
            QTRY_VERIFY(frame->Browser().currentItem() &&
                        frame->Browser().currentItem()->text(0) == QStringLiteral("File System"));
            QTRY_COMPARE(frame->size(), QSize(820, 610));
            QVERIFY(Closed(*frame));
            QCOMPARE(m_pStore->ReadString("LastBrowse", ""), std::string("Desktop/File System"));
        }
        m_pStore = std::make_unique<CQtSettingsStore>();
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QCOMPARE(frame->size(), QSize(820, 610));
        QCOMPARE(frame->dockWidgetArea(frame->Docks().Dock(cmd::ID_VIEW_OUTPUT)), Qt::RightDockWidgetArea);
        QCOMPARE(frame->Docks().Dock(cmd::ID_VIEW_OUTPUT)->width(), outputWidth);
        QVERIFY(frame->Docks().Dock(cmd::ID_VIEW_BROWSER)->isHidden());
        QVERIFY(frame->statusBar()->isHidden());
        QVERIFY(frame->Docks().Dock(cmd::ID_VIEW_TERMINAL)->isVisible());
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_VIEW_BROWSER)->isChecked());
        QVERIFY(!frame->Action(cmd::ID_VIEW_STATUS_BAR)->isChecked());
        QVERIFY(frame->Action(cmd::ID_VIEW_TERMINAL)->isChecked());
        // The browser comes back to the same folder.
        QTRY_VERIFY(frame->Browser().currentItem() &&
                    frame->Browser().currentItem()->text(0) == QStringLiteral("File System"));
        QVERIFY(Closed(*frame));
    }

    void aPaneFloatedByTheUserTakesItsSizeAndKeepsItAcrossRuns()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        {
            auto frame = MakeFrame();
            QVERIFY(frame);
            QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
            QDockWidget* terminal = frame->Docks().Dock(cmd::ID_VIEW_TERMINAL);
            terminal->setFloating(true);
            QTRY_COMPARE(terminal->size(), QSize(480, 320));
            terminal->resize(510, 290);
            QTRY_COMPARE(terminal->size(), QSize(510, 290));
            QVERIFY(Closed(*frame));
        }
        m_pStore = std::make_unique<CQtSettingsStore>();
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QDockWidget* terminal = frame->Docks().Dock(cmd::ID_VIEW_TERMINAL);
        QVERIFY(terminal->isFloating());
        QTRY_COMPARE(terminal->size(), QSize(510, 290));
        // Restored above its main window, not as a window of its own.
        QTRY_VERIFY(terminal->windowHandle() && terminal->windowHandle()->transientParent() == frame->windowHandle());
        QVERIFY(Closed(*frame));
        // A floating pane goes with its window, so closing the window ends the program.
        QVERIFY(!terminal->isVisible());
    }

    void malformedSavedLayoutGivesTheDefault()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        QSettings& raw = m_pStore->Settings();
        raw.setValue(QStringLiteral("MainFrame/State"), QByteArray("not a layout at all"));
        raw.setValue(QStringLiteral("MainFrame/Geometry"), QByteArray("\x01\x02garbage"));
        raw.sync();
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QCOMPARE(frame->size(), QSize(700, 480));
        QCOMPARE(frame->dockWidgetArea(frame->Docks().Dock(cmd::ID_VIEW_BROWSER)), Qt::LeftDockWidgetArea);
        QCOMPARE(frame->dockWidgetArea(frame->Docks().Dock(cmd::ID_VIEW_PROGRAM)), Qt::TopDockWidgetArea);
        QVERIFY(frame->Docks().Dock(cmd::ID_VIEW_OUTPUT)->isVisible());
        QVERIFY(Closed(*frame));
    }

    void rightClickOnThePortPaneOpensTheLineSettings()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QString shown;
        // Choose 115200 in the pop-up's "&Baud Rate" once it is open.
        QTimer::singleShot(200, this, [&] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!popup)
                return;
            shown = popup->title();
            for (QAction* sub : popup->actions()) {
                if (sub->menu() && sub->text() == QStringLiteral("&Baud Rate")) {
                    for (QAction* item : sub->menu()->actions())
                        if (item->text() == QStringLiteral("115200"))
                            item->trigger();
                }
            }
            popup->close();
        });
        QTest::mouseClick(&frame->PortPane(), Qt::RightButton);
        QTRY_COMPARE(shown, QStringLiteral("_CONFIG_"));
        QTRY_VERIFY(frame->PortPane().text().startsWith(QString::fromStdString(far.SlavePath() + ": 115200 8N1")));
        QCOMPARE(m_pStore->ReadString("Baud", ""), std::string("115200"));
        QVERIFY(Closed(*frame));
    }

    void storedFontRecordsAreUsedAndOtherSizesIgnored()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        m_pStore->WriteBytes("TerminalFont", MakeLogFont(CFontRecord{-15, 700, true, "DejaVu Sans Mono"}));
        std::vector<std::uint8_t> tooShort = MakeLogFont(CFontRecord{-30, 700, true, "DejaVu Serif"});
        tooShort.pop_back();
        m_pStore->WriteBytes("OutputFont", tooShort);
        auto frame = MakeFrame();
        QVERIFY(frame);
        const QFont terminal = frame->TerminalFont();
        QCOMPARE(terminal.family(), QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(terminal.pixelSize(), 15);
        QCOMPARE(terminal.weight(), QFont::Bold);
        QVERIFY(terminal.italic());
        QCOMPARE(frame->Terminal().font().pixelSize(), 15);
        // The 59-byte output record is ignored: the default, 8 points and fixed pitch.
        const QFont output = frame->OutputFont();
        QCOMPARE(output.pointSize(), 8);
        QVERIFY(!output.italic());
        QVERIFY(QFontInfo(output).fixedPitch());
        QVERIFY(Closed(*frame));
        // Fonts are read, never written.
        QCOMPARE(m_pStore->ReadBytes("OutputFont")->size(), std::size_t(59));
    }

    void portHeldByAnotherProgramIsReportedAndTheWindowStillOpens()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        CPortHolder holder(far.SlavePath());
        QVERIFY(holder.Held());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QVERIFY(!frame->Serial().IsOpen());
        const auto boxes = m_pPrompt->Boxes();
        QCOMPARE(boxes.size(), std::size_t(1));
        const std::string prefix = "Failed to open " + far.SlavePath() + "\r\n\r\n";
        QVERIFY2(boxes[0].m_strText.rfind(prefix, 0) == 0, boxes[0].m_strText.c_str());
        QVERIFY2(boxes[0].m_strText.size() > prefix.size(), "the system's text is missing");

        // Hiding and showing the terminal retries the port: still held, then free.
        frame->ExecuteCommand(cmd::ID_VIEW_TERMINAL);
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(1));
        frame->ExecuteCommand(cmd::ID_VIEW_TERMINAL);
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(2));
        QVERIFY(m_pPrompt->Boxes()[1].m_strText.rfind("Port open error!\r\n\r\n", 0) == 0);
        QVERIFY(!frame->Serial().IsOpen());
        holder.Release();
        frame->ExecuteCommand(cmd::ID_VIEW_TERMINAL);
        frame->ExecuteCommand(cmd::ID_VIEW_TERMINAL);
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(2));
        QVERIFY(frame->Serial().IsOpen());
        // Hiding the terminal leaves the port open.
        frame->ExecuteCommand(cmd::ID_VIEW_TERMINAL);
        QVERIFY(frame->Serial().IsOpen());
        QVERIFY(Closed(*frame));
        QVERIFY(!frame->Serial().IsOpen());
    }

    void portSetupOkOpensAPortThatFailedAndThePaneSaysWhetherItIsOpen()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto holder = std::make_unique<CPortHolder>(far.SlavePath());
        QVERIFY(holder->Held());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(1));
        const QString paneText = QString::fromStdString(far.SlavePath() + ": 19200 8N1 None");
        auto paneShows = [&](bool open) {
            frame->UpdateCommandUI();
            return frame->PortPane().IsPortOpen() == open &&
                   frame->PortPane().text() == (open ? paneText : paneText + QStringLiteral(" (closed)")) &&
                   frame->Action(cmd::ID_TOOLS_OPEN_PORT)->isEnabled() == !open &&
                   frame->Action(cmd::ID_TOOLS_CLOSE_PORT)->isEnabled() == open;
        };
        QVERIFY2(paneShows(false), qPrintable(frame->PortPane().text()));
        // The Tools menu holds both commands after Port Setup.
        const std::span<const int> tools = MainMenuLayout()[2].m_ids;
        QVERIFY(std::find(tools.begin(), tools.end(), cmd::ID_TOOLS_OPEN_PORT) != tools.end());
        QVERIFY(std::find(tools.begin(), tools.end(), cmd::ID_TOOLS_CLOSE_PORT) != tools.end());

        // OK while the port is still held: tried again, with the doctor's box.
        auto confirmPortSetup = [] {
            QTimer::singleShot(0, [] {
                auto* dialog = qobject_cast<CPortSetupDlg*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->accept();
            });
        };
        confirmPortSetup();
        QVERIFY(frame->ExecuteCommand(cmd::ID_TOOLS_PORT_SETUP));
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(2));
        const std::string busy = m_pPrompt->Boxes()[1].m_strText;
        QVERIFY2(busy.rfind("Port open error!\r\n\r\n" + far.SlavePath() + ": ", 0) == 0, busy.c_str());
        // The system's reason, then the doctor's advice below it.
        const std::size_t reason = busy.find("busy");
        QVERIFY2(reason != std::string::npos && busy.find('\n', reason) != std::string::npos, busy.c_str());
        QVERIFY(paneShows(false));

        // Free now: OK opens it, and typed keys reach the board.
        holder.reset();
        confirmPortSetup();
        QVERIFY(frame->ExecuteCommand(cmd::ID_TOOLS_PORT_SETUP));
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(2));
        QVERIFY(frame->Serial().IsOpen());
        QVERIFY2(paneShows(true), qPrintable(frame->PortPane().text()));
        QTest::keyClick(&frame->Terminal(), Qt::Key_X);
        std::string wire;
        QTRY_VERIFY((wire += far.ReadAvailable()) == "x");

        // Close Port and, from the port pane's pop-up, Open Port.
        QVERIFY(frame->ExecuteCommand(cmd::ID_TOOLS_CLOSE_PORT));
        QVERIFY(!frame->Serial().IsOpen());
        QVERIFY(paneShows(false));
        QStringList items;
        QTimer::singleShot(200, this, [&] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!popup)
                return;
            for (QAction* item : popup->actions())
                items << item->text();
            frame->Action(cmd::ID_TOOLS_OPEN_PORT)->trigger();
            popup->close();
        });
        QTest::mouseClick(&frame->PortPane(), Qt::RightButton);
        QTRY_VERIFY(!items.isEmpty());
        QVERIFY2(items.contains(frame->Action(cmd::ID_TOOLS_OPEN_PORT)->text()), qPrintable(items.join(',')));
        QVERIFY(items.contains(frame->Action(cmd::ID_TOOLS_CLOSE_PORT)->text()));
        QTRY_VERIFY(frame->Serial().IsOpen());
        QVERIFY(paneShows(true));
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(2));
        QVERIFY(Closed(*frame));
    }

    void boardTextAppearsInTheTerminal()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->Serial().IsOpen());
        CTerminalCtrl& terminal = frame->Terminal();
        // A line end split over two blocks, a backspace, a bell and a byte above 0x7F.
        QVERIFY(far.Write("abc\r"));
        QTRY_COMPARE(terminal.PlainText(), QStringLiteral("abc"));
        QVERIFY(far.Write("\nde\bf\x07g\x81h"));
        QTRY_COMPARE(terminal.PlainText(), QStringLiteral("abc\ndfgh"));
        // Backspaces past the start change nothing more than there is.
        QVERIFY(far.Write("\b\b\b\b\b\b\b\b\b\b"));
        QTRY_COMPARE(terminal.PlainText(), QString());
        QVERIFY(far.Write("\bok"));
        QTRY_COMPARE(terminal.PlainText(), QStringLiteral("ok"));
        QVERIFY(Closed(*frame));
    }

    void aLineThatGoesAwayIsReportedOnceAndClosed()
    {
        auto far = std::make_unique<CFarEnd>();
        const std::string path = far->SlavePath();
        SetPortName(path);
        // With reconnecting off the loss is told in a box, as it always was.
        m_pStore->WriteInt("Reconnect", 0);
        m_pStore->Sync();
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->Serial().IsOpen());
        far.reset(); // the other side hangs up, as a pulled adapter does
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Serial().IsOpen(), 5000);
        QTRY_COMPARE(m_pPrompt->Boxes().size(), std::size_t(1));
        QVERIFY2(m_pPrompt->Texts()[0].rfind("Lost the connection to " + path + "\r\n\r\n", 0) == 0,
                 m_pPrompt->Texts()[0].c_str());
        QTest::qWait(1200);
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(1));
        QVERIFY(Closed(*frame));
    }

    void aLineThatGoesAwayIsToldInTheTerminalAndTheStatusBar()
    {
        auto far = std::make_unique<CFarEnd>();
        const std::string path = far->SlavePath();
        SetPortName(path);
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->Serial().IsOpen());
        far.reset();
        const QString line = QString::fromStdString("--- " + path + " disconnected, waiting for it ---");
        QTRY_VERIFY_WITH_TIMEOUT(frame->Terminal().PlainText().contains(line), 5000);
        QVERIFY(!frame->Serial().IsOpen());
        QVERIFY(frame->Session().IsWaitingForPort());
        auto* message = frame->findChild<QLabel*>(QStringLiteral("MessagePane"));
        QVERIFY(message);
        QCOMPARE(message->text(), QString::fromStdString(path + " disconnected, waiting for it"));
        QVERIFY(m_pPrompt->Boxes().empty());
        QCOMPARE(frame->Terminal().PlainText().count(line), 1);
        QVERIFY(Closed(*frame));
    }

    void aLongFastStreamArrivesWholeAndInOrder()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        // Far more than one notification reads at a time, written as fast as the line takes it.
        std::string text;
        for (int line = 0; text.size() < 300 * 1024; ++line)
            text += "line " + std::to_string(line) + " " + std::string(90, char('a' + line % 26)) + "\n";
        std::thread writer([&] {
            for (std::size_t at = 0; at < text.size(); at += 4096)
                if (!far.Write(text.substr(at, 4096)))
                    return;
        });
        const QString expected = QString::fromLatin1(text.data(), qsizetype(text.size()));
        QTRY_VERIFY_WITH_TIMEOUT(frame->Terminal().PlainText().size() >= expected.size(), 20000);
        writer.join();
        const QString shown = frame->Terminal().PlainText();
        qsizetype diff = 0;
        while (diff < shown.size() && diff < expected.size() && shown[diff] == expected[diff])
            ++diff;
        QVERIFY2(shown == expected, qPrintable(QStringLiteral("differs at %1 of %2/%3: [%4] vs [%5]")
                                                   .arg(diff).arg(shown.size()).arg(expected.size())
                                                   .arg(shown.mid(qMax<qsizetype>(0, diff - 20), 60))
                                                   .arg(expected.mid(qMax<qsizetype>(0, diff - 20), 60))));
        QVERIFY(Closed(*frame));
    }

    void typedKeysGoToTheBoardAndAreNotShown()
    {
        CFarEnd far;
        SetPortName(far.SlavePath());
        auto frame = MakeFrame();
        QVERIFY(frame);
        const std::string file = WriteFile("keys.hex", EncodeIntelHex({1}, 0));
        QCOMPARE(frame->View().AddFile(file), 0);
        frame->View().selectRow(0);
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        CTerminalCtrl& terminal = frame->Terminal();
        terminal.setFocus();
        QVERIFY(frame->Serial().IsOpen());

        QTest::keyClicks(&terminal, QStringLiteral("ab"));
        QTest::keyClick(&terminal, Qt::Key_Backspace);
        QTest::keyClick(&terminal, Qt::Key_Return);
        QTest::keyClick(&terminal, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(&terminal, Qt::Key_Delete);
        QTest::keyClick(&terminal, Qt::Key_Tab);
        QTest::keyClick(&terminal, Qt::Key_Backspace);
        QTest::keyClick(&terminal, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClick(&terminal, Qt::Key_Escape);
        std::string wire;
        const std::string expected = std::string("ab\x08\x0D\x16\x09\x08\x0A\x1B");
        QTRY_VERIFY_WITH_TIMEOUT((wire += far.ReadAvailable()) == expected, 5000);
        QCOMPARE(terminal.PlainText(), QString());
        // Delete stayed in the terminal: the file list's Remove command did not run.
        QCOMPARE(frame->View().model()->rowCount(), 1);

        // With the port closed nothing goes anywhere, and Delete reaches the frame's command.
        frame->Serial().Close();
        terminal.setFocus();
        QTest::keyClicks(&terminal, QStringLiteral("xy"));
        QTest::keyClick(&terminal, Qt::Key_Delete);
        QCOMPARE(frame->View().model()->rowCount(), 0);
        QCOMPARE(terminal.PlainText(), QString());
        QTest::qWait(50);
        QCOMPARE(far.ReadAvailable(), std::string());
        QVERIFY(Closed(*frame));
    }

    void downloadStepsBothBarsAndLeavesThemIdle()
    {
        CBoardSimulator sim;
        QVERIFY(!sim.Start());
        SetPortName(sim.SlavePath());
        // Large enough for a hundred steps within a few milliseconds on this unpaced line.
        std::vector<std::uint8_t> data(3000);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 7);
        const std::string hex = EncodeIntelHex(data, 0);
        const std::string path = WriteFile("small.hex", hex);
        const int n = static_cast<int>(hex.size());

        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->Serial().IsOpen());
        struct CSample {
            int status, program, upper;
            bool text;
            std::chrono::steady_clock::time_point at;
        };
        std::vector<CSample> samples;
        auto* message = frame->findChild<QLabel*>(QStringLiteral("MessagePane"));
        QVERIFY(message);
        QStringList messages;
        connect(frame.get(), &CMainFrame::downloadProgress, this, [&](int s, int p, int u, bool t) {
            samples.push_back({s, p, u, t, std::chrono::steady_clock::now()});
            messages << message->text();
        });
        QString figuresAtBox;
        QString messageAtBox;
        m_pPrompt->SetOnBox([&](const std::string&) {
            figuresAtBox = frame->ProgramDlg().Figures().text();
            messageAtBox = message->text();
        });
        frame->StartDownload(path);
        QVERIFY(frame->IsDownloadRunning());
        frame->StartDownload(path); // dropped while one runs
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 20000);
        m_pPrompt->SetOnBox(nullptr);
        QCOMPARE(m_pPrompt->Texts(), std::vector<std::string>{"Programming has been completed!"});
        QVERIFY(sim.WaitForDownloads(1, std::chrono::seconds(1)));

        // Begin, the bars moving forward together, full before the box, idle after it. While the
        // job runs they move at most every kBarsMs, however fast its steps come; only the move
        // to where the job ended may come sooner.
        QVERIFY(samples.size() >= 3);
        QCOMPARE(samples.front().upper, n + 2);
        QCOMPARE(samples.front().status, 0);
        QVERIFY(samples.front().text);
        const std::size_t full = samples.size() - 2;
        for (std::size_t i = 1; i <= full; ++i) {
            QVERIFY(samples[i].status > samples[i - 1].status);
            QCOMPARE(samples[i].program, samples[i].status);
            QCOMPARE(samples[i].upper, n + 2);
            if (i < full)
                QVERIFY(samples[i].at - samples[i - 1].at >= std::chrono::milliseconds(CMainFrame::kBarsMs));
        }
        QCOMPARE(samples[full].status, n + 2);
        QCOMPARE(samples.back().status, 0);
        QCOMPARE(samples.back().program, 0);
        QVERIFY(!samples.back().text);
        // The status bar names the file and its figures while it goes, and is ready again after.
        QVERIFY2(messages.front().startsWith(QStringLiteral("Programming small.hex: 0 of %1 bytes, ").arg(n)),
                 qPrintable(messages.front()));
        QCOMPARE(message->text(), QStringLiteral("Ready"));
        // After the box, the summary in the output window and the program window.
        const QString summary = QStringLiteral("%1: %2 bytes, addresses 0000-0BB7, ").arg(QString::fromStdString(path)).arg(n);
        // The output window draws what it is given on its next turn of the event loop.
        QTRY_VERIFY2(frame->Output().PlainText().contains(summary), qPrintable(frame->Output().PlainText()));
        QVERIFY(frame->ProgramDlg().Figures().text().startsWith(summary));
        // The box shows over the final figures, not over a count still running: every byte, the
        // rate of the whole run, no time left.
        QVERIFY2(figuresAtBox.startsWith(summary), qPrintable(figuresAtBox));
        QVERIFY2(messageAtBox.startsWith(QStringLiteral("Programming small.hex: %1 of %1 bytes, ").arg(n)) &&
                     messageAtBox.contains(QStringLiteral(" elapsed")) && !messageAtBox.contains(QStringLiteral("left")),
                 qPrintable(messageAtBox));
        // Before the first byte no rate is shown as if measured.
        QVERIFY2(messages.front().startsWith(QStringLiteral("Programming small.hex: 0 of %1 bytes, \u2014 bytes/s").arg(n)),
                 qPrintable(messages.front()));
        // The bytes sent count the download's: the file and the two commands.
        const CBoardCommandValues commands = m_commands.Get();
        QCOMPARE(frame->TerminalIo().Counters().Sent(),
                 std::uint64_t(n) + commands.ProgramCommand().size() + commands.RunCommand().size());
        for (CPercentProgressCtrl* bar : {&frame->StatusProgress(), &frame->ProgramDlg().Progress()}) {
            QCOMPARE(bar->GetPos(), 0);
            QVERIFY(!bar->IsTextShown());
            QVERIFY(bar->BkColour() == CLR_FACE_COLOUR);
        }
        QVERIFY(Closed(*frame));
    }

    void aDownloadOpensAClosedPortAndLeavesItOpen()
    {
        CBoardSimulator sim;
        QVERIFY(!sim.Start());
        SetPortName(sim.SlavePath());
        const std::string path = WriteFile("reopen.hex", EncodeIntelHex({1, 2, 3, 4, 5}, 0));
        std::unique_ptr<CMainFrame> frame;
        {
            CPortHolder holder(sim.SlavePath());
            QVERIFY(holder.Held());
            frame = MakeFrame();
            QVERIFY(frame);
            QVERIFY(!frame->Serial().IsOpen());
        }
        frame->StartDownload(path);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 10000);
        const auto texts = m_pPrompt->Texts();
        QCOMPARE(texts.size(), std::size_t(2));
        QVERIFY(texts[0].rfind("Failed to open ", 0) == 0);
        QCOMPARE(texts[1], std::string("Programming has been completed!"));
        QVERIFY(frame->Serial().IsOpen());
        // The board's answers reached the terminal through the port the job opened.
        QVERIFY(frame->Terminal().PlainText().contains(QStringLiteral("Intel format HEX file sending")));
        QVERIFY(Closed(*frame));
    }

    void portSetupDuringADownloadLeavesThePortToTheJobAndAppliesAtItsEnd()
    {
        CBoardSimOptions options;
        // A paced line, so the job still runs when the dialog is confirmed.
        options.m_line.m_nBaud = 9600;
        CBoardSimulator sim(options);
        QVERIFY(!sim.Start());
        SetPortName(sim.SlavePath());
        m_pStore->WriteString("Baud", "9600");
        std::vector<std::uint8_t> data(300);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 11);
        const std::string path = WriteFile("setup.hex", EncodeIntelHex(data, 0));
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->Serial().IsOpen());
        frame->StartDownload(path);
        QVERIFY(frame->IsDownloadRunning());

        bool confirmed = false;
        QTimer::singleShot(0, [&confirmed] {
            auto* dialog = qobject_cast<CPortSetupDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QComboBox* baud = dialog->Combo(CPortSetupDlg::IDC_BAUD);
            const int index = baud->findText(QStringLiteral("57600"));
            QVERIFY(index >= 0);
            baud->setCurrentIndex(index);
            emit baud->activated(index);
            dialog->accept();
            confirmed = true;
        });
        QVERIFY(frame->ExecuteCommand(cmd::ID_TOOLS_PORT_SETUP));
        QVERIFY(confirmed);
        // The job keeps its port and line until it ends.
        QVERIFY(frame->IsDownloadRunning());
        QVERIFY(frame->Serial().IsOpen());
        QCOMPARE(frame->Serial().GetBaudRate(), 9600);

        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 20000);
        QCOMPARE(m_pPrompt->Texts(), std::vector<std::string>{"Programming has been completed!"});
        QVERIFY(sim.WaitForDownloads(1, std::chrono::seconds(1)));
        QVERIFY(sim.Image() == data);
        // Then the new settings apply to the open port.
        QVERIFY(frame->Serial().IsOpen());
        QCOMPARE(frame->Serial().GetBaudRate(), 57600);
        QVERIFY(frame->PortPane().text().contains(QStringLiteral("57600")));
        QVERIFY(Closed(*frame));
    }

    void boardErrorShowsTheProgrammingErrorBox()
    {
        CBoardSimOptions options;
        options.m_monitor.m_nErrorAtRecord = 1;
        // A paced line, so the error arrives while the file is still being sent.
        options.m_line.m_nBaud = 9600;
        CBoardSimulator sim(options);
        QVERIFY(!sim.Start());
        SetPortName(sim.SlavePath());
        // Larger than the pseudo-terminal's buffer, so the job is still writing when it comes.
        std::vector<std::uint8_t> data(3000, 0x5A);
        const std::string path = WriteFile("error.hex", EncodeIntelHex(data, 0));
        auto frame = MakeFrame();
        QVERIFY(frame);
        frame->StartDownload(path);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 20000);
        const auto boxes = m_pPrompt->Boxes();
        QVERIFY(!boxes.empty());
        QVERIFY2(boxes.back().m_strText == "An error occured while programming.\r\nCheck out the terminal window.",
                 qPrintable(AllTexts()));
        QCOMPARE(boxes.back().m_strCaption, std::string("Quillorex Programmer"));
        QCOMPARE(frame->StatusProgress().GetPos(), 0);
        QVERIFY(Closed(*frame));
    }

    void simulateOptionTalksToTheBuiltInBoardAndStoresNothingAboutIt()
    {
        SetPortName("COM7");
        const std::string path = WriteFile("sim.hex", EncodeIntelHex({9, 8, 7, 6}, 0));
        auto frame = MakeFrame({QStringLiteral("--simulate")});
        QVERIFY(frame);
        QVERIFY(m_pPrompt->Boxes().empty());
        QVERIFY(frame->Serial().IsOpen());
        QVERIFY(frame->PortName() != "COM7");
        QVERIFY(frame->PortPane().text().startsWith(QString::fromStdString(frame->PortName())));
        // Choosing another port would store the simulator's line: not offered in this run.
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TOOLS_PORT_SETUP)->isEnabled());
        // The board answers a carriage return with its prompt.
        const char cr = '\r';
        frame->Serial().Write(&cr, 1);
        QTRY_VERIFY(frame->Terminal().PlainText().contains(QStringLiteral("quilLOREX>")));
        frame->StartDownload(path);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 10000);
        QCOMPARE(m_pPrompt->Texts(), std::vector<std::string>{"Programming has been completed!"});
        QVERIFY(Closed(*frame));
        QCOMPARE(m_pStore->ReadString("Port", ""), std::string("COM7"));
    }

    void closingDuringADownloadWaitsForItsEnd()
    {
        // A slow line: the file would take many seconds.
        CBoardSimOptions options;
        options.m_line.m_nBaud = 9600;
        CBoardSimulator sim(options);
        QVERIFY(!sim.Start());
        SetPortName(sim.SlavePath());
        std::vector<std::uint8_t> data(3000, 0x33);
        const std::string path = WriteFile("large.hex", EncodeIntelHex(data, 0));
        auto frame = MakeFrame();
        QVERIFY(frame);
        int steps = 0;
        connect(frame.get(), &CMainFrame::downloadProgress, this, [&](int s, int, int, bool) { steps = s; });
        bool closingSeen = false;
        connect(frame.get(), &CMainFrame::closing, this, [&] { closingSeen = true; });
        frame->StartDownload(path);
        QTRY_VERIFY2_WITH_TIMEOUT(steps >= 5, qPrintable(AllTexts()), 10000);

        QElapsedTimer timer;
        timer.start();
        QVERIFY(!frame->close()); // held back until the job has ended
        QVERIFY(frame->isVisible());
        QVERIFY(frame->Serial().IsOpen());
        QTRY_VERIFY_WITH_TIMEOUT(!frame->isVisible(), 5000);
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(closingSeen);
        QVERIFY(!frame->IsDownloadRunning());
        QVERIFY(!frame->Serial().IsOpen());
        // A stopped job shows no box of its own.
        for (const auto& text : m_pPrompt->Texts())
            QVERIFY2(text.find("Programming has been completed!") == std::string::npos, text.c_str());
        frame.reset();
    }

    void stopProgrammingEndsTheDownloadWithoutABox()
    {
        // Through the command, then through Escape in the program window; each with a board of
        // its own, as a stopped board is still in the middle of a record.
        for (bool byKey : {false, true}) {
            CBoardSimOptions options;
            options.m_line.m_nBaud = 9600;
            CBoardSimulator sim(options);
            QVERIFY(!sim.Start());
            SetPortName(sim.SlavePath());
            // More than the pseudo-terminal holds, so the rate is measured from the writes.
            const std::string path = WriteFile("slow.hex", EncodeIntelHex(std::vector<std::uint8_t>(9000, 0x22), 0));
            auto frame = MakeFrame();
            QVERIFY(frame);
            QAction* stop = frame->Action(cmd::ID_TOOLS_STOP_PROGRAMMING);
            QVERIFY(stop);
            QVERIFY(!stop->isEnabled());
            int steps = 0;
            connect(frame.get(), &CMainFrame::downloadProgress, this, [&](int s, int, int, bool) { steps = s; });
            auto* message = frame->findChild<QLabel*>(QStringLiteral("MessagePane"));
            QVERIFY(message);

            frame->StartDownload(path);
            QTRY_VERIFY2_WITH_TIMEOUT(steps >= 5 && stop->isEnabled(), qPrintable(AllTexts()), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(frame->ProgramDlg().Figures().text().contains(QStringLiteral(" left")), 5000);
            QVERIFY(frame->ProgramDlg().Figures().text().startsWith(QStringLiteral("slow.hex: ")));
            QVERIFY(message->text().startsWith(QStringLiteral("Programming slow.hex: ")));
            if (byKey) {
                frame->ProgramDlg().ProgramButton().setFocus();
                QTest::keyClick(&frame->ProgramDlg().ProgramButton(), Qt::Key_Escape);
            } else {
                stop->trigger();
            }
            QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 3000);
            QCOMPARE(message->text(), QStringLiteral("Programming slow.hex was stopped."));
            QTRY_VERIFY(!stop->isEnabled());
            QVERIFY2(m_pPrompt->Texts().empty(), qPrintable(AllTexts()));
            QVERIFY(frame->Serial().IsOpen());
            QVERIFY(Closed(*frame));
        }
    }

    void closingWhileTheBoardStopsReadingStillEnds()
    {
        // The board stops taking bytes (a held-off handshake): the job sits in a write whose
        // time-out is long at this rate. Closing wakes it instead of waiting for the time-out.
        const std::unique_ptr<CBoardSimulator> sim = StartStallingBoard();
        QVERIFY(sim);
        const std::string path = WriteFile("stall.hex", EncodeIntelHex(std::vector<std::uint8_t>(8000, 0x44), 0));
        auto frame = MakeFrame();
        QVERIFY(frame);
        int steps = 0;
        connect(frame.get(), &CMainFrame::downloadProgress, this, [&](int s, int, int, bool) { steps = s; });
        frame->StartDownload(path);
        QTRY_VERIFY2_WITH_TIMEOUT(steps >= 5, qPrintable(AllTexts()), 10000);
        // Closed once the job sits in a write that takes no byte.
        QTRY_VERIFY_WITH_TIMEOUT(frame->ProgramDlg().Figures().text().contains(QStringLiteral("the line is stalled")), 20000);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!frame->close());
        QTRY_VERIFY_WITH_TIMEOUT(!frame->isVisible(), 60000);
        // Far below the write time-out at 1200 baud (more than 30 s).
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!frame->Serial().IsOpen());
        for (const auto& text : m_pPrompt->Texts())
            QVERIFY2(text.find("Port write error!") == std::string::npos, text.c_str());
        frame.reset();
    }

    void aLineThatTakesNoByteIsShownAsStalled()
    {
        // The board stops reading (to the job a held-off handshake looks the same): once the
        // pseudo-terminal is full the job sits in a write whose time-out is long at 1200 baud.
        const std::unique_ptr<CBoardSimulator> sim = StartStallingBoard();
        QVERIFY(sim);
        // Far more than the pseudo-terminal holds.
        const std::string path = WriteFile("stalled.hex", EncodeIntelHex(std::vector<std::uint8_t>(20000, 0x55), 0));
        auto frame = MakeFrame();
        QVERIFY(frame);
        auto* message = frame->findChild<QLabel*>(QStringLiteral("MessagePane"));
        QVERIFY(message);
        QLabel& figures = frame->ProgramDlg().Figures();
        frame->StartDownload(path);
        QVERIFY(frame->IsDownloadRunning());
        const QString stalled = QStringLiteral("the line is stalled (handshake held off or the board not reading)");
        QTRY_VERIFY2_WITH_TIMEOUT(figures.text().contains(stalled), qPrintable(figures.text() + AllTexts()), 20000);
        QVERIFY2(figures.text().startsWith(QStringLiteral("stalled.hex: ")), qPrintable(figures.text()));
        QTRY_VERIFY2(message->text().startsWith(QStringLiteral("Programming stalled.hex: ")) && message->text().contains(stalled),
                     qPrintable(message->text()));
        // The bars stay where the line stopped.
        QVERIFY(frame->StatusProgress().GetPos() > 0);
        QVERIFY(frame->StatusProgress().GetPos() < frame->StatusProgress().GetRange(false));
        QVERIFY(frame->IsDownloadRunning());
        QVERIFY(m_pPrompt->Texts().empty());

        // Stop ends it without a box, and the port stays open for the terminal.
        QVERIFY(frame->ExecuteCommand(cmd::ID_TOOLS_STOP_PROGRAMMING));
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 20000);
        QCOMPARE(message->text(), QStringLiteral("Programming stalled.hex was stopped."));
        QVERIFY2(m_pPrompt->Texts().empty(), qPrintable(AllTexts()));
        QVERIFY(frame->Serial().IsOpen());
        QVERIFY(Closed(*frame));
    }

    void destroyingTheFrameDuringADownloadJoinsTheJob()
    {
        CBoardSimOptions options;
        options.m_line.m_nBaud = 9600;
        CBoardSimulator sim(options);
        QVERIFY(!sim.Start());
        SetPortName(sim.SlavePath());
        const std::string path = WriteFile("large2.hex", EncodeIntelHex(std::vector<std::uint8_t>(3000, 0x11), 0));
        auto frame = MakeFrame();
        QVERIFY(frame);
        int steps = 0;
        connect(frame.get(), &CMainFrame::downloadProgress, this, [&](int s, int, int, bool) { steps = s; });
        frame->StartDownload(path);
        QTRY_VERIFY2_WITH_TIMEOUT(steps >= 5, qPrintable(AllTexts()), 10000);
        frame.reset();
    }
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
