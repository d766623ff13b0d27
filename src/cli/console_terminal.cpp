#include "cli/console_terminal.h"

#include "cli/console_stream.h"

CConsoleTerminal::CConsoleTerminal(std::FILE* out)
    : m_pOut(out), m_bIsTerminal(IsTerminalStream(out))
{
}

void CConsoleTerminal::AppendTerminalText(std::string_view run)
{
    if (run.empty())
        return;
    std::fwrite(run.data(), 1, run.size(), m_pOut);
    std::fflush(m_pOut);
    m_bEmpty = false;
}

void CConsoleTerminal::DeleteLastChar()
{
    // Nothing to delete before the first character.
    if (m_bEmpty)
        return;
    std::fputs(m_bIsTerminal ? "\b \b" : "\b", m_pOut);
    std::fflush(m_pOut);
}
