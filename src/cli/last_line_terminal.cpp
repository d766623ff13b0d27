#include "cli/last_line_terminal.h"

void CLastLineTerminal::AppendTerminalText(std::string_view run)
{
    for (char c : run) {
        if (c == '\r' || c == '\n') {
            if (!m_strLine.empty())
                m_strLast = std::move(m_strLine);
            m_strLine.clear();
        } else if (m_strLine.size() < kMaxLine) {
            m_strLine.push_back(c);
        }
    }
}

void CLastLineTerminal::DeleteLastChar()
{
    if (!m_strLine.empty())
        m_strLine.pop_back();
}
