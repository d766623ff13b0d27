#pragma once
// CHighlightDlg: edits the terminal's highlight rules (View > Highlight Rules...): one row a
// rule with its expression, its colour (a button that opens the colour chooser) and whether the
// whole line takes it; Add and Remove change the rows. GUI thread only.

#include "terminal/highlight_rules.h"

#include <QDialog>

#include <vector>

class QTableWidget;

class CHighlightDlg : public QDialog {
    Q_OBJECT
public:
    explicit CHighlightDlg(const std::vector<CHighlightRule>& rules, QWidget* parent = nullptr);

    QTableWidget& Table() { return *m_pTable; }
    std::vector<CHighlightRule> Rules() const;
    static bool Edit(QWidget* parent, std::vector<CHighlightRule>& rules);

private:
    void AddRow(const CHighlightRule& rule);

    QTableWidget* m_pTable = nullptr;
};
