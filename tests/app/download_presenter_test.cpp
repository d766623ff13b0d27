// The download presenter on its own, over a session on the board simulator: the Stop command it
// owns, the pane's text and the bars at each way a download ends, the summary in the output
// window, and a close that waits for the end.

#include "app/download_presenter.h"

#include "base/commands.h"
#include "base/qt_message_sink.h"
#include "files/output_ctrl.h"
#include "programming/board_commands.h"
#include "programming/program_dlg.h"
#include "programming/programming_session.h"
#include "recording_prompt.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"
#include "temp_dir.h"
#include "text_terminal.h"
#include "ui/percent_progress_ctrl.h"

#include <QLabel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

#include <memory>

namespace {

// A session with the presenter and its widgets, as the main frame puts them together.
struct CPresenterRig {
    explicit CPresenterRig(const std::string& port)
    {
        session.PortSettings().SetPortName(port);
        session.PortSettings().SetBaud("115200");
        CDownloadPresenter::CHooks hooks;
        hooks.m_isSending = [this] { return sending; };
        hooks.m_requestCommandUpdate = [] {};
        hooks.m_afterEnd = [this] {
            ++ended;
            // The window is idle again by then: nothing runs.
            runningAfterEnd = presenter->IsDownloadRunning();
        };
        presenter = std::make_unique<CDownloadPresenter>(session, statusProgress, program, messagePane, statusBar,
            output, std::move(hooks));
    }

    bool StopEnabled()
    {
        CCmdUI ui;
        ui.m_nID = cmd::ID_TOOLS_STOP_PROGRAMMING;
        return presenter->OnUpdateCommand(ui) && ui.m_bEnabled;
    }

    CTextTerminal terminal;
    CBoardCommands commands;
    CRecordingPrompt prompt;
    CQtMessageSink sink{[this](const CPostedEvent& event) { session.OnPosted(event); }};
    CProgrammingSession session{terminal, commands, sink, prompt};
    CPercentProgressCtrl statusProgress;
    CProgramDlg program;
    QLabel messagePane;
    QStatusBar statusBar;
    COutputCtrl output;
    bool sending = false;
    int ended = 0;
    bool runningAfterEnd = true;
    std::unique_ptr<CDownloadPresenter> presenter;
};

} // namespace

class DownloadPresenterTest : public QObject {
    Q_OBJECT

private slots:
    void eachEndLeavesTheWindowIdleWithItsText_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("pane");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<bool>("summary");
        QTest::addColumn<bool>("closeReady");
        QTest::newRow("completed") << 0 << QStringLiteral("Ready") << 1 << true << false;
        QTest::newRow("stopped") << 1 << QStringLiteral("Programming data.hex was stopped.") << 0 << false << false;
        QTest::newRow("stopped to close") << 2 << QStringLiteral("Ready") << 0 << false << true;
    }

    void eachEndLeavesTheWindowIdleWithItsText()
    {
        QFETCH(int, how);
        QFETCH(QString, pane);
        QFETCH(int, boxes);
        QFETCH(bool, summary);
        QFETCH(bool, closeReady);
        CBoardSimOptions options;
        // Paced: a stop comes long before the file has gone.
        options.m_line.m_nBaud = 115200;
        CBoardSimulator sim(options);
        QVERIFY(!sim.Start());
        CTempDir dir;
        const std::string path =
            dir.Write("data.hex", EncodeIntelHex(std::vector<std::uint8_t>(how == 0 ? 200 : 20000, 1), 0));
        CPresenterRig rig(sim.SlavePath());
        QSignalSpy progress(rig.presenter.get(), &CDownloadPresenter::downloadProgress);
        QSignalSpy ready(rig.presenter.get(), &CDownloadPresenter::closeReady);

        QVERIFY(!rig.StopEnabled());
        rig.presenter->StartDownload(path);
        QVERIFY(rig.presenter->IsDownloadRunning());
        QVERIFY(rig.StopEnabled());
        if (how != 0) {
            // Once the bars have begun: the job is under way.
            QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty(), 5000);
            if (how == 1) {
                QVERIFY(rig.presenter->OnCommand(cmd::ID_TOOLS_STOP_PROGRAMMING));
            } else {
                QVERIFY(rig.presenter->DeferClose());
                QCOMPARE(rig.statusBar.currentMessage(), QStringLiteral("Stopping the download..."));
                // Nothing new starts while the window closes.
                rig.presenter->StartDownload(path);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.ended, 1, 20000);
        QVERIFY(!rig.runningAfterEnd);
        QVERIFY(!rig.StopEnabled());
        QCOMPARE(rig.messagePane.text(), pane);
        QCOMPARE(static_cast<int>(rig.prompt.Texts().size()), boxes);
        QCOMPARE(ready.size(), closeReady ? 1 : 0);
        QVERIFY(!rig.presenter->DeferClose());
        // The bars end idle: no position, no text.
        const QList<QVariant> last = progress.last();
        QCOMPARE(last.at(0).toInt(), 0);
        QCOMPARE(last.at(1).toInt(), 0);
        QCOMPARE(last.at(3).toBool(), false);
        // The output window takes appended text on its next turn.
        if (summary)
            QTRY_VERIFY_WITH_TIMEOUT(rig.output.PlainText().contains(QStringLiteral("data.hex: ")), 5000);
        else
            QVERIFY(!rig.output.PlainText().contains(QStringLiteral("data.hex: ")));
        QCOMPARE(rig.program.Figures().text().contains(QStringLiteral(" bytes")), true);
    }

    void programWaitsForASendToEnd()
    {
        CBoardSimulator sim;
        QVERIFY(!sim.Start());
        CTempDir dir;
        CPresenterRig rig(sim.SlavePath());
        rig.sending = true;
        rig.presenter->StartDownload(dir.Write("data.hex", EncodeIntelHex(std::vector<std::uint8_t>(16, 1), 0)));
        QVERIFY(!rig.presenter->IsDownloadRunning());
        QCOMPARE(rig.statusBar.currentMessage(),
                 QStringLiteral("Programming waits for the sending to the board to end: stop it first."));
    }
};

QTEST_MAIN(DownloadPresenterTest)
#include "download_presenter_test.moc"
