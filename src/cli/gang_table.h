#pragma once
// CGangTable: what many boards programmed at once look like on standard error. On a terminal
// a table (port, percent, bytes/s, state) redrawn in place with the cursor moved up over it;
// otherwise one line per event. The texts are built by static functions (tests compare them);
// Draw, Event and Summary write them. Any thread; one write at a time. The --json texts for
// standard output are built here too.

#include "cli/gang_programmer.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CGangTable {
public:
    // terminal: whether the table is drawn (standard error is a terminal).
    CGangTable(std::FILE* out, bool terminal);
    bool Live() const { return m_bLive; }
    // Redraws the table over the last one (terminal only).
    void Draw(const std::vector<CGangBoard>& boards);
    // One line for the event (not on a terminal: the table shows it).
    void Event(const CGangBoard& board, CGangProgrammer::EEvent event);
    // A line of its own, kept above the table (the production loop's running count).
    void Line(const std::string& text);
    // The last table, then the summary.
    void Summary(const std::vector<CGangBoard>& boards);

    static std::string Rows(const std::vector<CGangBoard>& boards);
    static std::string EventLine(const CGangBoard& board, CGangProgrammer::EEvent event);
    // "Programmed 3 of 4 boards; failed:" and a line per board.
    static std::string SummaryText(const std::vector<CGangBoard>& boards);
    static const char* StateWord(const CGangBoard& board);

    // One line each, without its line end: a board's object, and a run's object (the file's
    // name, size and SHA-256, the exit status, every board). Strings are read as Latin-1, so
    // bytes past ASCII (a board's noise) are written as \u00XX and the text stays valid UTF-8.
    static std::string BoardJson(const CGangBoard& board);
    static std::string RunJson(const std::string& file, std::string_view content, int status,
        const std::vector<CGangBoard>& boards);
    // 64 lowercase hex digits.
    static std::string Sha256(std::string_view bytes);

private:
    void Erase();

    std::FILE* m_pOut;
    bool m_bLive;
    std::mutex m_mutex;
    // Lines of the table on screen, to move up over at the next redraw.
    std::size_t m_nShownLines = 0;
};
