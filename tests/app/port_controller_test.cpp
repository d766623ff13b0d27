// The port controller on its own, over a session on real pseudo-terminals: Open Port and Close
// Port follow the port and whatever holds the line, a simulated run offers no Port Setup, and a
// device that goes away is told (a box, or with reconnecting on the message pane's words until it
// comes back and takes its lines again).

#include "app/port_controller.h"

#include "app/port_pane_label.h"
#include "base/commands.h"
#include "base/memory_settings_store.h"
#include "base/qt_message_sink.h"
#include "programming/board_commands.h"
#include "programming/programming_session.h"
#include "pty_pair.h"
#include "recording_prompt.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"
#include "temp_dir.h"
#include "text_terminal.h"

#include <QAction>
#include <QLabel>
#include <QtTest>

#include <filesystem>
#include <memory>

namespace {

// A session with the controller and its widgets, as the main frame puts them together.
struct CPortRig {
    CPortRig(const std::string& port, bool reconnect, bool simulated)
    {
        session.PortSettings().SetPortName(port);
        session.PortSettings().m_bReconnect = reconnect;
        CPortController::CHost host;
        host.m_isSending = [this] { return sending; };
        host.m_requestCommandUpdate = [] {};
        host.m_updateCommandUI = [] {};
        host.m_portAttached = [this](CSerialPort*) { ++attached; };
        host.m_applyModemLines = [this] { ++modemLinesApplied; };
        controller = std::make_unique<CPortController>(session, pane, messagePane, store, prompt, simulated,
            QList<QAction*>{&openAction, &closeAction}, std::move(host), &owner);
    }

    bool Enabled(int id)
    {
        CCmdUI ui;
        ui.m_nID = id;
        return controller->OnUpdateCommand(ui) && ui.m_bEnabled;
    }

    CTextTerminal terminal;
    CBoardCommands commands;
    CRecordingPrompt prompt;
    CMemorySettingsStore store;
    CQtMessageSink sink{[this](const CPostedEvent& event) { session.OnPosted(event); }};
    CProgrammingSession session{terminal, commands, sink, prompt};
    QWidget owner;
    CPortPaneLabel pane;
    QLabel messagePane;
    QAction openAction;
    QAction closeAction;
    bool sending = false;
    int attached = 0;
    int modemLinesApplied = 0;
    std::unique_ptr<CPortController> controller;
};

enum EHolder { Nothing, Sending, Downloading };

} // namespace

class PortControllerTest : public QObject {
    Q_OBJECT

private slots:
    void openAndCloseFollowThePortAndTheLine_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("holder");
        QTest::addColumn<bool>("simulated");
        QTest::newRow("closed") << false << int(Nothing) << false;
        QTest::newRow("open") << true << int(Nothing) << false;
        QTest::newRow("open, simulated") << true << int(Nothing) << true;
        QTest::newRow("closed, sending") << false << int(Sending) << false;
        QTest::newRow("open, sending") << true << int(Sending) << false;
        QTest::newRow("open, downloading") << true << int(Downloading) << false;
    }

    void openAndCloseFollowThePortAndTheLine()
    {
        QFETCH(bool, open);
        QFETCH(int, holder);
        QFETCH(bool, simulated);
        // A board that stops reading: a download holds the line until it is stopped.
        CBoardSimOptions options;
        options.m_nStallAfter = 64;
        CBoardSimulator sim(options);
        QVERIFY(!sim.Start());
        CPortRig rig(sim.SlavePath(), false, simulated);
        rig.controller->Start("Failed to open ");
        QVERIFY(rig.session.Port().IsOpen());
        QCOMPARE(rig.attached, 1);
        QVERIFY(rig.pane.IsPortOpen());
        if (!open) {
            QVERIFY(rig.controller->OnCommand(cmd::ID_TOOLS_CLOSE_PORT));
            QVERIFY(!rig.pane.IsPortOpen());
        }
        CTempDir dir;
        if (holder == Sending)
            rig.sending = true;
        if (holder == Downloading)
            QVERIFY(rig.session.StartDownload(dir.Write("data.hex", EncodeIntelHex(std::vector<std::uint8_t>(4096, 1), 0))));

        const bool free = holder == Nothing;
        QCOMPARE(rig.Enabled(cmd::ID_TOOLS_OPEN_PORT), free && !open);
        QCOMPARE(rig.Enabled(cmd::ID_TOOLS_CLOSE_PORT), free && open);
        QCOMPARE(rig.Enabled(cmd::ID_TOOLS_PORT_SETUP), !simulated);
        // The command the state offers turns the port over; a held line keeps it as it is.
        QVERIFY(rig.controller->OnCommand(open ? cmd::ID_TOOLS_CLOSE_PORT : cmd::ID_TOOLS_OPEN_PORT));
        QCOMPARE(rig.session.Port().IsOpen(), free ? !open : open);
        QCOMPARE(rig.pane.IsPortOpen(), rig.session.Port().IsOpen());
        QVERIFY(rig.prompt.Boxes().empty());
        if (holder == Downloading) {
            rig.session.RequestStop();
            QTRY_VERIFY_WITH_TIMEOUT(!rig.session.IsDownloadRunning(), 10000);
        }
    }

    void aDeviceThatGoesAwayIsToldAndComesBackWithItsLines_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::addColumn<bool>("closedByUser");
        QTest::newRow("reconnecting off") << false << false;
        QTest::newRow("reconnecting on") << true << false;
        QTest::newRow("reconnecting on, closed while waiting") << true << true;
    }

    void aDeviceThatGoesAwayIsToldAndComesBackWithItsLines()
    {
        QFETCH(bool, reconnect);
        QFETCH(bool, closedByUser);
        namespace fs = std::filesystem;
        CTempDir dir;
        // A stable name, as an adapter has under /dev/serial/by-id.
        const std::string link = dir.Folder("serial/by-id") + "/usb-Quillorex_Debug_Probe_QX0042-if00";
        auto first = std::make_unique<CPtyPair>();
        fs::create_symlink(first->SlavePath(), link);
        CPortRig rig(link, reconnect, false);
        rig.controller->Start("Failed to open ");
        QVERIFY(rig.session.Port().IsOpen());
        const QString node = QString::fromStdString(first->SlavePath());

        // Pulled out: the node and its stable name go, the line hangs up.
        fs::remove(link);
        first->CloseMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.Port().IsOpen(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.pane.IsPortOpen(), 5000);
        if (!reconnect) {
            QTRY_COMPARE(rig.prompt.Boxes().size(), std::size_t(1));
            const std::string text = rig.prompt.Texts()[0];
            QVERIFY2(text.rfind("Lost the connection to " + link + "\r\n\r\n", 0) == 0, text.c_str());
            QVERIFY(rig.Enabled(cmd::ID_TOOLS_OPEN_PORT));
            QVERIFY(!rig.Enabled(cmd::ID_TOOLS_CLOSE_PORT));
            return;
        }
        QTRY_COMPARE(rig.messagePane.text(), node + QStringLiteral(" disconnected, waiting for it"));
        QVERIFY(rig.prompt.Boxes().empty());
        // A port waited for counts as open: Close Port ends the wait.
        QVERIFY(!rig.Enabled(cmd::ID_TOOLS_OPEN_PORT));
        QVERIFY(rig.Enabled(cmd::ID_TOOLS_CLOSE_PORT));
        if (closedByUser) {
            QVERIFY(rig.controller->OnCommand(cmd::ID_TOOLS_CLOSE_PORT));
            QVERIFY(!rig.session.IsWaitingForPort());
            QVERIFY(rig.Enabled(cmd::ID_TOOLS_OPEN_PORT));
            QVERIFY(!rig.Enabled(cmd::ID_TOOLS_CLOSE_PORT));
            return;
        }

        // Back under another node: the port reopens and the stored DTR and RTS go on.
        CPtyPair second;
        first.reset();
        fs::create_symlink(second.SlavePath(), link);
        QTRY_VERIFY_WITH_TIMEOUT(rig.messagePane.text().endsWith(QStringLiteral(" reconnected")), 5000);
        QVERIFY(rig.session.Port().IsOpen());
        QVERIFY(rig.pane.IsPortOpen());
        QCOMPARE(rig.modemLinesApplied, 1);
        QVERIFY(rig.prompt.Boxes().empty());
        QVERIFY(!rig.Enabled(cmd::ID_TOOLS_OPEN_PORT));
        QVERIFY(rig.Enabled(cmd::ID_TOOLS_CLOSE_PORT));
    }
};

QTEST_MAIN(PortControllerTest)
#include "port_controller_test.moc"
