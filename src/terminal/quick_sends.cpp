#include "terminal/quick_sends.h"

namespace {
constexpr const char* kText = "text";
constexpr const char* kFile = "file";

bool FitsOneValue(const std::string& part)
{
    return part.find_first_of("\t\r\n") == std::string::npos;
}
} // namespace

bool CQuickSends::Set(std::size_t index, const CQuickSend& send)
{
    if (index >= kCount || !FitsOneValue(send.m_strName) || !FitsOneValue(send.m_strValue))
        return false;
    m_sends[index] = send;
    return true;
}

bool CQuickSends::Any() const
{
    for (const CQuickSend& send : m_sends)
        if (send.IsSet())
            return true;
    return false;
}

std::string CQuickSends::Format(const CQuickSend& send)
{
    if (!send.IsSet())
        return {};
    return std::string(send.m_eKind == CQuickSend::EKind::File ? kFile : kText) + '\t' + send.m_strName + '\t' +
           send.m_strValue;
}

bool CQuickSends::Parse(const std::string& value, CQuickSend& send)
{
    const std::size_t first = value.find('\t');
    const std::size_t second = first == std::string::npos ? first : value.find('\t', first + 1);
    if (second == std::string::npos)
        return false;
    const std::string kind = value.substr(0, first);
    CQuickSend parsed;
    parsed.m_strName = value.substr(first + 1, second - first - 1);
    parsed.m_strValue = value.substr(second + 1);
    if (kind == kText)
        parsed.m_eKind = CQuickSend::EKind::Text;
    else if (kind == kFile)
        parsed.m_eKind = CQuickSend::EKind::File;
    else
        return false;
    // A file needs its path; a text may be empty only in name.
    if (parsed.m_strName.empty() || !FitsOneValue(parsed.m_strValue) ||
        (parsed.m_eKind == CQuickSend::EKind::File && parsed.m_strValue.empty()))
        return false;
    send = parsed;
    return true;
}

std::string CQuickSends::Key(std::size_t index)
{
    return "TerminalQuickSend" + std::to_string(index + 1);
}

void CQuickSends::Load(ISettingsStore& store)
{
    for (std::size_t i = 0; i < kCount; ++i) {
        m_sends[i] = {};
        const std::string value = store.ReadString(Key(i), "");
        if (value.empty())
            continue;
        if (!Parse(value, m_sends[i]))
            store.WarnUnreadable(Key(i), value, "no quick send");
    }
}

void CQuickSends::Save(ISettingsStore& store) const
{
    for (std::size_t i = 0; i < kCount; ++i)
        store.WriteString(Key(i), Format(m_sends[i]));
}
