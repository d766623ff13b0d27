#include "port/port_settings.h"

#include "base/commands.h"
#include "base/settings_store.h"

#include <climits>

using namespace cmd;

namespace {

constexpr int kBaudRates[] = {1200, 2400, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
constexpr const char* kParityTexts[] = {"N", "O", "E", "M", "S"};
constexpr const char* kStopBitTexts[] = {"1", "1.5", "2"};
constexpr const char* kHandshakeTexts[] = {"None", "RTS/CTS", "XON/XOFF"};

bool InRange(int id, int first, int last)
{
    return id >= first && id <= last;
}

} // namespace

long CPortSettings::ParseLeadingInteger(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Saturates where atol's result would be undefined; no allowed value is near the limit.
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        value = value > (LONG_MAX - digit) / 10 ? LONG_MAX : value * 10 + digit;
    }
    return negative ? -value : value;
}

int CPortSettings::NormalizeBaud(std::string& text)
{
    const long value = ParseLeadingInteger(text);
    for (int rate : kBaudRates)
        if (value == rate)
            return rate;
    text = "19200";
    return 19200;
}

int CPortSettings::NormalizeDataBits(std::string& text)
{
    const long value = ParseLeadingInteger(text);
    if (value >= 5 && value <= 8)
        return static_cast<int>(value);
    text = "8";
    return 8;
}

int CPortSettings::NormalizeParity(std::string& text)
{
    const char first = text.empty() ? '\0' : text.front();
    for (int code = 1; code < 5; ++code) {
        if (first == kParityTexts[code][0]) {
            text = kParityTexts[code];
            return code;
        }
    }
    text = "N";
    return 0;
}

int CPortSettings::NormalizeStopBits(std::string& text)
{
    for (int code = 0; code < 3; ++code)
        if (text == kStopBitTexts[code])
            return code;
    text = "1";
    return 0;
}

int CPortSettings::NormalizeHandshake(std::string& text)
{
    if (text == "None")
        return 0;
    if (text.compare(0, 7, "RTS/CTS") == 0 && text.size() >= 7) {
        text = "RTS/CTS";
        return 1;
    }
    if (text.compare(0, 8, "XON/XOFF") == 0 && text.size() >= 8) {
        text = "XON/XOFF";
        return 2;
    }
    text = "None";
    return 0;
}

void CPortSettings::LoadPortSettings(ISettingsStore& store)
{
    m_strPort = store.GetProfileString(kKeyPort, "COM1");
    m_strBaud = store.GetProfileString(kKeyBaud, "19200");
    m_strDataBits = store.GetProfileString(kKeyDataBits, "8");
    m_strParity = store.GetProfileString(kKeyParity, "N");
    m_strStopBits = store.GetProfileString(kKeyStopBits, "1");
    m_strHandshake = store.GetProfileString(kKeyHandshake, "");
    m_nBaud = NormalizeBaud(m_strBaud);
    m_nDataBits = NormalizeDataBits(m_strDataBits);
    m_nParity = NormalizeParity(m_strParity);
    m_nStopBits = NormalizeStopBits(m_strStopBits);
    m_nHandshake = NormalizeHandshake(m_strHandshake);
}

void CPortSettings::SaveAll(ISettingsStore& store) const
{
    store.WriteProfileString(kKeyPort, m_strPort);
    store.WriteProfileString(kKeyBaud, m_strBaud);
    store.WriteProfileString(kKeyDataBits, m_strDataBits);
    store.WriteProfileString(kKeyParity, m_strParity);
    store.WriteProfileString(kKeyStopBits, m_strStopBits);
    store.WriteProfileString(kKeyHandshake, m_strHandshake);
}

std::string CPortSettings::PaneText() const
{
    std::string text = m_strPort + ": " + m_strBaud + " " + m_strDataBits + m_strParity + m_strStopBits;
    if (!m_strHandshake.empty())
        text += " " + m_strHandshake;
    return text;
}

bool CPortSettings::OnPortName(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_PORT_FIRST, ID_PORT_LAST))
        return false;
    m_strPort = "COM" + std::to_string(commandId - (ID_PORT_FIRST - 1));
    store.WriteProfileString(kKeyPort, m_strPort);
    return true;
}

bool CPortSettings::OnPortListChoice(int commandId, const std::vector<std::string>& shownNames,
    ISettingsStore& store)
{
    if (!InRange(commandId, ID_PORT_FIRST, ID_PORT_LAST))
        return false;
    const std::size_t index = static_cast<std::size_t>(commandId - ID_PORT_FIRST);
    if (index >= shownNames.size())
        return false;
    m_strPort = shownNames[index];
    store.WriteProfileString(kKeyPort, m_strPort);
    return true;
}

bool CPortSettings::OnBaudRate(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_BAUD_FIRST, ID_BAUD_LAST))
        return false;
    m_nBaud = kBaudRates[commandId - ID_BAUD_FIRST];
    m_strBaud = std::to_string(m_nBaud);
    store.WriteProfileString(kKeyBaud, m_strBaud);
    return true;
}

bool CPortSettings::OnHandshake(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_HANDSHAKE_FIRST, ID_HANDSHAKE_LAST))
        return false;
    m_nHandshake = commandId - ID_HANDSHAKE_FIRST;
    m_strHandshake = kHandshakeTexts[m_nHandshake];
    store.WriteProfileString(kKeyHandshake, m_strHandshake);
    return true;
}

bool CPortSettings::OnStopBits(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_STOPBITS_FIRST, ID_STOPBITS_LAST))
        return false;
    m_nStopBits = commandId - ID_STOPBITS_FIRST;
    m_strStopBits = kStopBitTexts[m_nStopBits];
    store.WriteProfileString(kKeyStopBits, m_strStopBits);
    return true;
}

bool CPortSettings::OnParity(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_PARITY_FIRST, ID_PARITY_LAST))
        return false;
    m_nParity = commandId - ID_PARITY_FIRST;
    m_strParity = kParityTexts[m_nParity];
    store.WriteProfileString(kKeyParity, m_strParity);
    return true;
}

bool CPortSettings::OnDataBits(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_DATABITS_FIRST, ID_DATABITS_LAST))
        return false;
    m_nDataBits = 5 + (commandId - ID_DATABITS_FIRST);
    m_strDataBits = std::to_string(m_nDataBits);
    store.WriteProfileString(kKeyDataBits, m_strDataBits);
    return true;
}
