#include "ui/pane_fit.h"

#include <algorithm>

int CPaneFit::PanesWidth(int flexible, int message, std::span<const CPaneWidths> panes)
{
    int minimum = 0;
    int hint = 0;
    for (const CPaneWidths& pane : panes) {
        minimum += pane.m_nMin;
        hint += std::max(pane.m_nMin, pane.m_nHint);
    }
    return std::clamp(flexible - message, minimum, hint);
}

std::vector<int> CPaneFit::Distribute(int width, std::span<const CPaneWidths> panes)
{
    std::vector<int> widths;
    widths.reserve(panes.size());
    long long minimum = 0;
    long long extra = 0;
    for (const CPaneWidths& pane : panes) {
        minimum += pane.m_nMin;
        extra += std::max(0, pane.m_nHint - pane.m_nMin);
    }
    const long long spare = std::clamp<long long>(width - minimum, 0, extra);
    // Shares rounded down, the pixels left over to the first panes that can take one more.
    long long given = 0;
    for (const CPaneWidths& pane : panes) {
        const long long asks = std::max(0, pane.m_nHint - pane.m_nMin);
        const long long share = extra > 0 ? asks * spare / extra : 0;
        widths.push_back(pane.m_nMin + static_cast<int>(share));
        given += share;
    }
    for (std::size_t i = 0; i < panes.size() && given < spare; ++i) {
        if (widths[i] < std::max(panes[i].m_nMin, panes[i].m_nHint)) {
            ++widths[i];
            ++given;
        }
    }
    return widths;
}
