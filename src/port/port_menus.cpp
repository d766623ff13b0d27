#include "port/port_menus.h"

#include "base/commands.h"
#include "base/settings_store.h"
#include "port/open_configured_port.h"
#include "port/port_settings.h"
#include "port/port_setup_dlg.h"
#include "serial/serial_wnd.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <array>
#include <optional>

namespace {
struct CConfigItem {
    QString m_strText;
    int m_nId;
};

struct CConfigMenu {
    const char* m_pszTitle;
    std::vector<CConfigItem> m_items;
};

// One item per choice, with the commands from firstId on.
template <std::size_t N>
std::vector<CConfigItem> Items(const std::array<int, N>& values, int firstId)
{
    std::vector<CConfigItem> items;
    for (int value : values)
        items.push_back({QString::number(value), firstId + static_cast<int>(items.size())});
    return items;
}

// prefix "&" makes each text's first letter its mnemonic.
template <std::size_t N>
std::vector<CConfigItem> Items(const std::array<const char*, N>& texts, int firstId, const char* prefix = "")
{
    std::vector<CConfigItem> items;
    for (const char* text : texts)
        items.push_back({QString::fromLatin1(prefix) + QString::fromLatin1(text), firstId + static_cast<int>(items.size())});
    return items;
}

// Every listed rate in ascending order, each with its command.
std::vector<CConfigItem> BaudItems()
{
    std::vector<CConfigItem> items;
    for (int rate : CPortSettings::ListedBaudRates())
        items.push_back({QString::number(rate), CPortSettings::BaudCommand(rate)});
    return items;
}

// Menu 130's "_CONFIG_" pop-up.
const std::vector<CConfigMenu>& ConfigMenus()
{
    static const std::vector<CConfigMenu> menus = {
        {"&Baud Rate", BaudItems()},
        {"&Data Bits", Items(CPortSettings::kDataBits, cmd::ID_DATABITS_FIRST)},
        {"P&arity", Items(CPortSettings::kParityNames, cmd::ID_PARITY_FIRST, "&")},
        {"&Stop Bits", Items(CPortSettings::kStopBitTexts, cmd::ID_STOPBITS_FIRST)},
        {"&Handshake", Items(CPortSettings::kHandshakeMenuTexts, cmd::ID_HANDSHAKE_FIRST)},
    };
    return menus;
}
} // namespace

CPortMenus::CPortMenus(CPortSettings& settings, ISettingsStore& store, CSerialWnd& serial,
    IMessageSink* sink, IUserPrompt& prompt, AttachTerminal attachTerminal, QWidget* owner)
    : QObject(owner), m_settings(settings), m_store(store), m_serial(serial), m_pSink(sink),
      m_prompt(prompt), m_attachTerminal(std::move(attachTerminal)), m_pOwner(owner)
{
}

CPortMenus::~CPortMenus() = default;

void CPortMenus::Changed()
{
    if (m_settingsChanged)
        m_settingsChanged();
}

std::unique_ptr<CPortSetupDlg> CPortMenus::CreatePortSetupDialog() const
{
    auto dialog = std::make_unique<CPortSetupDlg>(m_pOwner, m_roots);
    dialog->m_strPort = m_settings.m_strPort;
    dialog->m_strBaud = m_settings.m_strBaud;
    dialog->m_strDataBits = m_settings.m_strDataBits;
    dialog->m_strParity = m_settings.m_strParity;
    dialog->m_strStopBits = m_settings.m_strStopBits;
    dialog->m_strHandshake = m_settings.m_strHandshake;
    dialog->m_bReconnect = m_settings.m_bReconnect;
    return dialog;
}

void CPortMenus::OnPortSetup()
{
    const auto dialog = CreatePortSetupDialog();
    const int result = dialog->exec();
    FinishPortSetup(*dialog, result);
}

void CPortMenus::FinishPortSetup(const CPortSetupDlg& dialog, int result)
{
    if (result == QDialog::Accepted) {
        // Normalised first, so the store holds what the port pane shows.
        m_settings.SetPortName(dialog.m_strPort);
        m_settings.SetBaud(dialog.m_strBaud);
        m_settings.SetDataBits(dialog.m_strDataBits);
        m_settings.SetParity(dialog.m_strParity);
        m_settings.SetStopBits(dialog.m_strStopBits);
        m_settings.SetHandshake(dialog.m_strHandshake);
        m_settings.SaveAll(m_store);
        m_settings.m_bReconnect = dialog.m_bReconnect;
        m_store.WriteInt(CPortSettings::kKeyReconnect, dialog.m_bReconnect ? 1 : 0);
        Changed();
    }
    // OK opens the chosen port, whether or not it was open (one that failed to open before gets
    // its next try here); Cancel applies the settings to an open port and leaves a closed one.
    const bool open = result == QDialog::Accepted || m_serial.IsOpen();
    if (!open)
        return;
    if (m_isBusy && m_isBusy()) {
        m_bReopenPending = true;
        return;
    }
    Reopen();
}

void CPortMenus::ApplyPendingReopen()
{
    if (!m_bReopenPending)
        return;
    m_bReopenPending = false;
    Reopen();
}

bool CPortMenus::Reopen()
{
    if (m_serial.IsOpen())
        m_serial.Close();
    const bool opened = OpenConfiguredPort(m_serial, m_settings, m_pSink, m_prompt, std::string(kTextPortOpenError),
        m_attachTerminal);
    if (m_portStateChanged)
        m_portStateChanged();
    return opened;
}

std::unique_ptr<QMenu> CPortMenus::BuildPortListMenu()
{
    auto menu = std::make_unique<QMenu>(m_pOwner);
    m_shownNames.clear();
    const std::vector<CComPortInfo> ports = ProbeComPorts(m_roots);
    for (const CComPortInfo& port : ports) {
        if (static_cast<int>(m_shownNames.size()) >= kMaxListedPorts)
            break;
        const int id = cmd::ID_PORT_FIRST + static_cast<int>(m_shownNames.size());
        m_shownNames.push_back(port.m_strName);
        // Labels may hold '&' (a product name): shown as is, not as a mnemonic.
        QString label = QString::fromStdString(ComPortLabel(port));
        label.replace('&', "&&");
        QAction* action = menu->addAction(label);
        action->setData(id);
        // Only the current port carries a mark; the others show no empty box.
        const bool current = port.Matches(m_settings.m_strPort);
        action->setCheckable(current);
        action->setChecked(current);
        action->setEnabled(port.m_eState == EComPortState::Present);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    return menu;
}

std::unique_ptr<QMenu> CPortMenus::BuildConfigMenu()
{
    auto menu = std::make_unique<QMenu>("_CONFIG_", m_pOwner);
    // "&Port" has no handler, so it shows greyed: it only names the menu's subject.
    QAction* title = menu->addAction("&Port");
    title->setData(65535);
    title->setEnabled(false);
    if (!m_portActions.isEmpty()) {
        menu->addActions(m_portActions);
        menu->addSeparator();
    }
    // Each sub-menu marks the value set now (one exclusive group per setting).
    const CLineConfig& line = m_settings.m_line;
    const int current[] = {CPortSettings::BaudCommand(static_cast<int>(line.m_nBaud)),
        cmd::ID_DATABITS_FIRST + static_cast<int>(line.m_nDataBits) - CPortSettings::kDataBits.front(),
        cmd::ID_PARITY_FIRST + static_cast<int>(line.m_eParity), cmd::ID_STOPBITS_FIRST + static_cast<int>(line.m_eStopBits),
        cmd::ID_HANDSHAKE_FIRST + static_cast<int>(line.m_eHandshake)};
    int index = 0;
    for (const CConfigMenu& sub : ConfigMenus()) {
        QMenu* popup = menu->addMenu(QString::fromLatin1(sub.m_pszTitle));
        auto* group = new QActionGroup(popup);
        group->setExclusive(true);
        const int checkedId = current[index++];
        for (const CConfigItem& item : sub.m_items) {
            QAction* action = popup->addAction(item.m_strText);
            action->setData(item.m_nId);
            action->setCheckable(true);
            action->setChecked(item.m_nId == checkedId);
            group->addAction(action);
            const int id = item.m_nId;
            connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        }
    }
    return menu;
}

void CPortMenus::OnPortListMenu(const QRect& paneOnScreen)
{
    const auto menu = BuildPortListMenu();
    if (menu->isEmpty())
        return;
    menu->exec(QPoint(paneOnScreen.left() + paneOnScreen.width(), paneOnScreen.top()));
}

void CPortMenus::OnPortConfigMenu(const QRect& paneOnScreen)
{
    const auto menu = BuildConfigMenu();
    if (m_pOwner)
        m_pOwner->window()->activateWindow();
    menu->exec(QPoint(paneOnScreen.left(), paneOnScreen.top() + paneOnScreen.height()));
}

bool CPortMenus::OnCommand(int id)
{
    bool handled = false;
    if (id >= cmd::ID_PORT_FIRST && id <= cmd::ID_PORT_LAST)
        handled = m_settings.OnPortListChoice(id, m_shownNames, m_store);
    else if ((id >= cmd::ID_BAUD_FIRST && id <= cmd::ID_BAUD_LAST) || (id >= cmd::ID_BAUD_MORE_FIRST && id <= cmd::ID_BAUD_MORE_LAST))
        handled = m_settings.OnBaudRate(id, m_store);
    else if (id >= cmd::ID_HANDSHAKE_FIRST && id <= cmd::ID_HANDSHAKE_LAST)
        handled = m_settings.OnHandshake(id, m_store);
    else if (id >= cmd::ID_STOPBITS_FIRST && id <= cmd::ID_STOPBITS_LAST)
        handled = m_settings.OnStopBits(id, m_store);
    else if (id >= cmd::ID_PARITY_FIRST && id <= cmd::ID_PARITY_LAST)
        handled = m_settings.OnParity(id, m_store);
    else if (id >= cmd::ID_DATABITS_FIRST && id <= cmd::ID_DATABITS_LAST)
        handled = m_settings.OnDataBits(id, m_store);
    if (handled)
        Changed();
    return handled;
}
