#pragma once
// CProgramDlg: the program window, a pane with the download's progress bar, a "Program"
// button and a line of figures (file, bytes, rate, times). The button issues the Program
// command and Escape the Stop Programming command to the main frame, which routes them like the
// menu commands and enables the button exactly when Program is enabled; the frame drives the
// bar and the figures from the download's notifications. GUI thread only; owned by its dock.

#include "ui/resizable_dialog.h"

class CPercentProgressCtrl;
class QLabel;
class QPushButton;

class CProgramDlg : public CResizableDialog {
    Q_OBJECT
public:
    static constexpr int IDC_PROGRESS = 1000;
    static constexpr int IDC_PROGRAM = 1001;
    static constexpr int IDC_FIGURES = 1002;

    explicit CProgramDlg(QWidget* parent = nullptr);

    CPercentProgressCtrl& Progress() { return *m_wndProgress; }
    QPushButton& ProgramButton() { return *m_btnProgram; }
    QLabel& Figures() { return *m_wndFigures; }

signals:
    // The command the button stands for (32771), or Stop Programming for Escape.
    void commandIssued(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CPercentProgressCtrl* m_wndProgress = nullptr;
    QPushButton* m_btnProgram = nullptr;
    QLabel* m_wndFigures = nullptr;
};
