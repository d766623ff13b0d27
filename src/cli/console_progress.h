#pragma once
// CConsoleProgress: the download's progress bar on standard error, drawn only when standard
// error is a terminal, redrawn only when the shown percentage changes. The main thread draws;
// Clear may come from any thread (a box of the job is about to be written).

#include <cstdint>
#include <cstdio>
#include <mutex>

class CConsoleProgress {
public:
    explicit CConsoleProgress(std::FILE* out);
    bool Enabled() const { return m_bEnabled; }
    void Begin(std::uint64_t range);
    void Step();
    // Clears the bar's line (before other text, and at the end).
    void Clear();

private:
    void Draw();

    std::mutex m_mutex;
    std::FILE* m_pOut;
    bool m_bEnabled;
    bool m_bShown = false;
    std::uint64_t m_nRange = 0;
    std::uint64_t m_nPos = 0;
    int m_nShownPercent = -1;
};
