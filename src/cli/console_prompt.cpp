#include "cli/console_prompt.h"

CConsolePrompt::CConsolePrompt(std::FILE* out) : m_pOut(out) {}

void CConsolePrompt::SetWriter(std::function<void(const std::string&)> writer)
{
    std::lock_guard lock(m_mutex);
    m_writer = std::move(writer);
}

int CConsolePrompt::ShowBox(const std::string& text, const std::string&, unsigned type)
{
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines.push_back(text[i]);
    }
    lines.push_back('\n');
    std::lock_guard lock(m_mutex);
    if (m_writer) {
        m_writer(lines);
    } else {
        std::fputs(lines.c_str(), m_pOut);
        std::fflush(m_pOut);
    }
    switch (type & 0xF) {
    case 0x4: // kBoxYesNo
        return kAnswerYes;
    default:
        return kAnswerOk;
    }
}
