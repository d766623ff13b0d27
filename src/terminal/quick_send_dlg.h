#pragma once
// CQuickSendDlg: edits the quick sends (Terminal > Quick Sends...): one row a send with its
// name, whether it sends a text or a file, and the text (escapes as on the command line) or the
// file's path; Browse... puts a chosen file in the current row. A row without a name is an empty
// slot. GUI thread only.

#include "terminal/quick_sends.h"

#include <QDialog>

class QTableWidget;

class CQuickSendDlg : public QDialog {
    Q_OBJECT
public:
    explicit CQuickSendDlg(const CQuickSends& sends, QWidget* parent = nullptr);

    QTableWidget& Table() { return *m_pTable; }
    // The sends as the rows hold them now.
    CQuickSends Sends() const;
    // Shows the dialog; true (and sends changed) when the user chose OK.
    static bool Edit(QWidget* parent, CQuickSends& sends);

private:
    void Browse();

    QTableWidget* m_pTable = nullptr;
};
