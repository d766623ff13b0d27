// The about box on the offscreen platform: texts, the link's look and action, placement memory.

#include "base/memory_settings_store.h"
#include "ui/about_dlg.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

class CUrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> m_urls;
public slots:
    void open(const QUrl& url) { m_urls.append(url); }
};

class AboutDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void textsAndLinkLook();
    void linkClickOpensWebSiteAndStaysOpen();
    void reopensWhereItWasClosed();
    void ignoresMalformedPlacement();
    void screenshot();

private:
    CUrlRecorder m_recorder;
};

void AboutDlgTest::initTestCase()
{
    // The desktop's browser is not started by tests: the scheme goes to a recorder.
    QDesktopServices::setUrlHandler("https", &m_recorder, "open");
}

void AboutDlgTest::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("https");
}

void AboutDlgTest::textsAndLinkLook()
{
    CMemorySettingsStore store;
    CAboutDlg dialog(store);
    QCOMPARE(dialog.windowTitle(), QString("About Quillorex Programmer"));
    QStringList texts;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    QVERIFY(texts.contains("Quillorex Programmer Version 1.0"));
    auto* ok = qobject_cast<QPushButton*>(dialog.ControlById(1));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QString("OK"));
    QVERIFY(ok->isDefault());
    QVERIFY(!dialog.IsGripVisible());

    QLabel* link = dialog.LinkLabel();
    QCOMPARE(dialog.ControlById(CAboutDlg::IDC_LINK), link);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(link->font().underline());
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(dialog.cursor().shape(), Qt::ArrowCursor);
}

void AboutDlgTest::linkClickOpensWebSiteAndStaysOpen()
{
    m_recorder.m_urls.clear();
    CMemorySettingsStore store;
    CAboutDlg dialog(store);
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.LinkLabel(), Qt::LeftButton);
    QCOMPARE(m_recorder.m_urls.size(), 1);
    QCOMPARE(m_recorder.m_urls.first(), QUrl(kMakerWebAddress));
    QVERIFY(dialog.isVisible());
    QCOMPARE(QUrl(kMakerWebAddress).host(), QString("www.example.com"));

    // The Help command does the same without the dialog.
    OpenMakerWebSite();
    QCOMPARE(m_recorder.m_urls.size(), 2);
    dialog.accept();
}

void AboutDlgTest::reopensWhereItWasClosed()
{
    CMemorySettingsStore store;
    store.WriteString("AboutDlgPosition", "100,120,400,300,1,0");
    QPoint openedAt;
    QPoint closedAt;
    {
        CAboutDlg dialog(store);
        QTimer::singleShot(0, &dialog, [&] {
            openedAt = dialog.geometry().topLeft();
            dialog.move(130, 140);
            closedAt = dialog.geometry().topLeft();
            QTest::mouseClick(qobject_cast<QPushButton*>(dialog.ControlById(1)), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }
    QCOMPARE(openedAt, QPoint(100, 120));
    const auto stored = CWindowPlacement::Parse(store.ReadString("AboutDlgPosition", ""));
    QVERIFY(stored);
    QCOMPARE(QPoint(stored->m_nLeft, stored->m_nTop), closedAt);
    QCOMPARE(stored->m_nShowCmd, kShowNormal);

    CAboutDlg again(store);
    QCOMPARE(again.geometry().topLeft(), closedAt);
}

void AboutDlgTest::ignoresMalformedPlacement()
{
    CMemorySettingsStore store;
    store.WriteString("AboutDlgPosition", "100,120,400,300,1");
    CAboutDlg dialog(store);
    QVERIFY(dialog.geometry().topLeft() != QPoint(100, 120));
}

void AboutDlgTest::screenshot()
{
    // Under a real display (xvfb-run) with QX_SCREENSHOT_DIR set, keep a picture of the box.
    const QString dir = qEnvironmentVariable("QX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("QX_SCREENSHOT_DIR not set");
    CMemorySettingsStore store;
    CAboutDlg dialog(store);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.grab().save(QDir(dir).filePath("about_dialog.png")));
}

QTEST_MAIN(AboutDlgTest)
#include "about_dlg_test.moc"
