#include "terminal/quick_send_dlg.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
enum ESendColumn { kName, kKind, kValue };

QString FromLatin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QComboBox* Kind(QTableWidget& table, int row)
{
    return static_cast<QComboBox*>(table.cellWidget(row, kKind));
}
} // namespace

CQuickSendDlg::CQuickSendDlg(const CQuickSends& sends, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Quick Sends"));
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    m_pTable = new QTableWidget(static_cast<int>(CQuickSends::kCount), 3, this);
    m_pTable->setObjectName(QStringLiteral("QuickSends"));
    m_pTable->setHorizontalHeaderLabels({tr("Name"), tr("Sends"), tr("Text (\\xHH, \\r, \\n, \\t, \\\\) or file")});
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        const CQuickSend& send = sends.At(static_cast<std::size_t>(row));
        m_pTable->setVerticalHeaderItem(row, new QTableWidgetItem(QStringLiteral("Shift+F%1").arg(row + 1)));
        m_pTable->setItem(row, kName, new QTableWidgetItem(FromLatin1(send.m_strName)));
        auto* kind = new QComboBox(m_pTable);
        kind->addItems({tr("Text"), tr("File")});
        kind->setCurrentIndex(send.m_eKind == CQuickSend::EKind::File ? 1 : 0);
        m_pTable->setCellWidget(row, kKind, kind);
        m_pTable->setItem(row, kValue, new QTableWidgetItem(FromLatin1(send.m_strValue)));
    }
    layout->addWidget(m_pTable);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* browse = buttons->addButton(tr("&Browse..."), QDialogButtonBox::ActionRole);
    connect(browse, &QPushButton::clicked, this, &CQuickSendDlg::Browse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CQuickSendDlg::Browse()
{
    const int row = std::max(0, m_pTable->currentRow());
    const QString path = QFileDialog::getOpenFileName(this, tr("Quick Send File"), m_pTable->item(row, kValue)->text(),
                                                      tr("All files (*)"));
    if (path.isEmpty())
        return;
    Kind(*m_pTable, row)->setCurrentIndex(1);
    m_pTable->item(row, kValue)->setText(path);
    if (m_pTable->item(row, kName)->text().isEmpty())
        m_pTable->item(row, kName)->setText(QFileInfo(path).fileName());
}

CQuickSends CQuickSendDlg::Sends() const
{
    CQuickSends sends;
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        CQuickSend send;
        send.m_strName = m_pTable->item(row, kName)->text().trimmed().toLatin1().toStdString();
        send.m_eKind = Kind(*m_pTable, row)->currentIndex() == 1 ? CQuickSend::EKind::File : CQuickSend::EKind::Text;
        const QString value = m_pTable->item(row, kValue)->text();
        send.m_strValue = send.m_eKind == CQuickSend::EKind::File ? QFile::encodeName(value).toStdString()
                                                                 : value.toLatin1().toStdString();
        if (send.IsSet())
            sends.Set(static_cast<std::size_t>(row), send);
    }
    return sends;
}

bool CQuickSendDlg::Edit(QWidget* parent, CQuickSends& sends)
{
    CQuickSendDlg dlg(sends, parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    sends = dlg.Sends();
    return true;
}
