#pragma once
// CPaneFit: how the status bar's message and its panes share the width left for them. The
// message takes the free width first: the panes give way down to their minimums (their text
// elided) before the message is cut. Pure arithmetic in pixels; any thread.

#include <span>
#include <vector>

struct CPaneWidths {
    int m_nMin = 0;
    int m_nHint = 0;
};

class CPaneFit {
public:
    // The width the panes take of flexible (the message and the panes together) when the
    // message needs message: every hint when that leaves the message enough, never less than
    // every minimum.
    static int PanesWidth(int flexible, int message, std::span<const CPaneWidths> panes);
    // Each pane's width within width: its minimum, and of what is left a share in proportion
    // to what its hint asks beyond its minimum (never beyond its hint).
    static std::vector<int> Distribute(int width, std::span<const CPaneWidths> panes);
};
