// How the status bar's message and its panes share the width: the panes give way to the message
// down to their minimums, and share what they get by what they ask beyond their minimums.

#include "ui/pane_fit.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

TEST(PaneFit, ThePanesGiveWayToTheMessageDownToTheirMinimums)
{
    const std::vector<CPaneWidths> panes = {{40, 180}, {30, 70}};
    struct Case {
        const char* name;
        int flexible;
        int message;
        int panes;
    };
    const Case cases[] = {
        {"room for all", 400, 60, 250},
        {"the message's whole text first", 400, 300, 100},
        {"not even the minimums left", 300, 290, 70},
        {"narrower than the minimums", 50, 10, 70},
        {"an empty message", 120, 0, 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CPaneFit::PanesWidth(c.flexible, c.message, panes), c.panes);
    }
}

TEST(PaneFit, EachPaneGetsItsMinimumAndAShareOfTheRest)
{
    const std::vector<CPaneWidths> panes = {{40, 180}, {30, 70}, {20, 20}};
    struct Case {
        const char* name;
        int width;
        std::vector<int> widths;
    };
    const Case cases[] = {
        {"every hint", 270, {180, 70, 20}},
        {"more than every hint", 500, {180, 70, 20}},
        {"only the minimums", 90, {40, 30, 20}},
        {"below the minimums", 10, {40, 30, 20}},
        // 90 beyond the minimums, asked 140 : 40 : 0.
        {"in proportion", 180, {110, 50, 20}},
        {"a pixel left over goes to the first", 181, {111, 50, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int> widths = CPaneFit::Distribute(c.width, panes);
        EXPECT_EQ(widths, c.widths);
        if (c.width >= 90 && c.width <= 270) {
            EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), c.width) << "every pixel given";
        }
    }
}

} // namespace
