#include "port/port_setup_dlg.h"

#include "base/line_timing.h"
#include "port/port_settings.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QVBoxLayout>

#include <array>

namespace {
// A box's items: the choices of one line setting.
template <std::size_t N>
QStringList Items(const std::array<int, N>& values)
{
    QStringList items;
    for (int value : values)
        items << QString::number(value);
    return items;
}

template <std::size_t N>
QStringList Items(const std::array<const char*, N>& texts)
{
    QStringList items;
    for (const char* text : texts)
        items << QString::fromLatin1(text);
    return items;
}
} // namespace

CPortSetupDlg::CPortSetupDlg(QWidget* parent, CProbeRoots roots)
    : CResizableDialog(parent), m_roots(std::move(roots))
{
    setWindowTitle("Port Setup");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_pGrid = new QGridLayout;
    m_pGrid->setHorizontalSpacing(10);
    m_pGrid->setVerticalSpacing(6);
    m_wndPort = AddCombo(IDC_PORT, "Port", {}, 0);
    m_wndPort->setEditable(true);
    // A typed name is a value, never a new list entry.
    m_wndPort->setInsertPolicy(QComboBox::NoInsert);
    m_wndPort->setCompleter(nullptr);
    QStringList rates;
    for (int rate : CPortSettings::ListedBaudRates())
        rates << QString::number(rate);
    m_wndBaud = AddCombo(IDC_BAUD, "Baud", rates, 1);
    // Any whole rate may be typed; only digits go in, the range is checked at OK.
    m_wndBaud->setEditable(true);
    m_wndBaud->setInsertPolicy(QComboBox::NoInsert);
    m_wndBaud->setCompleter(nullptr);
    m_wndBaud->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,7}")), m_wndBaud));
    m_wndDataBits = AddCombo(IDC_DATABITS, "Data Bits", Items(CPortSettings::kDataBits), 2);
    m_wndParity = AddCombo(IDC_PARITY, "Parity", Items(CPortSettings::kParityNames), 3);
    m_wndStopBits = AddCombo(IDC_STOPBITS, "Stop Bits", Items(CPortSettings::kStopBitTexts), 4);
    m_wndHandshake = AddCombo(IDC_HANDSHAKE, "Handshake", Items(CPortSettings::kHandshakeTexts), 5);
    m_wndReconnect = new QCheckBox("&Reconnect when the device comes back", this);
    SetControlId(m_wndReconnect, IDC_RECONNECT);
    connect(m_wndReconnect, &QCheckBox::toggled, this, [this](bool on) { m_bReconnect = on; });
    m_pGrid->addWidget(m_wndReconnect, 6, 1);
    m_wndBaudError = new QLabel(this);
    m_wndBaudError->setWordWrap(true);
    m_wndBaudError->hide();
    m_pGrid->addWidget(m_wndBaudError, 7, 0, 1, 2);

    m_wndOK = new QPushButton("OK", this);
    m_wndOK->setDefault(true);
    SetControlId(m_wndOK, 1);
    m_wndCancel = new QPushButton("Cancel", this);
    SetControlId(m_wndCancel, 2);
    connect(m_wndOK, &QPushButton::clicked, this, &CPortSetupDlg::accept);
    connect(m_wndCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(m_wndOK);
    buttons->addWidget(m_wndCancel);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(18);
    layout->addLayout(m_pGrid);
    layout->addLayout(buttons);
    // Never smaller than every text needs; larger at the user's wish (the boxes take the width).
    m_pGrid->setColumnStretch(1, 1);
    layout->setStretch(0, 1);

    ShowGrip(true);
}

QComboBox* CPortSetupDlg::AddCombo(int id, const char* label, const QStringList& items, int row)
{
    auto* text = new QLabel(QString::fromLatin1(label), this);
    text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* combo = new QComboBox(this);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    combo->setMinimumWidth(130);
    text->setBuddy(combo);
    SetControlId(combo, id);
    // Only the user's choices copy texts; pre-selection leaves the members as given.
    connect(combo, &QComboBox::activated, this, [this, id](int) { OnSelChange(id); });
    m_pGrid->addWidget(text, row, 0);
    m_pGrid->addWidget(combo, row, 1);
    return combo;
}

QComboBox* CPortSetupDlg::Combo(int id) const
{
    switch (id) {
    case IDC_PORT: return m_wndPort;
    case IDC_BAUD: return m_wndBaud;
    case IDC_DATABITS: return m_wndDataBits;
    case IDC_PARITY: return m_wndParity;
    case IDC_STOPBITS: return m_wndStopBits;
    case IDC_HANDSHAKE: return m_wndHandshake;
    default: return nullptr;
    }
}

void CPortSetupDlg::showEvent(QShowEvent* event)
{
    if (!m_bInitialised)
        InitDialog();
    CResizableDialog::showEvent(event);
}

void CPortSetupDlg::InitDialog()
{
    m_bInitialised = true;
    m_wndPort->clear();
    m_ports = ProbeComPorts(m_roots);
    for (const CComPortInfo& port : m_ports)
        m_wndPort->addItem(QString::fromStdString(ComPortLabel(port)), QString::fromStdString(port.m_strName));
    // The list may be wider than the box: descriptions and hints stay readable.
    m_wndPort->view()->setMinimumWidth(m_wndPort->view()->sizeHintForColumn(0) + 8);
    SelectPort();

    const std::pair<QComboBox*, const std::string*> boxes[] = {
        {m_wndBaud, &m_strBaud}, {m_wndDataBits, &m_strDataBits}, {m_wndParity, &m_strParity},
        {m_wndStopBits, &m_strStopBits}, {m_wndHandshake, &m_strHandshake}};
    for (const auto& [combo, text] : boxes)
        combo->setCurrentIndex(FindPrefix(combo, *text));
    // A rate that is a rate selects its own entry, never a longer one it begins ("250000" is not
    // "2500000"); only a text that is no rate goes by its prefix.
    const long rate = CPortSettings::ParseLeadingInteger(m_strBaud);
    if (rate >= line_timing::kMinBaud && rate <= line_timing::kMaxBaud)
        m_wndBaud->setCurrentIndex(m_wndBaud->findText(QString::number(rate)));
    // A rate that is not listed (typed earlier) shows as it is.
    if (m_wndBaud->currentIndex() < 0)
        m_wndBaud->setEditText(QString::fromStdString(m_strBaud));
    m_wndReconnect->setChecked(m_bReconnect);
}

void CPortSetupDlg::SelectPort()
{
    // Only the port of exactly this name is selected: a prefix would turn a stored "ttyUSB1"
    // that is unplugged into a listed "ttyUSB10". The edit field keeps the stored name either way.
    // A port stored by kernel name or path finds its entry too (stored by its stable name from now on).
    int index = -1;
    for (int i = 0; i < m_wndPort->count(); ++i) {
        if (m_wndPort->itemData(i).toString().compare(QString::fromStdString(m_strPort), Qt::CaseInsensitive) == 0
            || (static_cast<std::size_t>(i) < m_ports.size() && m_ports[static_cast<std::size_t>(i)].Matches(m_strPort))) {
            index = i;
            break;
        }
    }
    m_wndPort->setCurrentIndex(index);
    m_wndPort->setEditText(index >= 0 ? m_wndPort->itemData(index).toString() : QString::fromStdString(m_strPort));
}

int CPortSetupDlg::FindPrefix(const QComboBox* combo, const std::string& text)
{
    const QString prefix = QString::fromStdString(text);
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).startsWith(prefix, Qt::CaseInsensitive))
            return i;
    return -1;
}

void CPortSetupDlg::OnSelChange(int id)
{
    QComboBox* combo = Combo(id);
    if (!combo)
        return;
    if (id == IDC_PORT) {
        // The list shows descriptions; the value is the port's name.
        const int index = combo->currentIndex();
        if (index >= 0)
            combo->setEditText(combo->itemData(index).toString());
        m_strPort = combo->currentText().toStdString();
        return;
    }
    const std::string text = combo->currentText().toStdString();
    switch (id) {
    case IDC_BAUD: m_strBaud = text; break;
    case IDC_DATABITS: m_strDataBits = text; break;
    case IDC_PARITY: m_strParity = text; break;
    case IDC_STOPBITS: m_strStopBits = text; break;
    case IDC_HANDSHAKE: m_strHandshake = text; break;
    default: break;
    }
}

void CPortSetupDlg::accept()
{
    // The last typed or chosen port text wins.
    m_strPort = m_wndPort->currentText().toStdString();
    // A typed rate must be one the line can be asked for; a chosen one is taken as it is.
    const std::string baud = m_wndBaud->currentText().toStdString();
    if (baud != m_strBaud) {
        const long rate = CPortSettings::ParseLeadingInteger(baud);
        if (baud.empty() || rate < line_timing::kMinBaud || rate > line_timing::kMaxBaud) {
            m_wndBaudError->setText(QStringLiteral("The baud rate must be a whole number from %1 to %2.")
                                        .arg(line_timing::kMinBaud)
                                        .arg(line_timing::kMaxBaud));
            m_wndBaudError->show();
            m_wndBaud->setFocus();
            return;
        }
        m_strBaud = baud;
    }
    CResizableDialog::accept();
}
