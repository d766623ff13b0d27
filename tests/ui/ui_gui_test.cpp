// The dialog base and the progress control on the offscreen platform: anchors applied on
// resize, the pane frame, placement memory through a settings store, and painted images.

#include "base/memory_settings_store.h"
#include "pixels.h"
#include "ui/flat_button.h"
#include "ui/percent_progress_ctrl.h"
#include "ui/resizable_dialog.h"

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

class CPaintCounter : public QObject {
public:
    int m_nPaints = 0;
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_nPaints;
        return QObject::eventFilter(object, event);
    }
};


QPalette TestPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(0, 0, 255));
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    palette.setColor(QPalette::Button, QColor(200, 190, 180));
    return palette;
}

} // namespace

class UiGuiTest : public QObject {
    Q_OBJECT
private slots:
    void anchorMovesAtFirstLayoutOnOddWidth();
    void anchorRefusals();
    void anchorsFollowResize();
    void anchorOfDeletedChildIsDropped();
    void paneFrameInsetsClientArea();
    void gripOnlyOnTopLevel();
    void placementRestoredFromSixNumbers();
    void placementWithFewerNumbersChangesNothing();
    void placementStoredWhenDialogEnds();

    void progressFreshControlImage();
    void progressSplitTextAtHalf();
    void progressTruncatedPercentages();
    void progressCaptionThroughWindowText();
    void progressRepaintsOnlyOnPixelChange();
    void progressColoursAndFace();
    void progressVerticalHasNoText();
    void progressEmptyRangeDrawsNothing();
    void flatFramedBarAndButton();
};

void UiGuiTest::anchorMovesAtFirstLayoutOnOddWidth()
{
    CResizableDialog dialog(nullptr, CResizableDialog::Child);
    dialog.resize(333, 100);
    auto* button = new QPushButton(&dialog);
    button->setGeometry(166, 10, 40, 20);
    CResizableDialog::SetControlId(button, 1001);
    QVERIFY(dialog.SetAnchorById(1001, {50, 0}));
    dialog.LayoutAnchors(-1, -1);
    QCOMPARE(button->geometry(), QRect(167, 10, 40, 20));
}

void UiGuiTest::anchorRefusals()
{
    CResizableDialog dialog(nullptr, CResizableDialog::Child);
    dialog.resize(200, 100);
    auto* child = new QLabel(&dialog);
    QLabel stranger;
    QVERIFY(!dialog.SetAnchor(child, ANCHOR_NONE, ANCHOR_TOP_RIGHT));
    QVERIFY(!dialog.SetAnchor(&stranger, ANCHOR_TOP_LEFT));
    QVERIFY(!dialog.SetAnchorById(77, ANCHOR_TOP_LEFT));
    QCOMPARE(dialog.AnchorCount(), 0);

    // The same child twice keeps the second record only.
    child->setGeometry(10, 10, 50, 20);
    QVERIFY(dialog.SetAnchor(child, ANCHOR_TOP_LEFT));
    QVERIFY(dialog.SetAnchor(child, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT));
    QCOMPARE(dialog.AnchorCount(), 1);
    QCOMPARE(dialog.AnchorOf(child)->m_nRightPercent, 100);
}

void UiGuiTest::anchorsFollowResize()
{
    // The program window's pattern: the bar stretches, the button moves with the right edge.
    CResizableDialog dialog(nullptr, CResizableDialog::Child);
    dialog.resize(300, 40);
    auto* bar = new CPercentProgressCtrl(&dialog);
    bar->setGeometry(8, 10, 200, 20);
    auto* button = new QPushButton("Program", &dialog);
    button->setGeometry(220, 8, 72, 24);
    auto* fixed = new QLabel(&dialog);
    fixed->setGeometry(2, 2, 4, 4);
    CResizableDialog::SetControlId(bar, 1000);
    CResizableDialog::SetControlId(button, 1001);
    QVERIFY(dialog.SetAnchorById(1000, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT));
    QVERIFY(dialog.SetAnchorById(1001, ANCHOR_TOP_RIGHT, ANCHOR_NONE));
    QVERIFY(dialog.SetAnchor(fixed, ANCHOR_TOP_LEFT, ANCHOR_TOP_LEFT));
    dialog.show();
    dialog.resize(500, 60);
    QCOMPARE(bar->geometry(), QRect(8, 10, 400, 20));
    QCOMPARE(button->geometry(), QRect(420, 8, 72, 24));
    QCOMPARE(fixed->geometry(), QRect(2, 2, 4, 4));
}

void UiGuiTest::anchorOfDeletedChildIsDropped()
{
    CResizableDialog dialog(nullptr, CResizableDialog::Child);
    dialog.resize(200, 100);
    auto* child = new QLabel(&dialog);
    auto* other = new QLabel(&dialog);
    QVERIFY(dialog.SetAnchor(child, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT));
    QVERIFY(dialog.SetAnchor(other, ANCHOR_TOP_LEFT));
    delete child;
    dialog.LayoutAnchors();
    QCOMPARE(dialog.AnchorCount(), 1);
}

void UiGuiTest::paneFrameInsetsClientArea()
{
    CResizableDialog pane(nullptr, CResizableDialog::Child);
    pane.SetPaneFrame(true);
    pane.resize(100, 40);
    pane.show();
    QCOMPARE(pane.ClientRect(), QRect(1, 1, 98, 38));
    QPalette palette = pane.palette();
    palette.setColor(QPalette::Mid, QColor(10, 20, 30));
    palette.setColor(QPalette::Window, QColor(240, 240, 240));
    pane.setPalette(palette);
    const QImage image = pane.grab().toImage();
    QCOMPARE(image.pixelColor(0, 0), QColor(10, 20, 30));
    QCOMPARE(image.pixelColor(99, 39), QColor(10, 20, 30));
    QCOMPARE(image.pixelColor(1, 1), QColor(240, 240, 240));

    // A child anchored in a framed pane keeps its distance to the frame's inner edge.
    auto* label = new QLabel(&pane);
    label->setGeometry(11, 11, 20, 10);
    QVERIFY(pane.SetAnchor(label, ANCHOR_TOP_RIGHT));
    pane.resize(200, 40);
    QCOMPARE(label->geometry(), QRect(111, 11, 20, 10));

    // No room for a ring: no frame.
    pane.resize(2, 2);
    QCOMPARE(pane.ClientRect(), QRect(0, 0, 2, 2));
}

void UiGuiTest::gripOnlyOnTopLevel()
{
    CResizableDialog dialog;
    QVERIFY(dialog.IsGripVisible());
    QVERIFY(dialog.isSizeGripEnabled());
    dialog.ShowGrip(false);
    QVERIFY(!dialog.isSizeGripEnabled());
    QWidget holder;
    auto* pane = new CResizableDialog(&holder, CResizableDialog::Child);
    QVERIFY(!pane->isWindow());
    QVERIFY(!pane->isSizeGripEnabled());
    // Taken out of its dock into a window of its own, it gets its grip back.
    holder.show();
    QTest::keyClick(pane, Qt::Key_Escape);
    QVERIFY(pane->isVisible());
    pane->setParent(nullptr, Qt::Dialog);
    QVERIFY(pane->isSizeGripEnabled());
    delete pane;
}

void UiGuiTest::placementRestoredFromSixNumbers()
{
    CMemorySettingsStore store;
    store.WriteString("AboutDlgPosition", "100,120,400,300,1,0");
    CResizableDialog dialog;
    dialog.EnablePlacementMemory(store, "AboutDlgPosition", false);
    QCOMPARE(dialog.geometry(), QRect(100, 120, 300, 180));
    dialog.show();
    QVERIFY(dialog.isVisible());
    dialog.hide();

    CResizableDialog hidden;
    hidden.show();
    hidden.EnablePlacementMemory(store, "AboutDlgPosition", true);
    QCOMPARE(hidden.geometry(), QRect(100, 120, 300, 180));
    QVERIFY(!hidden.isVisible());
}

void UiGuiTest::placementWithFewerNumbersChangesNothing()
{
    for (const char* text : {"100,120,400,300,1", ""}) {
        CMemorySettingsStore store;
        store.WriteString("Key", text);
        CResizableDialog dialog;
        dialog.setGeometry(10, 20, 150, 90);
        dialog.EnablePlacementMemory(store, "Key", false);
        QCOMPARE(dialog.geometry(), QRect(10, 20, 150, 90));
    }
}

void UiGuiTest::placementStoredWhenDialogEnds()
{
    CMemorySettingsStore store;
    {
        CResizableDialog dialog;
        dialog.EnablePlacementMemory(store, "AboutDlgPosition", false);
        dialog.setGeometry(50, 60, 200, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.setGeometry(50, 60, 200, 100);
        dialog.accept();
    }
    QCOMPARE(QString::fromStdString(store.ReadString("AboutDlgPosition", "")),
             QString("50,60,250,160,1,0"));

    // A dialog destroyed while shown stores as well; one never shown stores nothing.
    CMemorySettingsStore second;
    {
        auto dialog = std::make_unique<CResizableDialog>();
        dialog->EnablePlacementMemory(second, "P", false);
        dialog->setGeometry(5, 6, 100, 50);
        dialog->show();
        dialog->setGeometry(5, 6, 100, 50);
    }
    QCOMPARE(QString::fromStdString(second.ReadString("P", "")), QString("5,6,105,56,1,0"));
    CMemorySettingsStore third;
    {
        CResizableDialog dialog;
        dialog.EnablePlacementMemory(third, "P", false);
    }
    QCOMPARE(QString::fromStdString(third.ReadString("P", "none")), QString("none"));
}

void UiGuiTest::progressFreshControlImage()
{
    CPercentProgressCtrl bar;
    bar.setPalette(TestPalette());
    bar.resize(200, 24);
    QCOMPARE(bar.DisplayedText(), QString("0%"));
    const QImage image = bar.grab().toImage();
    const QRect all(0, 0, 200, 24);
    const int white = CountColour(image, all, Qt::white);
    // "0%" in the bar colour: every other pixel is a shade between white and blue.
    int text = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 200; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.rgb() == QColor(Qt::white).rgb())
                continue;
            ++text;
            QVERIFY2(c.blue() == 255 && c.red() == c.green(), qPrintable(c.name()));
        }
    QVERIFY(text > 10);
    QVERIFY(white > 200 * 24 * 3 / 4);
}

void UiGuiTest::progressSplitTextAtHalf()
{
    CPercentProgressCtrl bar;
    bar.setPalette(TestPalette());
    bar.resize(200, 24);
    bar.SetPos(50);
    QCOMPARE(bar.DisplayedText(), QString("50%"));
    const QImage image = bar.grab().toImage();
    const QRect left(0, 0, 100, 24);
    const QRect right(100, 0, 100, 24);
    // Over the bar the text is in the background colour, elsewhere in the bar colour; nothing
    // of the wrong colour crosses the edge.
    const int textOnBar = CountColour(image, left, Qt::white);
    const int textOffBar = CountColour(image, right, QColor(0, 0, 255));
    QVERIFY(textOnBar > 0);
    QVERIFY(textOffBar > 0);
    QVERIFY(textOnBar < 100 * 24 / 4);
    QVERIFY(textOffBar < 100 * 24 / 4);
    QCOMPARE(image.pixelColor(0, 0), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(99, 0), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(100, 0), QColor(Qt::white));

    // A fixed text colour draws both halves in that colour.
    bar.SetTextColour(CProgressColour::FromRgb(0xFF0000));
    const QImage red = bar.grab().toImage();
    QVERIFY(CountColour(red, left, Qt::red) > 0);
    QVERIFY(CountColour(red, right, Qt::red) > 0);
    QCOMPARE(CountColour(red, left, Qt::white), 0);
}

void UiGuiTest::progressTruncatedPercentages()
{
    CPercentProgressCtrl bar;
    bar.resize(200, 24);
    bar.SetRange(0x00030000u);
    bar.SetPos(1);
    QCOMPARE(bar.DisplayedText(), QString("33%"));
    bar.SetPos(2);
    QCOMPARE(bar.DisplayedText(), QString("66%"));
    bar.SetRange(0, 100);
    bar.SetPos(100);
    bar.StepIt();
    QCOMPARE(bar.GetPos(), 101);
    QCOMPARE(bar.DisplayedText(), QString("101%"));
    bar.SetShowText(false);
    QCOMPARE(bar.DisplayedText(), QString());
}

void UiGuiTest::progressCaptionThroughWindowText()
{
    CPercentProgressCtrl bar;
    bar.resize(200, 24);
    bar.SetCaption("Erasing");
    QCOMPARE(bar.GetCaption(), QString("Erasing"));
    QCOMPARE(bar.windowTitle(), QString("Erasing"));
    QCOMPARE(bar.DisplayedText(), QString("Erasing"));
    bar.setWindowTitle(QString());
    QCOMPARE(bar.DisplayedText(), QString("0%"));
}

void UiGuiTest::progressRepaintsOnlyOnPixelChange()
{
    CPercentProgressCtrl bar;
    bar.resize(100, 20);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    bar.SetRange32(0, 10000);
    bar.SetPos(0);
    CPaintCounter counter;
    bar.installEventFilter(&counter);
    for (int i = 0; i < 10000; ++i)
        bar.StepIt();
    QCOMPARE(bar.GetPos(), 10000);
    QCOMPARE(counter.m_nPaints, 100);
    // A resize forgets the length: the next change paints even at the same length.
    bar.resize(100, 21);
    QApplication::processEvents();
    counter.m_nPaints = 0;
    bar.SetPos(10000);
    QCOMPARE(counter.m_nPaints, 1);
}

void UiGuiTest::progressColoursAndFace()
{
    CPercentProgressCtrl bar;
    bar.setPalette(TestPalette());
    bar.resize(100, 20);
    bar.SetShowText(false);
    QCOMPARE(bar.SetBkColour(CLR_FACE_COLOUR), CLR_DEFAULT_COLOUR);
    QCOMPARE(bar.ResolvedBkColour(), QColor(200, 190, 180));
    QCOMPARE(bar.grab().toImage().pixelColor(50, 10), QColor(200, 190, 180));
    QCOMPARE(bar.SetBkColour(CLR_DEFAULT_COLOUR), CLR_FACE_COLOUR);
    QCOMPARE(bar.ResolvedBkColour(), QColor(Qt::white));
    QCOMPARE(bar.SetBarColour(CProgressColour::FromRgb(0x00FF00)), CLR_DEFAULT_COLOUR);
    bar.SetPos(100);
    QCOMPARE(bar.grab().toImage().pixelColor(50, 10), QColor(0, 255, 0));
    // The face colour follows a palette change.
    bar.SetBkColour(CLR_FACE_COLOUR);
    QPalette palette = bar.palette();
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    bar.setPalette(palette);
    QCOMPARE(bar.ResolvedBkColour(), QColor(1, 2, 3));
}

void UiGuiTest::progressVerticalHasNoText()
{
    CPercentProgressCtrl bar(nullptr, Qt::Vertical);
    bar.setPalette(TestPalette());
    bar.resize(20, 100);
    bar.SetPos(25);
    QCOMPARE(bar.DisplayedText(), QString());
    const QImage image = bar.grab().toImage();
    QCOMPARE(CountColour(image, QRect(0, 75, 20, 25), QColor(0, 0, 255)), 20 * 25);
    QCOMPARE(CountColour(image, QRect(0, 0, 20, 75), Qt::white), 20 * 75);
}

void UiGuiTest::progressEmptyRangeDrawsNothing()
{
    CPercentProgressCtrl bar;
    bar.setPalette(TestPalette());
    bar.resize(60, 20);
    bar.SetRange32(7, 7);
    bar.SetPos(7);
    QCOMPARE(bar.DisplayedText(), QString());
    QImage image(60, 20, QImage::Format_ARGB32);
    image.fill(QColor(9, 9, 9));
    bar.render(&image);
    QCOMPARE(CountColour(image, image.rect(), QColor(9, 9, 9)), 60 * 20);
}

void UiGuiTest::flatFramedBarAndButton()
{
    QPalette palette = TestPalette();
    palette.setColor(QPalette::Mid, QColor(10, 20, 30));
    CPercentProgressCtrl bar;
    bar.setPalette(palette);
    bar.resize(102, 20);
    bar.SetFlatFrame(true);
    bar.SetShowText(false);
    QCOMPARE(bar.ClientRect(), QRect(1, 1, 100, 18));
    bar.SetPos(50);
    QImage image = bar.grab().toImage();
    QCOMPARE(image.pixelColor(0, 10), QColor(10, 20, 30));
    QCOMPARE(image.pixelColor(101, 10), QColor(10, 20, 30));
    // The bar's length is measured inside the ring: 50 of 100 pixels.
    QCOMPARE(image.pixelColor(50, 10), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(51, 10), QColor(Qt::white));

    CFlatButton button("Program");
    button.setPalette(palette);
    button.resize(75, 21);
    int clicks = 0;
    connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
    image = button.grab().toImage();
    QCOMPARE(image.pixelColor(0, 0), QColor(10, 20, 30));
    QCOMPARE(image.pixelColor(74, 20), QColor(10, 20, 30));
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
}

QTEST_MAIN(UiGuiTest)
#include "ui_gui_test.moc"
