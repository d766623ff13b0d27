// The terminal controller without a main window: a pseudo-terminal is the port (the test holds
// its far end and reads nothing, so a large send stays on its way), a status bar and a real
// settings file stand in for the window's, and the window's answers are plain flags.

#include "base/commands.h"
#include "base/qt_message_sink.h"
#include "base/qt_settings_store.h"
#include "serial/serial_port.h"
#include "terminal/raw_sender.h"
#include "terminal/terminal_controller.h"
#include "terminal/terminal_ctrl.h"
#include "terminal/terminal_log.h"
#include "ui/status_panes.h"
#include "pty_pair.h"
#include "recording_prompt.h"
#include "temp_dir.h"

#include <QLabel>
#include <QStatusBar>
#include <QtTest>

#include <cstdint>
#include <memory>

class TerminalControllerTest : public QObject {
    Q_OBJECT

private:
    struct CWindow {
        QStatusBar m_bar;
        QLabel* m_message = new QLabel(&m_bar);
        CStatusPanes* m_panes = new CStatusPanes(m_bar, *m_message);
        CTerminalCtrl m_terminal;
        CQtSettingsStore m_store;
        CRecordingPrompt m_prompt;
        bool m_bDownload = false;
        int m_nReleased = 0;
        std::unique_ptr<CTerminalController> m_pController;
        CQtMessageSink m_sink{[this](const CPostedEvent& message) { m_pController->HandleMessage(message); }};

        CWindow()
        {
            CTerminalController::CHost host;
            host.m_isDownloadRunning = [this] { return m_bDownload; };
            host.m_lineRate = [] { return 0.0; };
            host.m_portName = [] { return std::string("/dev/ttyS0"); };
            host.m_requestCommandUpdate = [] {};
            host.m_lineReleased = [this] { ++m_nReleased; };
            m_pController = std::make_unique<CTerminalController>(m_terminal, m_bar, *m_message, *m_panes, m_store,
                                                                  m_sink, m_prompt, std::move(host));
        }
        ~CWindow() { m_pController.reset(); }

        CCmdUI State(int id)
        {
            CCmdUI ui;
            ui.m_nID = id;
            if (!m_pController->OnUpdateCommand(ui))
                ui.Enable(false);
            return ui;
        }
    };

    static QString Enabled(CWindow& window)
    {
        QString states;
        for (int id : {cmd::ID_TERMINAL_SEND_FILE, cmd::ID_TERMINAL_PASTE, cmd::ID_TERMINAL_STOP_SEND, cmd::ID_TERMINAL_DTR,
                       cmd::ID_TERMINAL_LOCAL_ECHO})
            states += window.State(id).m_bEnabled ? QLatin1Char('1') : QLatin1Char('0');
        return states;
    }

private slots:
    // The sending commands follow the port, a running send and a running download; a send that
    // ends hands the line back to the window only when no download holds it.
    void commandsFollowThePortASendAndADownload()
    {
        CTempDir files;
        CPtyPair pty;
        CSerialPort port;
        CWindow window;
        CTerminalController& controller = *window.m_pController;
        const std::string content(4 << 20, 'x');
        const std::string big = files.Write("big.bin", content);

        // Columns: Send File, Paste, Stop Send, DTR, Local Echo.
        controller.SetPortName(&port);
        QCOMPARE(Enabled(window), QStringLiteral("00001"));
        QVERIFY(!controller.SendFile(big));
        QCOMPARE(window.m_bar.currentMessage(), QStringLiteral("The port is not open."));
        // Opened for overlapped use, as the window's listened port is.
        QVERIFY(!port.Open(pty.SlavePath(), 0, 0, true));
        QCOMPARE(Enabled(window), QStringLiteral("11011"));

        struct Row {
            bool m_bDownloadAtEnd;
            int m_nReleased;
        } const rows[] = {{true, 0}, {false, 1}};
        for (const Row& row : rows) {
            window.m_nReleased = 0;
            window.m_bDownload = false;
            QVERIFY(controller.SendFile(big));
            QVERIFY(controller.IsSending());
            QCOMPARE(Enabled(window), QStringLiteral("00111"));
            QVERIFY(!controller.SendFile(big));
            QCOMPARE(window.m_bar.currentMessage(), QStringLiteral("A send to the board is running."));

            window.m_bDownload = row.m_bDownloadAtEnd;
            QVERIFY(controller.OnCommand(cmd::ID_TERMINAL_STOP_SEND));
            QTRY_VERIFY(!controller.IsSending());
            QCOMPARE(window.m_nReleased, row.m_nReleased);
            const std::uint64_t sent = controller.Sender().Sent();
            QVERIFY(sent < content.size());
            QCOMPARE(window.m_message->text(),
                     QStringLiteral("Sending big.bin was stopped after %1 of %2 bytes.").arg(sent).arg(content.size()));
            QCOMPARE(controller.Counters().Sent(), sent);
            pty.ReceiveAvailable();
            window.m_terminal.Clear();
        }

        // A download owns the line: nothing else is sent, the port stays usable for the lines.
        window.m_bDownload = true;
        QCOMPARE(Enabled(window), QStringLiteral("00011"));
        QVERIFY(!controller.SendFile(big));
        QCOMPARE(window.m_bar.currentMessage(), QStringLiteral("Send File waits for the download to end."));
        window.m_bDownload = false;
        controller.ReleasePort();
        QCOMPARE(Enabled(window), QStringLiteral("00001"));
        QVERIFY(window.m_prompt.Boxes().empty());
    }

    // Once the window closes, a log that fails afterwards stops without a box.
    void aLogFailingAfterTheWindowClosedShowsNoBox()
    {
        CWindow window;
        CTerminalController& controller = *window.m_pController;
        QVERIFY(controller.StartLog("/dev/full"));
        QVERIFY(controller.LogPane().isVisibleTo(window.m_panes));
        QVERIFY(window.State(cmd::ID_TERMINAL_LOG).m_bChecked);
        const std::uint8_t data[] = {'b', 'o', 'a', 'r', 'd'};
        controller.OnReceived(data, sizeof data);
        controller.OnClosing();
        QTRY_VERIFY(!controller.Log().IsOn());
        QVERIFY(!controller.LogPane().isVisibleTo(window.m_panes));
        QVERIFY(!window.State(cmd::ID_TERMINAL_LOG).m_bChecked);
        QVERIFY(window.m_prompt.Boxes().empty());
    }
};

QTEST_MAIN(TerminalControllerTest)
#include "terminal_controller_test.moc"
