// The terminal's input and output through the real window: a pseudo-terminal is the port (the
// test holds its far end), the settings file sits under a temporary XDG_CONFIG_HOME, logs and
// sent files are real files, and boxes are captured by a recording prompt.

#include "app/main_frame.h"
#include "base/commands.h"
#include "base/qt_settings_store.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"
#include "terminal/command_line.h"
#include "terminal/raw_sender.h"
#include "terminal/terminal_ctrl.h"
#include "terminal/terminal_log.h"
#include "pty_pair.h"
#include "recording_prompt.h"
#include "temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include <poll.h>

#include <algorithm>
#include <memory>

namespace {
std::string AllBytes(std::size_t n, unsigned first = 0)
{
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((first + i) & 0xFF);
    return bytes;
}

std::string ReadFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}
} // namespace

class TerminalIoWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CTempDir> m_pFiles;
    std::unique_ptr<CPtyPair> m_pPty;
    std::unique_ptr<CQtSettingsStore> m_pStore;
    CToolSettings m_tools;
    CBoardCommands m_commands;
    std::unique_ptr<CRecordingPrompt> m_pPrompt;

    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = std::make_unique<CMainFrame>(*m_pStore, m_tools, m_commands, *m_pPrompt, QStringList{});
        if (!frame->Create())
            return nullptr;
        frame->ActivateFrame();
        return frame;
    }

    // A frame whose terminal has the keyboard, on the far end's port.
    std::unique_ptr<CMainFrame> MakeActiveFrame()
    {
        auto frame = MakeFrame();
        if (!frame || !QTest::qWaitForWindowExposed(frame.get()))
            return nullptr;
        frame->activateWindow();
        if (!QTest::qWaitForWindowActive(frame.get()))
            return nullptr;
        frame->Terminal().setFocus();
        return frame;
    }

    // What the far end gets within the time, up to count bytes.
    std::string Far(std::size_t count, int ms = 10000)
    {
        return m_pPty->Receive(count, std::chrono::milliseconds(ms));
    }

    static bool Closed(CMainFrame& frame)
    {
        frame.close();
        return !frame.isVisible();
    }

private slots:
    void init()
    {
        m_pStore.reset();
        QFile::remove(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) +
                      QStringLiteral("/Quillorex/Quillorex Programmer.conf"));
        m_pFiles = std::make_unique<CTempDir>();
        QDir::setCurrent(QString::fromStdString(m_pFiles->Path()));
        m_pPty = std::make_unique<CPtyPair>();
        m_pStore = std::make_unique<CQtSettingsStore>();
        m_pStore->WriteString("Port", m_pPty->SlavePath());
        m_pStore->Sync();
        m_tools.LoadToolSettings(*m_pStore);
        m_commands.LoadBoardCommands(*m_pStore);
        m_pPrompt = std::make_unique<CRecordingPrompt>();
    }

    void logFileHoldsEveryByteTheBoardSentAndTheCountersCountThem()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->Serial().IsOpen());
        QCOMPARE(frame->TerminalIo().CountersPane().text(), QStringLiteral("RX 0  TX 0"));
        QVERIFY(!frame->TerminalIo().LogPane().isVisible());
        const std::string path = m_pFiles->Path("board.log");
        // The terminal's context menu holds the log and the sending commands too.
        std::unique_ptr<QMenu> context(frame->Terminal().CreateContextMenu(nullptr));
        for (int id : {cmd::ID_TERMINAL_LOG, cmd::ID_TERMINAL_PASTE, cmd::ID_TERMINAL_SEND_FILE})
            QVERIFY(context->actions().contains(frame->Action(id)));
        QVERIFY(frame->TerminalIo().StartLog(path));
        frame->UpdateCommandUI();
        QVERIFY(frame->Action(cmd::ID_TERMINAL_LOG)->isChecked());
        QVERIFY(frame->TerminalIo().LogPane().isVisible());
        QVERIFY(frame->TerminalIo().LogPane().text().contains(QString::fromStdString(path)));
        // Every byte value, the ones the parser drops or acts on (NUL, backspace, a CR at a
        // block's end) included, in many writes.
        std::string sent;
        for (unsigned i = 0; i < 64; ++i) {
            const std::string block = AllBytes(1000 + i, i);
            m_pPty->Send(block);
            sent += block;
        }
        QTRY_COMPARE_WITH_TIMEOUT(frame->TerminalIo().Counters().Received(), std::uint64_t(sent.size()), 20000);
        QTRY_COMPARE(frame->TerminalIo().CountersPane().text(), QStringLiteral("RX %1  TX 0").arg(sent.size()));
        frame->ExecuteCommand(cmd::ID_TERMINAL_LOG);
        QVERIFY(!frame->TerminalIo().Log().IsOn());
        QVERIFY(!frame->TerminalIo().LogPane().isVisible());
        QTRY_COMPARE(frame->TerminalIo().Log().BytesWritten(), std::uint64_t(sent.size()));
        QTRY_VERIFY(ReadFile(path) == sent);

        // The terminal's Clear starts the counters again.
        frame->ExecuteCommand(cmd::ID_TERMINAL_CLEAR);
        QCOMPARE(frame->TerminalIo().CountersPane().text(), QStringLiteral("RX 0  TX 0"));
        QCOMPARE(frame->TerminalIo().Counters().Received(), std::uint64_t(0));

        // Shown lines with timestamps, the choice kept in the settings file.
        frame->ExecuteCommand(cmd::ID_TERMINAL_LOG_LINES);
        QCOMPARE(m_pStore->ReadInt("TerminalLogMode", -1), 1);
        const std::string lines = m_pFiles->Path("lines.log");
        QVERIFY(frame->TerminalIo().StartLog(lines));
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_LOG_BYTES)->isEnabled());
        m_pPty->Send("hello\r\nboard\x08\x08rd\r\n");
        QTRY_COMPARE(frame->TerminalIo().Counters().Received(), std::uint64_t(18));
        frame->TerminalIo().StopLog();
        const QRegularExpression expected(QStringLiteral(
            "^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] hello\\n\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] board\\n$"));
        QTRY_VERIFY2(expected.match(QString::fromStdString(ReadFile(lines))).hasMatch(), ReadFile(lines).c_str());
        QVERIFY(m_pPrompt->Boxes().empty());
        QVERIFY(Closed(*frame));
    }

    void aFailingLogWriteStopsLoggingWithABox()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        // A device that is always full.
        QVERIFY(frame->TerminalIo().StartLog("/dev/full"));
        m_pPty->Send("data");
        QTRY_COMPARE(m_pPrompt->Boxes().size(), std::size_t(1));
        const std::string text = m_pPrompt->Texts()[0];
        QVERIFY2(text.rfind("Log file write error!\r\n\r\n/dev/full: ", 0) == 0, text.c_str());
        QVERIFY2(text.find("Free some space on the disk or choose another file") != std::string::npos, text.c_str());
        QVERIFY(!frame->TerminalIo().Log().IsOn());
        QVERIFY(!frame->TerminalIo().LogPane().isVisible());
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_LOG)->isChecked());
        // A file that cannot be made is said at once, with the file.
        QVERIFY(!frame->TerminalIo().StartLog(m_pFiles->Path("missing/x.log")));
        QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(2));
        QVERIFY(m_pPrompt->Texts()[1].rfind("Log file open error!\r\n\r\n" + m_pFiles->Path("missing/x.log") + ": ", 0) == 0);
        QVERIFY(Closed(*frame));
    }

    void enterSendsItsChoiceAndEchoShowsWhatIsTypedAcrossRuns()
    {
        struct Row {
            int m_nEnter;
            bool m_bEcho;
            const char* m_wire;
            const char* m_shown;
        } const rows[] = {
            {cmd::ID_TERMINAL_ENTER_CR, false, "ab\r\x16", ""},
            {cmd::ID_TERMINAL_ENTER_LF, false, "ab\n\x16", ""},
            {cmd::ID_TERMINAL_ENTER_CRLF, true, "ab\r\n\x16", "ab\n"},
            {cmd::ID_TERMINAL_ENTER_CR, true, "ab\r\x16", "ab\n"},
        };
        for (const Row& row : rows) {
            auto frame = MakeActiveFrame();
            QVERIFY(frame);
            CTerminalCtrl& terminal = frame->Terminal();
            if (frame->TerminalIo().Settings().m_bLocalEcho != row.m_bEcho)
                frame->ExecuteCommand(cmd::ID_TERMINAL_LOCAL_ECHO);
            frame->ExecuteCommand(row.m_nEnter);
            frame->UpdateCommandUI();
            QVERIFY(frame->Action(row.m_nEnter)->isChecked());
            QCOMPARE(frame->Action(cmd::ID_TERMINAL_LOCAL_ECHO)->isChecked(), row.m_bEcho);
            QTest::keyClicks(&terminal, QStringLiteral("ab"));
            QTest::keyClick(&terminal, Qt::Key_Return);
            // Ctrl+V stays the board's 0x16.
            QTest::keyClick(&terminal, Qt::Key_V, Qt::ControlModifier);
            const std::string wire = row.m_wire;
            QCOMPARE(Far(wire.size()), wire);
            QCOMPARE(terminal.PlainText(), QString::fromLatin1(row.m_shown));
            QCOMPARE(frame->TerminalIo().Counters().Sent(), std::uint64_t(wire.size()));
            QVERIFY(Closed(*frame));
            frame.reset();
            // The next window starts with the choices of this one.
            auto again = MakeFrame();
            QVERIFY(again);
            QCOMPARE(again->TerminalIo().Settings().m_bLocalEcho, row.m_bEcho);
            again->UpdateCommandUI();
            QVERIFY(again->Action(row.m_nEnter)->isChecked());
            QVERIFY(Closed(*again));
        }
    }

    void sendFileArrivesByteExactStopsMidwayAndWaitsForADownload()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        frame->UpdateCommandUI();
        QVERIFY(frame->Action(cmd::ID_TERMINAL_SEND_FILE)->isEnabled());
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_STOP_SEND)->isEnabled());
        const std::string content = AllBytes(100000, 5);
        const std::string small = m_pFiles->Write("image.bin", content);
        QVERIFY(frame->TerminalIo().SendFile(small));
        QVERIFY(frame->IsSending());
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_SEND_FILE)->isEnabled());
        QVERIFY(frame->Action(cmd::ID_TERMINAL_STOP_SEND)->isEnabled());
        QVERIFY(Far(content.size(), 20000) == content);
        QTRY_VERIFY(!frame->IsSending());
        QCOMPARE(frame->MessagePane().text(), QStringLiteral("image.bin sent: 100000 bytes."));
        QCOMPARE(frame->TerminalIo().Counters().Sent(), std::uint64_t(content.size()));
        QCOMPARE(m_pStore->ReadString("TerminalSendFile", ""), small);

        // A file far larger than the line holds while the far end reads nothing: stopped once
        // its first bytes are on the line, the far end has exactly what was sent.
        const std::string big = AllBytes(4 << 20, 9);
        QVERIFY(frame->TerminalIo().SendFile(m_pFiles->Write("big.bin", big)));
        pollfd arrived{m_pPty->Master(), POLLIN, 0};
        QCOMPARE(::poll(&arrived, 1, 10000), 1);
        // Paste to Board's key is off meanwhile, and puts no Ctrl+V into the file's bytes.
        QTest::keyClick(&frame->Terminal(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        frame->ExecuteCommand(cmd::ID_TERMINAL_STOP_SEND);
        QTRY_VERIFY(!frame->IsSending());
        const std::uint64_t sent = frame->TerminalIo().Sender().Sent();
        QVERIFY(sent < big.size());
        QCOMPARE(frame->MessagePane().text(),
                 QStringLiteral("Sending big.bin was stopped after %1 of %2 bytes.").arg(sent).arg(big.size()));
        const std::string got = Far(big.size(), 500);
        QCOMPARE(got.size(), std::size_t(sent));
        QVERIFY(got == big.substr(0, got.size()));

        // While a download runs (the board does not answer it here) nothing else is sent.
        const std::string hex = m_pFiles->Write("app.hex", ":0100000001FE\n:00000001FF\n");
        frame->StartDownload(hex);
        QVERIFY(frame->IsDownloadRunning());
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_SEND_FILE)->isEnabled());
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_PASTE)->isEnabled());
        QVERIFY(!frame->TerminalIo().SendFile(small));
        QVERIFY(!frame->IsSending());
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 10000);
        QVERIFY(Closed(*frame));
    }

    // Keys typed while a download or a send owns the line go nowhere: the far end gets only the
    // job's bytes, nothing is echoed, and the status bar says why once.
    void typingIsPausedWhileADownloadOrASendOwnsTheLine()
    {
        m_pStore->WriteInt("TerminalLocalEcho", 1);
        auto frame = MakeActiveFrame();
        QVERIFY(frame);
        QStringList messages;
        connect(frame->statusBar(), &QStatusBar::messageChanged, this, [&](const QString& text) {
            if (text.startsWith(QStringLiteral("Typing is paused")))
                messages << text;
        });
        // The board does not answer here: the job waits for it after its command.
        frame->StartDownload(m_pFiles->Write("app.hex", ":0100000001FE\n:00000001FF\n"));
        QCOMPARE(Far(1), std::string("L"));
        QTest::keyClicks(&frame->Terminal(), QStringLiteral("abc"));
        QTest::keyClick(&frame->Terminal(), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsDownloadRunning(), 10000);
        QCOMPARE(Far(16, 300), std::string());
        QCOMPARE(messages, QStringList{QStringLiteral("Typing is paused while programming")});
        // TX counts the download command alone.
        QCOMPARE(frame->TerminalIo().Counters().Sent(), std::uint64_t(1));

        // A file being sent owns the line the same way.
        const std::string big = AllBytes(1 << 20, 3);
        QVERIFY(frame->TerminalIo().SendFile(m_pFiles->Write("big.bin", big)));
        pollfd arrived{m_pPty->Master(), POLLIN, 0};
        QCOMPARE(::poll(&arrived, 1, 10000), 1);
        QTest::keyClicks(&frame->Terminal(), QStringLiteral("xyz"));
        QVERIFY(Far(big.size(), 20000) == big);
        QTRY_VERIFY(!frame->IsSending());
        QCOMPARE(Far(16, 300), std::string());
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.back(), QStringLiteral("Typing is paused while big.bin is sent"));
        QVERIFY(!frame->Terminal().PlainText().contains(QLatin1Char('x')));

        // Afterwards keys go out again.
        QTest::keyClicks(&frame->Terminal(), QStringLiteral("q"));
        QCOMPARE(Far(1), std::string("q"));
        QVERIFY(Closed(*frame));
    }

    void commandLineSendsEditedLinesWithHistoryAndEscapesAcrossRuns()
    {
        {
            auto frame = MakeActiveFrame();
            QVERIFY(frame);
            CCommandLine& line = frame->CommandLine();
            QLineEdit& edit = line.Edit();
            QVERIFY(line.isVisible());
            // Ctrl+Shift+K goes from the terminal to the line.
            QTest::keyClick(&frame->Terminal(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
            QTRY_VERIFY(edit.hasFocus());
            QTest::keyClicks(&edit, QStringLiteral("status"));
            QCOMPARE(Far(1, 200), std::string());
            QTest::keyClick(&edit, Qt::Key_Return);
            QCOMPARE(Far(7), std::string("status\r"));
            QVERIFY(edit.text().isEmpty());

            struct Row {
                bool m_bEscapes;
                const char* m_typed;
                std::string m_wire;
                // Part of the status bar's text when nothing went (the line then stays).
                const char* m_refused;
            } const rows[] = {
                {false, "raw\\q", "raw\\q\r", nullptr},
                {true, "go\\x41\\t", "goA\t\r", nullptr},
                {true, "bad\\q", "", "Unknown escape \\q at column 4"},
            };
            for (const Row& row : rows) {
                line.EscapesBox().setChecked(row.m_bEscapes);
                edit.setText(QString::fromLatin1(row.m_typed));
                QTest::keyClick(&edit, Qt::Key_Return);
                QCOMPARE(Far(std::max<std::size_t>(row.m_wire.size(), 1), row.m_wire.empty() ? 200 : 10000), row.m_wire);
                if (row.m_refused) {
                    QVERIFY2(frame->statusBar()->currentMessage().contains(QString::fromLatin1(row.m_refused)),
                             qPrintable(frame->statusBar()->currentMessage()));
                    QCOMPARE(edit.text(), QString::fromLatin1(row.m_typed));
                } else {
                    QVERIFY(edit.text().isEmpty());
                }
            }
            // Up walks back from the newest with what is typed kept, Down comes back to it.
            edit.setText(QStringLiteral("draft"));
            const QStringList walk = {QStringLiteral("go\\x41\\t"), QStringLiteral("raw\\q"), QStringLiteral("status"),
                                      QStringLiteral("status")};
            for (const QString& expected : walk) {
                QTest::keyClick(&edit, Qt::Key_Up);
                QCOMPARE(edit.text(), expected);
            }
            for (const QString& expected : {QStringLiteral("raw\\q"), QStringLiteral("go\\x41\\t"), QStringLiteral("draft")}) {
                QTest::keyClick(&edit, Qt::Key_Down);
                QCOMPARE(edit.text(), expected);
            }
            // Ctrl+R finds the newest line holding what is typed.
            edit.clear();
            QTest::keyClicks(&edit, QStringLiteral("tat"));
            QTest::keyClick(&edit, Qt::Key_R, Qt::ControlModifier);
            QCOMPARE(edit.text(), QStringLiteral("status"));
            QTest::keyClick(&edit, Qt::Key_R, Qt::ControlModifier);
            QCOMPARE(edit.text(), QStringLiteral("status"));
            QVERIFY(frame->statusBar()->currentMessage().contains(QStringLiteral("No earlier command line holds \"tat\"")));
            // The terminal's own keys still go to the board byte by byte.
            frame->Terminal().setFocus();
            QTest::keyClicks(&frame->Terminal(), QStringLiteral("k"));
            QCOMPARE(Far(1), std::string("k"));
            QVERIFY(Closed(*frame));
        }
        {
            // The next run has the history and the escapes box; hiding the line is kept too.
            auto frame = MakeFrame();
            QVERIFY(frame);
            QCOMPARE(frame->TerminalIo().History().Entries(),
                     (std::vector<std::string>{"status", "raw\\q", "go\\x41\\t"}));
            QVERIFY(frame->CommandLine().Escapes());
            frame->ExecuteCommand(cmd::ID_VIEW_COMMAND_LINE);
            frame->UpdateCommandUI();
            QVERIFY(!frame->Action(cmd::ID_VIEW_COMMAND_LINE)->isChecked());
            QVERIFY(frame->CommandLine().isHidden());
            QVERIFY(Closed(*frame));
        }
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->CommandLine().isHidden());
        // Going to it shows it.
        frame->ExecuteCommand(cmd::ID_TERMINAL_FOCUS_COMMAND_LINE);
        QVERIFY(!frame->CommandLine().isHidden());
        QVERIFY(frame->TerminalIo().Settings().m_bCommandLine);
        QVERIFY(Closed(*frame));
    }

    void sendFileWaitsForThePromptAfterEachLineAndNamesTheLineItStoppedAt()
    {
        const std::string path = m_pFiles->Write("lines.txt", "first\rsecond\rthird\r");
        CSendPacing pacing;
        pacing.m_strWaitFor = "ok>";
        pacing.m_nWaitLimitMs = 1500;
        {
            auto frame = MakeFrame();
            QVERIFY(frame);
            frame->TerminalIo().SetPacing(pacing);
            QVERIFY(frame->TerminalIo().SendFile(path));
            // The window reads the board's answer: the far end is read while its events run.
            std::string got;
            const auto farHas = [&](const std::string& wanted) {
                got += m_pPty->ReceiveAvailable();
                return got == wanted;
            };
            // The board answers the first line only.
            QTRY_VERIFY_WITH_TIMEOUT(farHas("first\r"), 10000);
            m_pPty->Send("first\r\nok> ");
            QTRY_VERIFY_WITH_TIMEOUT(farHas("first\rsecond\r"), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(!frame->IsSending(), 10000);
            QCOMPARE(Far(1, 300), std::string());
            QCOMPARE(m_pPrompt->Boxes().size(), std::size_t(1));
            const std::string text = m_pPrompt->Texts().back();
            QVERIFY2(text.rfind("No \"ok>\" came from the board within 1500 ms after line 2 of " + path + ".", 0) == 0,
                     text.c_str());
            QVERIFY(Closed(*frame));
        }
        // The pacing is kept for the next run.
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->TerminalIo().Settings().m_pacing == pacing);
        QVERIFY(Closed(*frame));
    }

    void quickSendsGoOnShiftFunctionKeysAndAreKeptAcrossRuns()
    {
        const std::string path = m_pFiles->Write("boot.txt", std::string("boot\x01\xff\n", 7));
        m_pStore->WriteString("TerminalQuickSend3", "not a send");
        m_pStore->Sync();
        {
            auto frame = MakeActiveFrame();
            QVERIFY(frame);
            // The value that cannot be read is said; no row shows while none is set.
            QTRY_VERIFY(frame->statusBar()->currentMessage().contains(QStringLiteral("TerminalQuickSend3=not a send")));
            auto* bar = frame->findChild<QToolBar*>(QStringLiteral("QuickSendBar"));
            QVERIFY(bar);
            QVERIFY(bar->isHidden());
            CQuickSends sends;
            QVERIFY(sends.Set(1, {"reset", CQuickSend::EKind::Text, "reset\\x21\\r"}));
            QVERIFY(sends.Set(11, {"boot", CQuickSend::EKind::File, path}));
            QVERIFY(sends.Set(5, {"six", CQuickSend::EKind::Text, "6"}));
            frame->TerminalIo().SetQuickSends(sends);
            QVERIFY(!bar->isHidden());
            frame->UpdateCommandUI();
            QCOMPARE(frame->Action(cmd::ID_QUICK_SEND_FIRST + 1)->text(), QStringLiteral("reset"));
            QVERIFY(frame->Action(cmd::ID_QUICK_SEND_FIRST + 1)->isVisible());
            QVERIFY(!frame->Action(cmd::ID_QUICK_SEND_FIRST)->isVisible());
            QVERIFY(!frame->Action(cmd::ID_QUICK_SEND_FIRST)->isEnabled());
            // Shift+F2 sends the text with its escapes, as it is.
            QTest::keyClick(&frame->Terminal(), Qt::Key_F2, Qt::ShiftModifier);
            QCOMPARE(Far(7), std::string("reset!\r"));
            // Shift+F6 too: the previous pane's key is always off.
            QTest::keyClick(&frame->Terminal(), Qt::Key_F6, Qt::ShiftModifier);
            QCOMPARE(Far(1), std::string("6"));
            // Shift+F12 sends the file.
            QTest::keyClick(&frame->Terminal(), Qt::Key_F12, Qt::ShiftModifier);
            QCOMPARE(Far(7), std::string("boot\x01\xff\n", 7));
            QTRY_VERIFY(!frame->IsSending());
            QVERIFY(Closed(*frame));
        }
        auto frame = MakeFrame();
        QVERIFY(frame);
        QCOMPARE(frame->TerminalIo().QuickSends().At(1).m_strValue, std::string("reset\\x21\\r"));
        QCOMPARE(frame->TerminalIo().QuickSends().At(11).m_strValue, path);
        QVERIFY(!frame->findChild<QToolBar*>(QStringLiteral("QuickSendBar"))->isHidden());
        QVERIFY(Closed(*frame));
    }

    void highlightRulesAreKeptAcrossRunsAndABadOneIsSaid()
    {
        const std::vector<CHighlightRule> rules = {{"boot", 0x123456, false}, {"(", 0x00FF00, true}};
        {
            auto frame = MakeFrame();
            QVERIFY(frame);
            QVERIFY(frame->TerminalIo().HighlightRules().Rules() == CHighlightRules::Defaults());
            frame->TerminalIo().SetHighlightRules(rules);
            QVERIFY(frame->statusBar()->currentMessage().startsWith(QStringLiteral("The highlight rule ( is left out")));
            QVERIFY(Closed(*frame));
        }
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY(frame->TerminalIo().HighlightRules().Rules() == rules);
        QTRY_VERIFY(frame->statusBar()->currentMessage().startsWith(QStringLiteral("The highlight rule ( is left out")));
        QVERIFY(Closed(*frame));
    }

    void pasteToBoardSendsTheClipboardAndAsksAboveFourKiB()
    {
        auto frame = MakeActiveFrame();
        QVERIFY(frame);
        struct Row {
            std::size_t m_nSize;
            int m_nAnswer;
            bool m_bAsked;
            bool m_bSent;
            bool m_bEcho;
        } const rows[] = {
            {100, kAnswerNo, false, true, false},
            {CTerminalController::kPasteAskBytes, kAnswerNo, false, true, false},
            {CTerminalController::kPasteAskBytes + 1, kAnswerNo, true, false, false},
            {CTerminalController::kPasteAskBytes + 1, kAnswerYes, true, true, false},
            // Local echo shows a paste as it shows typed text, and nothing of a declined one.
            {100, kAnswerNo, false, true, true},
            {CTerminalController::kPasteAskBytes + 1, kAnswerNo, true, false, true},
        };
        std::size_t boxes = 0;
        for (const Row& row : rows) {
            if (frame->TerminalIo().Settings().m_bLocalEcho != row.m_bEcho)
                frame->ExecuteCommand(cmd::ID_TERMINAL_LOCAL_ECHO);
            frame->Terminal().Clear();
            // Line ends become what Enter sends (CR by default): a line of 9 characters + LF.
            QString text;
            while (static_cast<std::size_t>(text.size()) < row.m_nSize)
                text += QStringLiteral("pasted 1\n");
            text.truncate(static_cast<qsizetype>(row.m_nSize));
            QGuiApplication::clipboard()->setText(text);
            m_pPrompt->SetAnswer(row.m_nAnswer);
            // The command comes back once the last send has ended (at the frame's next idle turn).
            frame->UpdateCommandUI();
            QVERIFY(frame->Action(cmd::ID_TERMINAL_PASTE)->isEnabled());
            // The key of Paste to Board; Ctrl+V alone would be the board's 0x16.
            QTest::keyClick(&frame->Terminal(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
            if (row.m_bAsked) {
                QCOMPARE(m_pPrompt->Boxes().size(), ++boxes);
                QVERIFY(m_pPrompt->Texts().back().rfind(
                            "The clipboard holds " + std::to_string(row.m_nSize) + " bytes of text.", 0) == 0);
            }
            QCOMPARE(m_pPrompt->Boxes().size(), boxes);
            std::string expected = text.toStdString();
            std::replace(expected.begin(), expected.end(), '\n', '\r');
            QTRY_VERIFY(!frame->IsSending());
            QCOMPARE(Far(expected.size(), row.m_bSent ? 10000 : 200), row.m_bSent ? expected : std::string());
            QCOMPARE(frame->Terminal().PlainText(), row.m_bEcho && row.m_bSent ? text : QString());
        }
        QVERIFY(Closed(*frame));
    }

    void dtrAndRtsAreShownOnlyWhileThePortIsOpenAndTheirStateIsKept()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        struct Row {
            int m_nId;
            const char* m_name;
            const char* m_key;
        } const rows[] = {{cmd::ID_TERMINAL_DTR, "DTR", "TerminalDTR"}, {cmd::ID_TERMINAL_RTS, "RTS", "TerminalRTS"}};
        for (const Row& row : rows) {
            frame->UpdateCommandUI();
            QAction* action = frame->Action(row.m_nId);
            QVERIFY(action->isEnabled());
            QVERIFY(action->isChecked()); // raised by default
            frame->ExecuteCommand(row.m_nId);
            // A pseudo-terminal has no modem lines: the status bar says so, the wish is kept.
            const QString said = frame->statusBar()->currentMessage();
            QVERIFY2(said.startsWith(QStringLiteral("%1 cannot be set on %2: ")
                                         .arg(QLatin1String(row.m_name), QString::fromStdString(m_pPty->SlavePath()))),
                     qPrintable(said));
            QCOMPARE(m_pStore->ReadInt(row.m_key, -1), 0);
            frame->UpdateCommandUI();
            QVERIFY(!action->isChecked());
        }
        frame->Serial().Close();
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_DTR)->isEnabled());
        QVERIFY(!frame->Action(cmd::ID_TERMINAL_RTS)->isEnabled());
        QVERIFY(m_pPrompt->Boxes().empty());
        QVERIFY(Closed(*frame));
    }
};

QTEST_MAIN(TerminalIoWindowTest)
#include "terminal_io_window_test.moc"
