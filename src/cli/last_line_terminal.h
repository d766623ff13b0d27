#pragma once
// CLastLineTerminal: keeps the board's last line of text instead of showing it, for many boards
// programmed at once (they share one screen; the table, the summary and the JSON name the last
// line). One thread: the board's own (where its receive parser runs). Bounded: a line keeps at
// most kMaxLine characters.

#include "terminal/terminal_sink.h"

#include <string>

class CLastLineTerminal : public ITerminalSink {
public:
    static constexpr std::size_t kMaxLine = 256;

    void AppendTerminalText(std::string_view run) override;
    void DeleteLastChar() override;
    // The line being received, or the last complete one when none is.
    std::string LastText() const { return m_strLine.empty() ? m_strLast : m_strLine; }

private:
    std::string m_strLine;
    std::string m_strLast;
};
