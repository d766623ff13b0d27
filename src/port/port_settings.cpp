#include "port/port_settings.h"

#include "base/commands.h"
#include "base/line_timing.h"
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

std::uint32_t CPortSettings::NormalizeBaud(std::string& text)
{
    const long value = ParseLeadingInteger(text);
    if (value >= line_timing::kMinBaud && value <= line_timing::kMaxBaud)
        return static_cast<std::uint32_t>(value);
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

unsigned CPortSettings::NormalizeDataBits(std::string& text)
{
    const long value = ParseLeadingInteger(text);
    if (value >= kDataBits.front() && value <= kDataBits.back())
        return static_cast<unsigned>(value);
    text = "8";
    return 8;
}

EParity CPortSettings::NormalizeParity(std::string& text)
{
    const char first = text.empty() ? '\0' : text.front();
    for (std::size_t code = 1; code < kParityNames.size(); ++code) {
        if (first == kParityNames[code][0]) {
            const auto parity = static_cast<EParity>(code);
            text = ParityText(parity);
            return parity;
        }
    }
    text = "N";
    return EParity::None;
}

EStopBits CPortSettings::NormalizeStopBits(std::string& text)
{
    for (std::size_t code = 0; code < kStopBitTexts.size(); ++code)
        if (text == kStopBitTexts[code])
            return static_cast<EStopBits>(code);
    text = "1";
    return EStopBits::One;
}

EHandshake CPortSettings::NormalizeHandshake(std::string& text)
{
    // "None" counts only whole; the others also with a note after them.
    if (text == kHandshakeTexts[0])
        return EHandshake::None;
    for (std::size_t code = 1; code < kHandshakeTexts.size(); ++code) {
        const std::string_view name = kHandshakeTexts[code];
        if (std::string_view(text).starts_with(name)) {
            text = name;
            return static_cast<EHandshake>(code);
        }
    }
    text = kHandshakeTexts[0];
    return EHandshake::None;
}

std::string CPortSettings::ParityText(EParity parity)
{
    return std::string(1, kParityNames[static_cast<std::size_t>(parity)][0]);
}

std::string CPortSettings::StopBitsText(EStopBits stopBits)
{
    return kStopBitTexts[static_cast<std::size_t>(stopBits)];
}

std::string CPortSettings::HandshakeText(EHandshake handshake)
{
    return kHandshakeTexts[static_cast<std::size_t>(handshake)];
}

void CPortSettings::SetLine(const CLineConfig& line)
{
    SetBaud(std::to_string(line.m_nBaud));
    SetDataBits(std::to_string(line.m_nDataBits));
    SetParity(ParityText(line.m_eParity));
    SetStopBits(StopBitsText(line.m_eStopBits));
    SetHandshake(HandshakeText(line.m_eHandshake));
}

void CPortSettings::LoadPortSettings(ISettingsStore& store)
{
    m_strPort = store.ReadString(kKeyPort, "COM1");
    m_strBaud = store.ReadString(kKeyBaud, "19200");
    m_strDataBits = store.ReadString(kKeyDataBits, "8");
    m_strParity = store.ReadString(kKeyParity, "N");
    m_strStopBits = store.ReadString(kKeyStopBits, "1");
    m_strHandshake = store.ReadString(kKeyHandshake, "");
    m_bReconnect = store.ReadFlag(kKeyReconnect, 1) != 0;
    // A value the rule replaced (for parity and handshake: by a text that is not its beginning,
    // as "Odd" gives "O") was not valid: the user is told what is used instead.
    auto normalize = [&store](const char* key, std::string& text, auto rule, bool prefix) {
        const std::string read = text;
        const auto value = rule(text);
        if (!read.empty() && (prefix ? read.rfind(text, 0) != 0 : read != text))
            store.WarnUnreadable(key, read, text);
        return value;
    };
    m_line.m_nBaud = normalize(kKeyBaud, m_strBaud, NormalizeBaud, false);
    m_line.m_nDataBits = normalize(kKeyDataBits, m_strDataBits, NormalizeDataBits, false);
    m_line.m_eParity = normalize(kKeyParity, m_strParity, NormalizeParity, true);
    m_line.m_eStopBits = normalize(kKeyStopBits, m_strStopBits, NormalizeStopBits, false);
    m_line.m_eHandshake = normalize(kKeyHandshake, m_strHandshake, NormalizeHandshake, true);
}

void CPortSettings::SaveAll(ISettingsStore& store) const
{
    store.WriteString(kKeyPort, m_strPort);
    store.WriteString(kKeyBaud, m_strBaud);
    store.WriteString(kKeyDataBits, m_strDataBits);
    store.WriteString(kKeyParity, m_strParity);
    store.WriteString(kKeyStopBits, m_strStopBits);
    store.WriteString(kKeyHandshake, m_strHandshake);
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
    store.WriteString(kKeyPort, m_strPort);
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
    store.WriteString(kKeyPort, m_strPort);
    return true;
}

bool CPortSettings::OnBaudRate(int commandId, ISettingsStore& store)
{
    if (InRange(commandId, ID_BAUD_FIRST, ID_BAUD_LAST))
        m_line.m_nBaud = static_cast<std::uint32_t>(kBaudRates[static_cast<std::size_t>(commandId - ID_BAUD_FIRST)]);
    else if (InRange(commandId, ID_BAUD_MORE_FIRST, ID_BAUD_MORE_LAST))
        m_line.m_nBaud = static_cast<std::uint32_t>(kMoreBaudRates[static_cast<std::size_t>(commandId - ID_BAUD_MORE_FIRST)]);
    else
        return false;
    m_strBaud = std::to_string(m_line.m_nBaud);
    store.WriteString(kKeyBaud, m_strBaud);
    return true;
}

bool CPortSettings::OnHandshake(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_HANDSHAKE_FIRST, ID_HANDSHAKE_LAST))
        return false;
    m_line.m_eHandshake = static_cast<EHandshake>(commandId - ID_HANDSHAKE_FIRST);
    m_strHandshake = HandshakeText(m_line.m_eHandshake);
    store.WriteString(kKeyHandshake, m_strHandshake);
    return true;
}

bool CPortSettings::OnStopBits(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_STOPBITS_FIRST, ID_STOPBITS_LAST))
        return false;
    m_line.m_eStopBits = static_cast<EStopBits>(commandId - ID_STOPBITS_FIRST);
    m_strStopBits = StopBitsText(m_line.m_eStopBits);
    store.WriteString(kKeyStopBits, m_strStopBits);
    return true;
}

bool CPortSettings::OnParity(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_PARITY_FIRST, ID_PARITY_LAST))
        return false;
    m_line.m_eParity = static_cast<EParity>(commandId - ID_PARITY_FIRST);
    m_strParity = ParityText(m_line.m_eParity);
    store.WriteString(kKeyParity, m_strParity);
    return true;
}

bool CPortSettings::OnDataBits(int commandId, ISettingsStore& store)
{
    if (!InRange(commandId, ID_DATABITS_FIRST, ID_DATABITS_LAST))
        return false;
    m_line.m_nDataBits = static_cast<unsigned>(kDataBits[static_cast<std::size_t>(commandId - ID_DATABITS_FIRST)]);
    m_strDataBits = std::to_string(m_line.m_nDataBits);
    store.WriteString(kKeyDataBits, m_strDataBits);
    return true;
}
