// The terminal window and the program window as widgets: what the terminal shows and keeps, and
// how the program window's bar and button follow the pane's width.

#include "programming/program_dlg.h"
#include "programming/terminal_ctrl.h"
#include "ui/percent_progress_ctrl.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

class TerminalWindowTest : public QObject {
    Q_OBJECT

private slots:
    void runsAreAppendedAtTheEndWhateverTheSelection()
    {
        CTerminalCtrl terminal;
        terminal.AppendTerminalText("hello ");
        // A selection made by the user does not move where the board's text goes.
        QTextCursor cursor(terminal.document());
        cursor.setPosition(1);
        cursor.setPosition(3, QTextCursor::KeepAnchor);
        terminal.setTextCursor(cursor);
        terminal.AppendTerminalText("board\r\nnext\rline");
        QCOMPARE(terminal.toPlainText(), QStringLiteral("hello board\nnext\nline"));
    }

    void deleteLastCharTakesLineEndsAndStopsAtTheStart()
    {
        CTerminalCtrl terminal;
        terminal.AppendTerminalText("ab\ncd");
        struct {
            int deletes;
            const char* expected;
        } const rows[] = {{1, "ab\nc"}, {1, "ab\n"}, {1, "ab"}, {2, ""}, {3, ""}};
        for (const auto& row : rows) {
            for (int i = 0; i < row.deletes; ++i)
                terminal.DeleteLastChar();
            QCOMPARE(terminal.toPlainText(), QString::fromLatin1(row.expected));
        }
    }

    void bytesAboveAsciiShowAsOneCharacterEach()
    {
        CTerminalCtrl terminal;
        // The parser never passes such bytes on; a sink that gets them still shows one each.
        terminal.AppendTerminalText(std::string_view("\xE9\xFF", 2));
        QCOMPARE(terminal.toPlainText().size(), 2);
    }

    void scrollbackIsBoundedInLinesAndLineLength()
    {
        CTerminalCtrl terminal;
        std::string lines;
        for (int i = 0; i < CTerminalCtrl::kMaxLines + 500; ++i)
            lines += "line " + std::to_string(i) + "\n";
        terminal.AppendTerminalText(lines);
        QVERIFY(terminal.document()->blockCount() <= CTerminalCtrl::kMaxLines);
        // The newest text is kept, the oldest went.
        QCOMPARE(terminal.document()->lastBlock().previous().text(),
                 QStringLiteral("line %1").arg(CTerminalCtrl::kMaxLines + 499));
        QVERIFY(!terminal.toPlainText().startsWith(QStringLiteral("line 0\n")));

        // A long run without line ends, in pieces, continues on new lines at the bound.
        CTerminalCtrl longLine;
        const std::string piece(300, 'x');
        for (int i = 0; i < 10; ++i)
            longLine.AppendTerminalText(piece);
        const QTextDocument* doc = longLine.document();
        QCOMPARE(doc->characterCount() - doc->blockCount(), 3000);
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
            QVERIFY(block.length() - 1 <= CTerminalCtrl::kMaxLineLength);
        QCOMPARE(doc->firstBlock().length() - 1, CTerminalCtrl::kMaxLineLength);
    }

    void theViewFollowsTheEndWhileOldLinesGoUnlessTheUserScrolledUp()
    {
        CTerminalCtrl terminal;
        terminal.resize(400, 300);
        terminal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&terminal));
        QScrollBar* bar = terminal.verticalScrollBar();
        // A fast stream as the port hands it over (one run per line, the window's events
        // handled between batches), well past the bound, so old lines go all the time.
        auto burst = [&terminal](int first) {
            for (int i = first; i < first + 1000; ++i)
                terminal.AppendTerminalText("line " + std::to_string(i) + "\n");
            QCoreApplication::processEvents();
        };
        for (int first = 0; first < 3 * CTerminalCtrl::kMaxLines; first += 1000) {
            burst(first);
            QCOMPARE(bar->value(), bar->maximum());
        }
        // Scrolled up by the user: the view stays where it was put...
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        const int kept = bar->value();
        QVERIFY(kept < bar->maximum());
        burst(0);
        QVERIFY(bar->value() < bar->maximum());
        // ...and follows again once back at the end.
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        burst(0);
        QCOMPARE(bar->value(), bar->maximum());
    }

    void blackOnWhiteAndReadOnly()
    {
        CTerminalCtrl terminal;
        QCOMPARE(terminal.palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
        QCOMPARE(terminal.palette().color(QPalette::Active, QPalette::Text), QColor(Qt::black));
        QVERIFY(terminal.isReadOnly());
    }

    void keysWithoutAPortChangeNothing()
    {
        CTerminalCtrl terminal;
        terminal.show();
        terminal.setFocus();
        QTest::keyClicks(&terminal, QStringLiteral("typed"));
        QTest::keyClick(&terminal, Qt::Key_Return);
        QTest::keyClick(&terminal, Qt::Key_Backspace);
        QTest::keyClick(&terminal, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(terminal.toPlainText(), QString());
    }

    void programWindowStretchesTheBarAndMovesTheButton()
    {
        CProgramDlg dialog;
        dialog.resize(400, 70);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect bar = dialog.Progress().geometry();
        const QRect button = dialog.ProgramButton().geometry();
        QVERIFY(bar.right() < button.left());
        const int rightGap = dialog.width() - button.right();

        dialog.resize(700, 70);
        QTRY_COMPARE(dialog.Progress().width(), bar.width() + 300);
        QCOMPARE(dialog.Progress().x(), bar.x());
        QCOMPARE(dialog.ProgramButton().size(), button.size());
        QCOMPARE(dialog.width() - dialog.ProgramButton().geometry().right(), rightGap);
        QCOMPARE(dialog.ProgramButton().y(), button.y());

        // The button issues the Program command.
        QSignalSpy issued(&dialog, &CProgramDlg::commandIssued);
        dialog.ProgramButton().click();
        QCOMPARE(issued.count(), 1);
        QCOMPARE(issued.at(0).at(0).toInt(), 32771);
        QVERIFY(dialog.HasPaneFrame());
    }
};

QTEST_MAIN(TerminalWindowTest)
#include "terminal_window_test.moc"
