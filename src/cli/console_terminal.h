#pragma once
// CConsoleTerminal: the board's text on standard output, as the terminal window shows it.
// Main thread only. Backspace erases the last character on a terminal; into a file or pipe
// it is passed on as the byte 0x08.

#include "terminal/terminal_sink.h"

#include <cstdio>

class CConsoleTerminal : public ITerminalSink {
public:
    explicit CConsoleTerminal(std::FILE* out);
    void AppendTerminalText(std::string_view run) override;
    void DeleteLastChar() override;

private:
    std::FILE* m_pOut;
    bool m_bIsTerminal;
    bool m_bEmpty = true;
};
