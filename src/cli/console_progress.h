#pragma once
// CConsoleProgress: the download's progress bar on standard error, drawn only when standard
// error is a terminal, redrawn only when the shown percentage changes. The main thread draws;
// Clear and WriteOver may come from any thread (a box of the job is written over the bar).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

class CConsoleProgress {
public:
    explicit CConsoleProgress(std::FILE* out);
    bool Enabled() const { return m_bEnabled; }
    void Begin(std::uint64_t range);
    void Step();
    // The bar at pos of its range with the figures after it; drawn when the percentage changes
    // and, for new figures alone, at most every kFiguresMs.
    void Show(std::uint64_t pos, const std::string& figures);
    static constexpr int kFiguresMs = 250;
    // Clears the bar's line (at the end).
    void Clear();
    // Clears the bar's line and writes text there in one step: a step drawn by the main thread
    // meanwhile would otherwise land between the two. The bar comes back at the next step.
    void WriteOver(const std::string& text);

private:
    void Draw();
    void ClearLine();

    std::mutex m_mutex;
    std::FILE* m_pOut;
    bool m_bEnabled;
    bool m_bShown = false;
    std::uint64_t m_nRange = 0;
    std::uint64_t m_nPos = 0;
    int m_nShownPercent = -1;
    std::string m_strFigures;
    std::chrono::steady_clock::time_point m_tFiguresShown{};
};
