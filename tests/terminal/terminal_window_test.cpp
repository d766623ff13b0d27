// The terminal window as a widget: what it shows and keeps, its selection and copy.

#include "terminal/highlight_dlg.h"
#include "terminal/highlight_rules.h"
#include "terminal/quick_send_dlg.h"
#include "terminal/send_pacing_dlg.h"
#include "terminal/terminal_ctrl.h"
#include "pixels.h"

#include <QClipboard>
#include <QTableWidget>
#include <cstdlib>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

class TerminalWindowTest : public QObject {
    Q_OBJECT

private slots:
    // The dialogs give back what they were given, and the quick sends' table turns rows into
    // sends (a row without a name is an empty slot).
    void dialogsGiveBackWhatTheyHold()
    {
        CSendPacing pacing;
        pacing.m_nCharDelayMs = 7;
        pacing.m_nLineDelayMs = 9000;
        pacing.m_strWaitFor = "ok>";
        pacing.m_nWaitLimitMs = 1234;
        pacing.m_bGoOnAfterTimeout = true;
        QVERIFY(CSendPacingDlg(pacing).Pacing() == pacing);
        QVERIFY(CSendPacingDlg(CSendPacing()).Pacing() == CSendPacing());

        CQuickSends sends;
        QVERIFY(sends.Set(0, {"reset", CQuickSend::EKind::Text, "R\\r"}));
        QVERIFY(sends.Set(11, {"boot", CQuickSend::EKind::File, "/tmp/boot.txt"}));
        CQuickSendDlg quick(sends);
        QVERIFY(quick.Sends() == sends);
        quick.Table().item(0, 0)->setText(QString());
        quick.Table().item(3, 0)->setText(QStringLiteral(" go "));
        quick.Table().item(3, 2)->setText(QStringLiteral("G\\r"));
        CQuickSends edited;
        QVERIFY(edited.Set(3, {"go", CQuickSend::EKind::Text, "G\\r"}));
        QVERIFY(edited.Set(11, sends.At(11)));
        QVERIFY(quick.Sends() == edited);

        const std::vector<CHighlightRule> rules = {{"boot", 0x123456, false}, {"error", 0x8B0000, true}};
        QVERIFY(CHighlightDlg(rules).Rules() == rules);
    }

    void highlightRulesColourRowsWhenPaintedAndFindJumpsBetweenThem()
    {
        CTerminalCtrl terminal;
        terminal.resize(480, 200);
        terminal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&terminal));
        std::vector<CHighlightRule> rules = CHighlightRules::Defaults();
        rules.push_back({"ok", 0x0000FF, false});
        rules.push_back({"(", 0x00FF00, false});
        const QStringList bad = terminal.SetHighlightRules(rules);
        QCOMPARE(bad.size(), 1);
        QVERIFY(bad[0].startsWith(QStringLiteral("The highlight rule ( is left out")));
        terminal.AppendTerminalText("boot FAILED\nall ok here\nplain line\nwarning: hot\n");
        terminal.UpdateView();
        const QImage image = terminal.viewport()->grab().toImage();
        struct Row {
            QColor m_colour;
            bool m_bWhole;
        } const rows[] = {{QColor(0x8B0000), true}, {QColor(0x0000FF), false}, {QColor(), false}, {QColor(0xA52A2A), true}};
        const QColor black(Qt::black);
        for (int row = 0; row < 4; ++row) {
            const QRect rect = terminal.RowRect(row);
            QVERIFY(!rect.isEmpty());
            // Text is smoothed: a glyph's pixels are near its colour, not all exactly it.
            int coloured = 0;
            for (int y = rect.top(); rows[row].m_colour.isValid() && y <= rect.bottom(); ++y)
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    const QColor& want = rows[row].m_colour;
                    if (std::abs(pixel.red() - want.red()) + std::abs(pixel.green() - want.green()) +
                            std::abs(pixel.blue() - want.blue()) < 60)
                        ++coloured;
                }
            QVERIFY2(!rows[row].m_colour.isValid() || coloured > 0, qPrintable(QString::number(row)));
            // A whole line has no black; a match leaves the rest of the line black.
            QCOMPARE(CountColour(image, rect, black) == 0, rows[row].m_bWhole);
        }
        // Ctrl+Shift+N / P go from highlighted row to highlighted row, wrapping round.
        for (const auto& [key, row] : {std::pair{Qt::Key_N, 0}, {Qt::Key_N, 1}, {Qt::Key_N, 3}, {Qt::Key_N, 0}, {Qt::Key_P, 3}}) {
            QTest::keyClick(&terminal, key, Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(terminal.CurrentRow(), row);
        }
        // No rules: nothing to go to.
        terminal.SetHighlightRules({});
        QVERIFY(!terminal.FindHighlighted(true));
    }

    void runsAreAppendedAtTheEndWhateverTheSelection()
    {
        CTerminalCtrl terminal;
        terminal.AppendTerminalText("hello ");
        // A selection made by the user does not move where the board's text goes.
        terminal.SelectAll();
        terminal.AppendTerminalText("board\r\nnext\rline");
        QCOMPARE(terminal.PlainText(), QStringLiteral("hello board\nnext\nline"));
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
            QCOMPARE(terminal.PlainText(), QString::fromLatin1(row.expected));
        }
    }

    void bytesAboveAsciiShowAsOneCharacterEach()
    {
        CTerminalCtrl terminal;
        // The parser never passes such bytes on; a sink that gets them still shows one each.
        terminal.AppendTerminalText(std::string_view("\xE9\xFF", 2));
        QCOMPARE(terminal.PlainText().size(), 2);
    }

    void scrollbackIsBoundedInLinesAndLineLength()
    {
        CTerminalCtrl terminal;
        std::string lines;
        for (int i = 0; i < CTerminalCtrl::kMaxLines + 500; ++i)
            lines += "line " + std::to_string(i) + "\n";
        terminal.AppendTerminalText(lines);
        const CLineStore& kept = terminal.Lines();
        QVERIFY(kept.LineCount() <= std::size_t(CTerminalCtrl::kMaxLines));
        // The newest text is kept, the oldest went.
        QCOMPARE(kept.Line(kept.LineCount() - 2), "line " + std::to_string(CTerminalCtrl::kMaxLines + 499));
        QVERIFY(!terminal.PlainText().startsWith(QStringLiteral("line 0\n")));

        // A long run without line ends, in pieces, continues on new lines at the bound.
        CTerminalCtrl longLine;
        const std::string piece(300, 'x');
        for (int i = 0; i < 10; ++i)
            longLine.AppendTerminalText(piece);
        const CLineStore& wrapped = longLine.Lines();
        std::size_t characters = 0;
        for (std::size_t i = 0; i < wrapped.LineCount(); ++i) {
            characters += wrapped.Line(i).size();
            QVERIFY(wrapped.Line(i).size() <= std::size_t(CTerminalCtrl::kMaxLineLength));
        }
        QCOMPARE(characters, std::size_t(3000));
        QCOMPARE(wrapped.Line(0).size(), std::size_t(CTerminalCtrl::kMaxLineLength));
    }

    void theViewFollowsTheEndWhileOldLinesGoUnlessTheUserScrolledUp()
    {
        CTerminalCtrl terminal;
        terminal.resize(400, 300);
        terminal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&terminal));
        QScrollBar* bar = terminal.verticalScrollBar();
        // A fast stream as the port hands it over (one run per line, the window's events
        // handled between batches), well past the bound, so old lines go all the time. The
        // view catches up at most every few milliseconds; UpdateView makes it do so now.
        auto burst = [&terminal](int first) {
            for (int i = first; i < first + 1000; ++i)
                terminal.AppendTerminalText("line " + std::to_string(i) + "\n");
            QCoreApplication::processEvents();
            terminal.UpdateView();
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

    void blackOnWhiteEvenUnderADarkTheme()
    {
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(220, 220, 220));
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        const QPalette saved = QApplication::palette();
        QApplication::setPalette(dark);
        CTerminalCtrl terminal;
        terminal.resize(200, 60);
        QCOMPARE(terminal.palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
        QCOMPARE(terminal.palette().color(QPalette::Active, QPalette::Text), QColor(Qt::black));
        // What is painted: white where nothing is written, black in the text.
        terminal.AppendTerminalText("MMMM");
        terminal.UpdateView();
        const QImage image = terminal.viewport()->grab().toImage();
        QApplication::setPalette(saved);
        QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(Qt::white));
        bool black = false;
        for (int y = 0; y < image.height() / 2 && !black; ++y)
            for (int x = 0; x < image.width() / 2 && !black; ++x)
                black = image.pixelColor(x, y) == QColor(Qt::black);
        QVERIFY(black);
    }

    void aMouseSelectionIsCopiedByTheViewKeyAndTheMenu()
    {
        CTerminalCtrl terminal;
        terminal.resize(400, 200);
        terminal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&terminal));
        terminal.AppendTerminalText("hello world\nsecond\tline\nthird");
        terminal.UpdateView();
        const QFontMetrics metrics = terminal.fontMetrics();
        const int height = metrics.lineSpacing();
        auto at = [&](const char* prefix, int row) {
            // The left edge of the column after prefix, mid-row (3 pixels of margin).
            return QPoint(3 + metrics.horizontalAdvance(QLatin1String(prefix)), row * height + height / 2);
        };
        struct {
            QPoint from, to;
            const char* text;
        } const drags[] = {
            {at("hello ", 0), at("hello world", 0), "world"},
            {at("second  ", 1), at("hel", 0), "lo world\nsecond  "}, // backwards; the tab is shown as spaces
            {at("he", 0), at("thi", 2), "llo world\nsecond  line\nthi"},
        };
        for (const auto& drag : drags) {
            QTest::mousePress(terminal.viewport(), Qt::LeftButton, {}, drag.from);
            QTest::mouseMove(terminal.viewport(), drag.to);
            QTest::mouseRelease(terminal.viewport(), Qt::LeftButton, {}, drag.to);
            QCOMPARE(terminal.SelectedText(), QString::fromLatin1(drag.text));
        }
        QTest::keyClick(&terminal, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString::fromLatin1(drags[2].text));
        QApplication::clipboard()->clear();
        std::unique_ptr<QMenu> menu(terminal.CreateContextMenu(nullptr));
        QAction* copy = menu->actions().front();
        QVERIFY(copy->isEnabled());
        copy->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QString::fromLatin1(drags[2].text));
        // A click without a drag selects nothing, and the menu's Copy is off.
        QTest::mouseClick(terminal.viewport(), Qt::LeftButton, {}, at("h", 0));
        QCOMPARE(terminal.SelectedText(), QString());
        menu.reset(terminal.CreateContextMenu(nullptr));
        QVERIFY(!menu->actions().front()->isEnabled());
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
        QCOMPARE(terminal.PlainText(), QString());
    }
};

QTEST_MAIN(TerminalWindowTest)
#include "terminal_window_test.moc"
