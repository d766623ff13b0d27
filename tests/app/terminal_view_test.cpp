// The terminal's view through the real window on a pseudo-terminal: the board's bytes in the
// hex view and with timestamps, find, clear, following the end while old lines go, the view's
// keys against the board's, and the choices kept in a real settings file.

#include "app/main_frame.h"
#include "base/commands.h"
#include "base/qt_settings_store.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"
#include "terminal/terminal_ctrl.h"
#include "pty_pair.h"
#include "recording_prompt.h"
#include "serial/serial_wnd.h"

#include <QClipboard>
#include <QDateTime>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TerminalViewTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_files;
    std::unique_ptr<CQtSettingsStore> m_pStore;
    CToolSettings m_tools;
    CBoardCommands m_commands;
    CRecordingPrompt m_prompt;

    std::unique_ptr<CMainFrame> MakeFrame(const std::string& port)
    {
        m_pStore = std::make_unique<CQtSettingsStore>();
        m_pStore->WriteString("Port", port);
        m_tools.LoadToolSettings(*m_pStore);
        m_commands.LoadBoardCommands(*m_pStore);
        auto frame = std::make_unique<CMainFrame>(*m_pStore, m_tools, m_commands, m_prompt, QStringList{});
        if (!frame->Create())
            return nullptr;
        frame->ActivateFrame();
        return frame;
    }

    // The last complete line the terminal holds.
    static QString LastLine(const CTerminalCtrl& terminal)
    {
        const CLineStore& lines = terminal.Lines();
        if (lines.LineCount() < 2)
            return {};
        const std::string_view line = lines.Line(lines.LineCount() - 2);
        return QString::fromLatin1(line.data(), qsizetype(line.size()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        QDir::setCurrent(m_files.path());
    }

    void init()
    {
        // Each test starts from the defaults.
        m_pStore.reset();
        QFile::remove(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) +
                      QStringLiteral("/Quillorex/Quillorex Programmer.conf"));
    }

    void hexTimestampsFindAndClearShowTheBoardsBytes()
    {
        CPtyPair pty;
        auto frame = MakeFrame(pty.SlavePath());
        QVERIFY(frame && frame->Serial().IsOpen());
        CTerminalCtrl& terminal = frame->Terminal();
        std::string all;
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        pty.Send(all + "\r\nline two\r\n");
        QTRY_COMPARE(LastLine(terminal), QStringLiteral("line two"));
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(terminal.Bytes().Total(), std::uint64_t(256 + 12));

        // Every byte as received, 16 a row, whatever the parser showed of it.
        frame->ExecuteCommand(cmd::ID_TERMINAL_HEX_VIEW);
        QVERIFY(terminal.HexView());
        QCOMPARE(terminal.RowCount(), 17);
        struct {
            int row;
            const char* text;
        } const rows[] = {
            {0, "00000000  00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  ................"},
            {2, "00000020  20 21 22 23 24 25 26 27  28 29 2A 2B 2C 2D 2E 2F   !\"#$%&'()*+,-./"},
            {7, "00000070  70 71 72 73 74 75 76 77  78 79 7A 7B 7C 7D 7E 7F  pqrstuvwxyz{|}~."},
            {15, "000000F0  F0 F1 F2 F3 F4 F5 F6 F7  F8 F9 FA FB FC FD FE FF  ................"},
            {16, "00000100  0D 0A 6C 69 6E 65 20 74  77 6F 0D 0A              ..line two.."},
        };
        for (const auto& row : rows)
            QCOMPARE(terminal.RowText(row.row), QString::fromLatin1(row.text));
        QVERIFY(terminal.FindString(QStringLiteral("6c 69"), true));
        QCOMPARE(terminal.SelectedText(), QStringLiteral("6C 69"));

        // Back to text, with the time each line's first byte came.
        frame->ExecuteCommand(cmd::ID_TERMINAL_HEX_VIEW);
        frame->ExecuteCommand(cmd::ID_TERMINAL_TIMESTAMPS);
        QVERIFY(!terminal.HexView() && terminal.Timestamps());
        const int row = terminal.RowCount() - 2;
        const qint64 stamp = terminal.Lines().LineTime(std::size_t(row));
        QVERIFY(stamp >= before && stamp <= after);
        QCOMPARE(terminal.RowText(row),
                 QDateTime::fromMSecsSinceEpoch(stamp).toString(QStringLiteral("hh:mm:ss.zzz ")) + "line two");

        // Find goes both ways and wraps round.
        pty.Send("alpha\r\nbeta alpha\r\n");
        QTRY_COMPARE(LastLine(terminal), QStringLiteral("beta alpha"));
        const int alpha = terminal.RowCount() - 3;
        const int prefix = 13; // "hh:mm:ss.zzz "
        struct {
            bool forward;
            QPoint at;
        } const finds[] = {{true, {prefix, alpha}}, {true, {prefix + 5, alpha + 1}}, {true, {prefix, alpha}},
                           {false, {prefix + 5, alpha + 1}}, {false, {prefix, alpha}}};
        for (const auto& find : finds) {
            QVERIFY(terminal.FindString(QStringLiteral("ALPHA"), find.forward));
            QCOMPARE(terminal.SelectionStart(), find.at);
            QCOMPARE(terminal.SelectedText(), QStringLiteral("alpha"));
        }
        QVERIFY(!terminal.FindString(QStringLiteral("gamma"), true));

        QSignalSpy cleared(&terminal, &CTerminalCtrl::Cleared);
        frame->ExecuteCommand(cmd::ID_TERMINAL_CLEAR);
        QCOMPARE(cleared.count(), 1);
        QCOMPARE(terminal.PlainText(), QString());
        QCOMPARE(terminal.Bytes().Total(), std::uint64_t(0));
        pty.Send("after\r\n");
        QTRY_COMPARE(LastLine(terminal), QStringLiteral("after"));
        frame->close();
    }

    void followsTheEndWhileOldLinesGoUnlessScrolledUp()
    {
        CPtyPair pty;
        auto frame = MakeFrame(pty.SlavePath());
        QVERIFY(frame && frame->Serial().IsOpen());
        CTerminalCtrl& terminal = frame->Terminal();
        terminal.SetScrollback(1000);
        QScrollBar* bar = terminal.verticalScrollBar();
        auto send = [&](int first, int count) {
            std::string text;
            for (int i = first; i < first + count; ++i)
                text += "line " + std::to_string(i) + "\r\n";
            pty.Send(text);
            return QStringLiteral("line %1").arg(first + count - 1);
        };
        QString last = send(0, 3000);
        QTRY_COMPARE(LastLine(terminal), last);
        terminal.UpdateView();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(terminal.Lines().LineCount(), std::size_t(1000));

        // Scrolled up: the same line stays at the top while older lines go.
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        const QString top = terminal.RowText(terminal.TopRow());
        last = send(3000, 300);
        QTRY_COMPARE(LastLine(terminal), last);
        terminal.UpdateView();
        QVERIFY(!terminal.IsFollowingEnd());
        QCOMPARE(terminal.RowText(terminal.TopRow()), top);

        // Back at the end: it follows again.
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        last = send(3300, 300);
        QTRY_COMPARE(LastLine(terminal), last);
        terminal.UpdateView();
        QCOMPARE(bar->value(), bar->maximum());
        frame->close();
    }

    void viewKeysStayHereAndControlLettersGoToTheBoard()
    {
        CPtyPair pty;
        auto frame = MakeFrame(pty.SlavePath());
        QVERIFY(frame && frame->Serial().IsOpen());
        CTerminalCtrl& terminal = frame->Terminal();
        pty.Send("select me\r\n");
        QTRY_COMPARE(LastLine(terminal), QStringLiteral("select me"));
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        terminal.setFocus();
        QTest::keyClick(&terminal, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(&terminal, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("select me\n"));
        QTest::keyClick(&terminal, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(terminal.PlainText(), QString());
        QTest::keyClick(&terminal, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&terminal, Qt::Key_L, Qt::ControlModifier);
        QTest::keyClick(&terminal, Qt::Key_F3);
        QTest::keyClick(&terminal, Qt::Key_X);
        QCOMPARE(pty.Receive(3), std::string("\x01\x0Cx"));
        frame->close();
    }

    void choicesPersistInTheSettingsFile()
    {
        CPtyPair pty;
        {
            auto frame = MakeFrame(pty.SlavePath());
            QVERIFY(frame);
            frame->ExecuteCommand(cmd::ID_TERMINAL_TIMESTAMPS);
            frame->ExecuteCommand(cmd::ID_TERMINAL_HEX_VIEW);
            frame->Terminal().SetScrollback(250000);
            frame->close();
        }
        m_pStore->Sync();
        struct {
            const char* key;
            int value;
        } const stored[] = {{"TerminalTimestamps", 1}, {"TerminalHexView", 1}, {"TerminalScrollback", 250000}};
        for (const auto& row : stored)
            QCOMPARE(m_pStore->ReadInt(row.key, -1), row.value);
        auto frame = MakeFrame(pty.SlavePath());
        QVERIFY(frame);
        QVERIFY(frame->Terminal().Timestamps());
        QVERIFY(frame->Terminal().HexView());
        QCOMPARE(frame->Terminal().Scrollback(), 250000);
        frame->UpdateCommandUI();
        QVERIFY(frame->Action(cmd::ID_TERMINAL_TIMESTAMPS)->isChecked());
        QVERIFY(frame->Action(cmd::ID_TERMINAL_HEX_VIEW)->isChecked());
        frame->close();
    }
};

QTEST_MAIN(TerminalViewTest)
#include "terminal_view_test.moc"
