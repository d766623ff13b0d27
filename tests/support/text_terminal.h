#pragma once
// A terminal sink for tests: keeps the text as the terminal window would show it, and every
// append. Used on one thread.

#include "terminal/terminal_sink.h"

#include <string>
#include <vector>

class CTextTerminal : public ITerminalSink {
public:
    void AppendTerminalText(std::string_view run) override
    {
        m_strText += run;
        m_appends.emplace_back(run);
    }
    void DeleteLastChar() override
    {
        if (!m_strText.empty())
            m_strText.pop_back();
    }
    std::string m_strText;
    std::vector<std::string> m_appends;
};
