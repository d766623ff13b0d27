#pragma once
// CProgramDlg: the program window, a pane with the download's progress bar and a "Program"
// button. The button issues the Program command to the main frame, which routes it like the
// menu command and enables the button exactly when that command is enabled; the frame drives
// the bar from the download job's notifications. GUI thread only; owned by its dock.

#include "ui/resizable_dialog.h"

class CPercentProgressCtrl;
class QPushButton;

class CProgramDlg : public CResizableDialog {
    Q_OBJECT
public:
    static constexpr int IDC_PROGRESS = 1000;
    static constexpr int IDC_PROGRAM = 1001;

    explicit CProgramDlg(QWidget* parent = nullptr);

    CPercentProgressCtrl& Progress() { return *m_wndProgress; }
    QPushButton& ProgramButton() { return *m_btnProgram; }

signals:
    // The command the button stands for (32771).
    void commandIssued(int id);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CPercentProgressCtrl* m_wndProgress = nullptr;
    QPushButton* m_btnProgram = nullptr;
};
