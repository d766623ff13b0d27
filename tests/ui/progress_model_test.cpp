#include "ui/progress_model.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ProgressModel, FreshControl)
{
    CProgressModel model;
    EXPECT_EQ(model.Min(), 0);
    EXPECT_EQ(model.Max(), 100);
    EXPECT_EQ(model.Pos(), 0);
    EXPECT_EQ(model.Step(), 1);
    EXPECT_EQ(model.Text(""), "0%");
}

TEST(ProgressModel, SixteenBitRangeIsUnsignedAndLimited)
{
    CProgressModel model;
    model.SetRange(0x00020000u);
    EXPECT_EQ(model.Min(), 0);
    EXPECT_EQ(model.Max(), 2);
    model.SetRange(0xFFFF8000u);
    EXPECT_EQ(model.Min(), 0x8000);
    EXPECT_EQ(model.Max(), 65535);
    model.SetRange32(-5, 200000);
    int low = 0;
    int high = 0;
    EXPECT_EQ(model.GetRange(true, &low, &high), -5);
    EXPECT_EQ(model.GetRange(false), 200000);
    EXPECT_EQ(low, -5);
    EXPECT_EQ(high, 200000);
}

struct PercentRow {
    const char* name;
    int min, max, pos;
    const char* text;
};

class ProgressPercent : public ::testing::TestWithParam<PercentRow> {};

TEST_P(ProgressPercent, TruncatesNeverClamps)
{
    const PercentRow& row = GetParam();
    CProgressModel model;
    model.SetRange32(row.min, row.max);
    model.SetPos(row.pos, 200);
    EXPECT_EQ(model.Text(""), row.text);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgressPercent,
    ::testing::Values(PercentRow{"third", 0, 3, 1, "33%"}, PercentRow{"two_thirds", 0, 3, 2, "66%"},
                      PercentRow{"almost_full", 0, 1000, 999, "99%"}, PercentRow{"full", 0, 100, 100, "100%"},
                      PercentRow{"past_end", 0, 100, 101, "101%"}, PercentRow{"below", 10, 20, 5, "-50%"},
                      PercentRow{"negative_range", -100, 100, 0, "50%"},
                      PercentRow{"far_outside", 0, 1, INT_MAX, "2147483647%"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressModel, CaptionReplacesPercentage)
{
    CProgressModel model;
    EXPECT_EQ(model.Text("Loading"), "Loading");
    EXPECT_EQ(model.Text(""), "0%");
}

TEST(ProgressModel, RepaintOnlyWhenPixelLengthChanges)
{
    CProgressModel model;
    model.SetRange32(0, 1000);
    // First change after creation always repaints (length unknown).
    EXPECT_TRUE(model.SetPos(0, 100).m_bRepaint);
    int repaints = 0;
    for (int i = 0; i < 1000; ++i)
        repaints += model.StepIt(100).m_bRepaint ? 1 : 0;
    EXPECT_EQ(repaints, 100);
    EXPECT_EQ(model.Pos(), 1000);
    // A size change forgets the length: the next change repaints even with the same length.
    model.ForgetBarLength();
    EXPECT_TRUE(model.SetPos(1000, 100).m_bRepaint);
    EXPECT_FALSE(model.SetPos(1000, 100).m_bRepaint);
}

TEST(ProgressModel, EmptyRangeNeverAsksForRepaint)
{
    CProgressModel model;
    model.SetRange32(5, 5);
    const auto result = model.SetPos(3, 100);
    EXPECT_FALSE(result.m_bRepaint);
    EXPECT_EQ(model.Pos(), 3);
    EXPECT_EQ(model.LastBarLength(), -1);
}

TEST(ProgressModel, PositionOperationsReturnThePreviousPosition)
{
    CProgressModel model;
    EXPECT_EQ(model.SetPos(40, 100).m_nOldPos, 0);
    EXPECT_EQ(model.DeltaPos(-15, 100).m_nOldPos, 40);
    EXPECT_EQ(model.Pos(), 25);
    EXPECT_EQ(model.SetStep(10), 1);
    EXPECT_EQ(model.StepIt(100).m_nOldPos, 25);
    EXPECT_EQ(model.Pos(), 35);
    // Stepping past the top keeps counting: no wrap to the lower bound.
    model.SetPos(100, 100);
    model.SetStep(1);
    model.StepIt(100);
    EXPECT_EQ(model.Pos(), 101);
    EXPECT_EQ(model.Text(""), "101%");
    EXPECT_EQ(model.BarLength(200), 202);
    // 32-bit arithmetic wraps without undefined behaviour.
    model.SetPos(INT_MAX, 100);
    model.StepIt(100);
    EXPECT_EQ(model.Pos(), INT_MIN);
}

TEST(ProgressModel, SplitHorizontalAndVertical)
{
    CProgressModel model;
    model.SetPos(50, 200);
    const auto horizontal = model.Split({0, 0, 200, 20}, false);
    EXPECT_EQ(horizontal.m_filled, (CAnchorRect{0, 0, 100, 20}));
    EXPECT_EQ(horizontal.m_empty, (CAnchorRect{100, 0, 200, 20}));
    model.SetPos(25, 200);
    const auto vertical = model.Split({0, 0, 20, 101}, true);
    // Grows upward: 101 * 0.25 truncates to 25.
    EXPECT_EQ(vertical.m_filled, (CAnchorRect{0, 76, 20, 101}));
    EXPECT_EQ(vertical.m_empty, (CAnchorRect{0, 0, 20, 76}));
}

} // namespace
