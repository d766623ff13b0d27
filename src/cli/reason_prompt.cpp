#include "cli/reason_prompt.h"

#include <vector>

int CReasonPrompt::ShowBox(const std::string& text, const std::string&, unsigned type)
{
    std::lock_guard lock(m_mutex);
    if (m_strReason.empty())
        m_strReason = Reason(text);
    return (type & 0xF) == kBoxYesNo ? kAnswerYes : kAnswerOk;
}

std::string CReasonPrompt::Reason() const
{
    std::lock_guard lock(m_mutex);
    return m_strReason;
}

void CReasonPrompt::Clear()
{
    std::lock_guard lock(m_mutex);
    m_strReason.clear();
}

std::string CReasonPrompt::Reason(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(c);
    }
    std::string reason = lines.front();
    std::size_t blank = 1;
    while (blank < lines.size() && !lines[blank].empty())
        ++blank;
    for (std::size_t i = blank + 1; i < lines.size(); ++i)
        if (!lines[i].empty())
            reason += " " + lines[i];
    return reason;
}
