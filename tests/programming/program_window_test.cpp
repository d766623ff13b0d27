// The program window as a widget: how its bar and button follow the pane's width.

#include "programming/program_dlg.h"
#include "ui/percent_progress_ctrl.h"

#include <QPushButton>
#include <QtTest>

class ProgramWindowTest : public QObject {
    Q_OBJECT

private slots:
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

QTEST_MAIN(ProgramWindowTest)
#include "program_window_test.moc"
