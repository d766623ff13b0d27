#pragma once
// CSendPacingDlg: asks how sends to the board are paced (Terminal > Send Pacing...): the delay
// after each byte and after each line end, the text to wait for after each line with its time
// limit, and what a time-out does. GUI thread only.

#include "terminal/send_pacing.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;

class CSendPacingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSendPacingDlg(const CSendPacing& pacing, QWidget* parent = nullptr);

    // The values as the dialog holds them now.
    CSendPacing Pacing() const;
    // Shows the dialog; true (and pacing changed) when the user chose OK.
    static bool Edit(QWidget* parent, CSendPacing& pacing);

private:
    QSpinBox* m_pCharDelay = nullptr;
    QSpinBox* m_pLineDelay = nullptr;
    QLineEdit* m_pWaitFor = nullptr;
    QSpinBox* m_pWaitLimit = nullptr;
    QComboBox* m_pOnTimeout = nullptr;
};
