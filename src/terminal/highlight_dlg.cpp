#include "terminal/highlight_dlg.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum ERuleColumn { kPattern, kColour, kWholeLine };

void ShowColour(QPushButton& button, const QColor& colour)
{
    button.setProperty("colour", colour);
    button.setText(colour.name());
    button.setStyleSheet(QStringLiteral("color: %1; font-weight: bold").arg(colour.name()));
}
} // namespace

CHighlightDlg::CHighlightDlg(const std::vector<CHighlightRule>& rules, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Highlight Rules"));
    resize(560, 360);
    auto* layout = new QVBoxLayout(this);
    m_pTable = new QTableWidget(0, 3, this);
    m_pTable->setObjectName(QStringLiteral("HighlightRules"));
    m_pTable->setHorizontalHeaderLabels({tr("Regular expression (any case)"), tr("Colour"), tr("Whole line")});
    m_pTable->horizontalHeader()->setSectionResizeMode(kPattern, QHeaderView::Stretch);
    for (const CHighlightRule& rule : rules)
        AddRow(rule);
    layout->addWidget(m_pTable);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* add = buttons->addButton(tr("&Add"), QDialogButtonBox::ActionRole);
    QPushButton* remove = buttons->addButton(tr("&Remove"), QDialogButtonBox::ActionRole);
    connect(add, &QPushButton::clicked, this, [this] {
        if (m_pTable->rowCount() < static_cast<int>(CHighlightRules::kMaxRules))
            AddRow({QString().toStdString(), 0x00008B, false});
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_pTable->currentRow() >= 0)
            m_pTable->removeRow(m_pTable->currentRow());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CHighlightDlg::AddRow(const CHighlightRule& rule)
{
    const int row = m_pTable->rowCount();
    m_pTable->insertRow(row);
    m_pTable->setItem(row, kPattern, new QTableWidgetItem(QString::fromLatin1(rule.m_strPattern.data(),
                                                                                static_cast<qsizetype>(rule.m_strPattern.size()))));
    auto* colour = new QPushButton(m_pTable);
    ShowColour(*colour, QColor::fromRgb(rule.m_nRgb & 0xFFFFFF));
    connect(colour, &QPushButton::clicked, this, [this, colour] {
        const QColor chosen = QColorDialog::getColor(colour->property("colour").value<QColor>(), this);
        if (chosen.isValid())
            ShowColour(*colour, chosen);
    });
    m_pTable->setCellWidget(row, kColour, colour);
    auto* whole = new QCheckBox(m_pTable);
    whole->setChecked(rule.m_bWholeLine);
    m_pTable->setCellWidget(row, kWholeLine, whole);
}

std::vector<CHighlightRule> CHighlightDlg::Rules() const
{
    std::vector<CHighlightRule> rules;
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        const QString pattern = m_pTable->item(row, kPattern)->text();
        if (pattern.isEmpty())
            continue;
        const QColor colour = m_pTable->cellWidget(row, kColour)->property("colour").value<QColor>();
        rules.push_back({pattern.toLatin1().toStdString(), colour.rgb() & 0xFFFFFF,
                         static_cast<QCheckBox*>(m_pTable->cellWidget(row, kWholeLine))->isChecked()});
    }
    return rules;
}

bool CHighlightDlg::Edit(QWidget* parent, std::vector<CHighlightRule>& rules)
{
    CHighlightDlg dlg(rules, parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    rules = dlg.Rules();
    return true;
}
