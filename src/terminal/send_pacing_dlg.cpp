#include "terminal/send_pacing_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QSpinBox* MsBox(int low, int high, int value, const char* name, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(low, high);
    box->setSuffix(QStringLiteral(" ms"));
    box->setValue(value);
    return box;
}
} // namespace

CSendPacingDlg::CSendPacingDlg(const CSendPacing& pacing, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Send Pacing"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(tr("For Paste to Board, Send File and the command line. All zero and no text: the bytes "
                               "go as fast as the line takes them."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    m_pCharDelay = MsBox(0, CSendPacing::kMaxCharDelayMs, pacing.m_nCharDelayMs, "CharDelay", this);
    m_pLineDelay = MsBox(0, CSendPacing::kMaxLineDelayMs, pacing.m_nLineDelayMs, "LineDelay", this);
    m_pWaitFor = new QLineEdit(QString::fromLatin1(pacing.m_strWaitFor.data(),
                                                   static_cast<qsizetype>(pacing.m_strWaitFor.size())),
                               this);
    m_pWaitFor->setObjectName(QStringLiteral("WaitFor"));
    m_pWaitFor->setMaxLength(static_cast<int>(CSendPacing::kMaxWaitText));
    m_pWaitFor->setPlaceholderText(tr("nothing (for example > or ok)"));
    m_pWaitLimit = MsBox(CSendPacing::kMinWaitLimitMs, CSendPacing::kMaxWaitLimitMs, pacing.m_nWaitLimitMs,
                         "WaitLimit", this);
    m_pOnTimeout = new QComboBox(this);
    m_pOnTimeout->setObjectName(QStringLiteral("OnTimeout"));
    m_pOnTimeout->addItems({tr("Stop sending and say at which line"), tr("Go on with the next line")});
    m_pOnTimeout->setCurrentIndex(pacing.m_bGoOnAfterTimeout ? 1 : 0);
    form->addRow(tr("Delay after each &character:"), m_pCharDelay);
    form->addRow(tr("Delay after each &line end:"), m_pLineDelay);
    form->addRow(tr("&Wait for this text from the board before the next line:"), m_pWaitFor);
    form->addRow(tr("Wait at &most:"), m_pWaitLimit);
    form->addRow(tr("When it does not come:"), m_pOnTimeout);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

CSendPacing CSendPacingDlg::Pacing() const
{
    CSendPacing pacing;
    pacing.m_nCharDelayMs = m_pCharDelay->value();
    pacing.m_nLineDelayMs = m_pLineDelay->value();
    pacing.m_strWaitFor = m_pWaitFor->text().toLatin1().toStdString();
    pacing.m_nWaitLimitMs = m_pWaitLimit->value();
    pacing.m_bGoOnAfterTimeout = m_pOnTimeout->currentIndex() == 1;
    return pacing;
}

bool CSendPacingDlg::Edit(QWidget* parent, CSendPacing& pacing)
{
    CSendPacingDlg dlg(pacing, parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    pacing = dlg.Pacing();
    return true;
}
