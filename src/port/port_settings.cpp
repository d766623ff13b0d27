#include "port/port_settings.h"

#include "base/commands.h"
#include "base/settings_store.h"

#include <algorithm>
#include <climits>
#include <string_view>

using namespace cmd;

namespace {

// Each table has one entry per command of its range.
constexpr std::size_t RangeSize(int first, int last)
{
    return static_cast<std::size_t>(last - first + 1);
}
static_assert(CPortSettings::kBaudRates.size() == RangeSize(ID_BAUD_FIRST, ID_BAUD_LAST));
static_assert(CPortSettings::kMoreBaudRates.size() == RangeSize(ID_BAUD_MORE_FIRST, ID_BAUD_MORE_LAST));
static_assert(CPortSettings::kDataBits.size() == RangeSize(ID_DATABITS_FIRST, ID_DATABITS_LAST));
static_assert(CPortSettings::kParityNames.size() == RangeSize(ID_PARITY_FIRST, ID_PARITY_LAST));
static_assert(CPortSettings::kStopBitTexts.size() == RangeSize(ID_STOPBITS_FIRST, ID_STOPBITS_LAST));
static_assert(CPortSettings::kHandshakeTexts.size() == RangeSize(ID_HANDSHAKE_FIRST, ID_HANDSHAKE_LAST));
static_assert(CPortSettings::kHandshakeMenuTexts.size() == CPortSettings::kHandshakeTexts.size());

std::string ParityText(int code)
{
    return std::string(1, CPortSettings::kParityNames[static_cast<std::size_t>(code)][0]);
}

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
    if (value >= kMinBaud && value <= kMaxBaud)
        return static_cast<int>(value);
    text = "19200";
    return 19200;
}

std::vector<int> CPortSettings::ListedBaudRates()
{
    std::vector<int> rates(kBaudRates.begin(), kBaudRates.end());
    rates.insert(rates.end(), kMoreBaudRates.begin(), kMoreBaudRates.end());
    std::sort(rates.begin(), rates.end());
    return rates;
}

int CPortSettings::BaudCommand(int rate)
{
    for (std::size_t i = 0; i < kBaudRates.size(); ++i)
        if (kBaudRates[i] == rate)
            return ID_BAUD_FIRST + static_cast<int>(i);
    for (std::size_t i = 0; i < kMoreBaudRates.size(); ++i)
        if (kMoreBaudRates[i] == rate)
            return ID_BAUD_MORE_FIRST + static_cast<int>(i);
    return 0;
}

int CPortSettings::NormalizeDataBits(std::string& text)
{
    const long value = ParseLeadingInteger(text);
    if (value >= kDataBits.front() && value <= kDataBits.back())
        return static_cast<int>(value);
    text = "8";
    return 8;
}

int CPortSettings::NormalizeParity(std::string& text)
{
    const char first = text.empty() ? '\0' : text.front();
    for (int code = 1; code < static_cast<int>(kParityNames.size()); ++code) {
        if (first == kParityNames[static_cast<std::size_t>(code)][0]) {
            text = ParityText(code);
            return code;
        }
    }
    text = "N";
    return 0;
}

int CPortSettings::NormalizeStopBits(std::string& text)
{
    for (int code = 0; code < static_cast<int>(kStopBitTexts.size()); ++code)
        if (text == kStopBitTexts[static_cast<std::size_t>(code)])
            return code;
    text = "1";
    return 0;
}

int CPortSettings::NormalizeHandshake(std::string& text)
{
    // "None" counts only whole; the others also with a note after them.
    if (text == kHandshakeTexts[0])
        return 0;
    for (int code = 1; code < static_cast<int>(kHandshakeTexts.size()); ++code) {
        const std::string_view name = kHandshakeTexts[static_cast<std::size_t>(code)];
        if (std::string_view(text).starts_with(name)) {
            text = name;
            return code;
        }
    }
    text = kHandshakeTexts[0];
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
    m_bReconnect = store.GetProfileFlag(kKeyReconnect, 1) != 0;
    // A value the rule replaced (for parity and handshake: by a text that is not its beginning,
    // as "Odd" gives "O") was not valid: the user is told what is used instead.
    auto normalize = [&store](const char* key, std::string& text, int (*rule)(std::string&), bool prefix) {
        const std::string read = text;
        const int value = rule(text);
        if (!read.empty() && (prefix ? read.rfind(text, 0) != 0 : read != text))
            store.WarnUnreadable(key, read, text);
        return value;
    };
    m_nBaud = normalize(kKeyBaud, m_strBaud, NormalizeBaud, false);
    m_nDataBits = normalize(kKeyDataBits, m_strDataBits, NormalizeDataBits, false);
    m_nParity = normalize(kKeyParity, m_strParity, NormalizeParity, true);
    m_nStopBits = normalize(kKeyStopBits, m_strStopBits, NormalizeStopBits, false);
    m_nHandshake = normalize(kKeyHandshake, m_strHandshake, NormalizeHandshake, true);
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
    return PaneText(m_strPort);
}

std::string CPortSettings::PaneText(const std::string& shownName) const
{
    std::string text = shownName + ": " + m_strBaud + " " + m_strDataBits + m_strParity + m_strStopBits;
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
    if (InRange(commandId, ID_BAUD_FIRST, ID_BAUD_LAST))
        m_nBaud = kBaudRates[static_cast<std::size_t>(commandId - ID_BAUD_FIRST)];
    else if (InRange(commandId, ID_BAUD_MORE_FIRST, ID_BAUD_MORE_LAST))
        m_nBaud = kMoreBaudRates[static_cast<std::size_t>(commandId - ID_BAUD_MORE_FIRST)];
    else
        return false;
    m_strBaud = std::to_string(m_nBaud);
    store.WriteProfileString(kKeyBaud, m_strBaud);
    return true;
}

bool CPortSettings::OnHandshake(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_HANDSHAKE_FIRST, ID_HANDSHAKE_LAST))
        return false;
    m_nHandshake = commandId - ID_HANDSHAKE_FIRST;
    m_strHandshake = kHandshakeTexts[static_cast<std::size_t>(m_nHandshake)];
    store.WriteProfileString(kKeyHandshake, m_strHandshake);
    return true;
}

bool CPortSettings::OnStopBits(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_STOPBITS_FIRST, ID_STOPBITS_LAST))
        return false;
    m_nStopBits = commandId - ID_STOPBITS_FIRST;
    m_strStopBits = kStopBitTexts[static_cast<std::size_t>(m_nStopBits)];
    store.WriteProfileString(kKeyStopBits, m_strStopBits);
    return true;
}

bool CPortSettings::OnParity(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_PARITY_FIRST, ID_PARITY_LAST))
        return false;
    m_nParity = commandId - ID_PARITY_FIRST;
    m_strParity = ParityText(m_nParity);
    store.WriteProfileString(kKeyParity, m_strParity);
    return true;
}

bool CPortSettings::OnDataBits(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_DATABITS_FIRST, ID_DATABITS_LAST))
        return false;
    m_nDataBits = kDataBits[static_cast<std::size_t>(commandId - ID_DATABITS_FIRST)];
    m_strDataBits = std::to_string(m_nDataBits);
    store.WriteProfileString(kKeyDataBits, m_strDataBits);
    return true;
}
