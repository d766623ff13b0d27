// The progress bar's length: the curve while no total is known, the proportion with a total.

#include "browser/loading_progress.h"

#include <gtest/gtest.h>

TEST(LoadingBar, CurveWithoutTotal)
{
    const struct {
        int count;
        int width;
    } rows[] = {{0, 0}, {1, 8}, {2, 16}, {5, 34}, {10, 47}, {15, 49}, {100, 49}, {1000000, 49}};
    for (const auto& row : rows) {
        EXPECT_EQ(LoadingBarWidth(0, row.count), row.width) << row.count << " items";
        EXPECT_EQ(LoadingBarWidth(-1, row.count), row.width) << row.count << " items, negative total";
    }
}

TEST(LoadingBar, ProportionWithTotal)
{
    const struct {
        int total;
        int count;
        int width;
    } rows[] = {{1, 0, 0}, {1, 1, 50}, {4, 1, 12}, {3, 2, 33}, {10000, 9999, 49}, {2, 5, 50}};
    for (const auto& row : rows)
        EXPECT_EQ(LoadingBarWidth(row.total, row.count), row.width) << row.count << " of " << row.total;
}

TEST(LoadingProgress, CountsAndNotifies)
{
    int notified = 0;
    CLoadingProgress progress([&] { ++notified; });
    progress.SetLoadingProgress(0, 0);
    progress.AddLoadingProgress(1);
    progress.AddLoadingProgress(1);
    int total = -5;
    EXPECT_EQ(progress.GetLoadingProgress(&total), 2);
    EXPECT_EQ(total, 0);
    EXPECT_EQ(notified, 3);
    EXPECT_FALSE(progress.IsCancelled());
    progress.Cancel();
    EXPECT_TRUE(progress.IsCancelled());
}
