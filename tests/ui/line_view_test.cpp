// The shared line view on the offscreen platform: rows as shown in either encoding, mouse
// selection and the current row staying with their lines while old ones go, find both ways
// with wrapping, and the painted colours of a row's style and of the current row.

#include "ui/line_view.h"
#include "pixels.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <string>

namespace {

// A view whose row 1 is red, as a derived class colours rows.
class CRedRowView : public CLineView {
public:
    using CLineView::CLineView;
    CRowStyle RowStyle(int row) const override
    {
        CRowStyle style;
        if (row == 1)
            style.m_colour = Qt::red;
        return style;
    }
};

} // namespace

class LineViewTest : public QObject {
    Q_OBJECT

private slots:
    void rowsAsShown_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QStringList>("rows");
        // Runs are Latin-1 strings standing for bytes.
        auto bytes = [](const char* text) { return QString::fromLatin1(text); };
        QTest::newRow("utf8 tab after a two-byte character")
            << true << QStringList{bytes("caf\xC3\xA9\tx")} << QStringList{QString::fromUtf8("café    x")};
        QTest::newRow("latin1 tab after a high byte")
            << false << QStringList{bytes("caf\xE9\tx")} << QStringList{QString::fromLatin1("caf\xE9    x")};
        QTest::newRow("character split between runs")
            << true << QStringList{bytes("a\xE2\x82"), bytes("\xAC b")} << QStringList{QString::fromUtf8("a€ b")};
        QTest::newRow("control characters as spaces")
            << true << QStringList{bytes("a\x01" "b\x1B[0m")} << QStringList{QStringLiteral("a b [0m")};
        QTest::newRow("line ends CR LF, LF, CR")
            << false << QStringList{bytes("one\r\ntwo\nthree\rfour")}
            << QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"), QStringLiteral("four")};
    }
    void rowsAsShown()
    {
        QFETCH(bool, utf8);
        QFETCH(QStringList, runs);
        QFETCH(QStringList, rows);
        CLineView view(utf8 ? CLineView::EEncoding::Utf8 : CLineView::EEncoding::Latin1, CLineView::EKeys::Control, 100);
        for (const QString& run : runs) {
            const QByteArray data = run.toLatin1();
            view.AppendText(std::string_view(data.data(), std::size_t(data.size())));
        }
        QCOMPARE(view.RowCount(), rows.size());
        for (int row = 0; row < rows.size(); ++row)
            QCOMPARE(view.RowText(row), rows.at(row));
    }

    void selectionAndCurrentRowStayWithTheirLinesWhileOldOnesGo()
    {
        CLineView view(CLineView::EEncoding::Utf8, CLineView::EKeys::Control, 50);
        view.resize(400, 200);
        view.show();
        auto lines = [](int count) {
            std::string text;
            for (int line = 0; line < count; ++line)
                text += "row " + std::to_string(line) + " \xC3\xBCn\xC3\xAF\n";
            return text;
        };
        view.AppendText(lines(40));
        view.UpdateView();
        // Drag from column 4 of the top row in view to column 3 of the next.
        const int top = view.TopRow();
        const QRect first = view.RowRect(top);
        const QFontMetrics metrics(view.font());
        QCOMPARE(view.RowText(top + 1), QString::fromUtf8("row %1 ünï").arg(top + 1));
        const int x4 = 3 + metrics.horizontalAdvance(view.RowText(top).left(4));
        const int x3 = 3 + metrics.horizontalAdvance(view.RowText(top + 1).left(3));
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(x4, first.center().y()));
        QTest::mouseMove(view.viewport(), QPoint(x3, first.center().y() + first.height()));
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, QPoint(x3, first.center().y() + first.height()));
        const QString selected = view.RowText(top).mid(4) + QLatin1Char('\n') + view.RowText(top + 1).left(3);
        QCOMPARE(view.SelectedText(), selected);
        QCOMPARE(view.RowAt(first.center()), top);
        view.SetCurrentRow(top + 2);
        const QString current = view.RowText(top + 2);

        // Twenty more lines: the store keeps 50, so the top 11 go.
        view.AppendText(lines(20));
        view.UpdateView();
        QCOMPARE(view.RowCount(), 50);
        QCOMPARE(view.Lines().DroppedLines(), 11u);
        QCOMPARE(view.SelectedText(), selected);
        QCOMPARE(view.RowText(view.CurrentRow()), current);
        QCOMPARE(view.SelectionStart(), QPoint(4, view.CurrentRow() - 2));

        // Case-insensitive in either direction, wrapping round, beyond Latin-1 too.
        QVERIFY(view.FindString(QString::fromUtf8("ROW 0 ÜNÏ"), true));
        QCOMPARE(view.SelectionStart(), QPoint(0, 40 - 11));
        QCOMPARE(view.SelectedText(), QString::fromUtf8("row 0 ünï"));
        QVERIFY(view.FindString(QString::fromUtf8("Row 1 üNï"), false));
        QCOMPARE(view.SelectionStart(), QPoint(0, 41 - 11));
        QVERIFY(!view.FindString(QStringLiteral("absent")));

        // The current row's line goes: no current row.
        view.AppendText(lines(80));
        QCOMPARE(view.CurrentRow(), -1);
    }

    void paintsTheRowStyleAndTheCurrentRow()
    {
        CRedRowView view(CLineView::EEncoding::Latin1, CLineView::EKeys::ControlShift, 100);
        QFont big = view.font();
        big.setPointSize(16);
        view.setFont(big);
        view.resize(300, 150);
        view.show();
        view.AppendText("plain\nred row\nthird");
        view.UpdateView();
        view.SetCurrentRow(2);
        const QImage image = view.viewport()->grab().toImage();
        QVERIFY(CountColour(image, view.RowRect(1), Qt::red) > 0);
        QCOMPARE(CountColour(image, view.RowRect(0), Qt::red), 0);
        QVERIFY(CountColour(image, view.RowRect(0), Qt::black) > 0);
        // The current row on a tint: neither the base nor the selection colour.
        const QColor back = image.pixelColor(view.RowRect(2).right() - 2, view.RowRect(2).center().y());
        QVERIFY(back != view.palette().color(QPalette::Base));
        QVERIFY(back != view.palette().color(QPalette::Highlight));
        QCOMPARE(image.pixelColor(view.RowRect(0).right() - 2, view.RowRect(0).center().y()),
                 view.palette().color(QPalette::Base));
    }
};

QTEST_MAIN(LineViewTest)
#include "line_view_test.moc"
