#include "ui/anchor_record.h"

#include <gtest/gtest.h>

namespace {

TEST(MulDiv, RoundsHalfAwayFromZeroAndRefusesZeroDivisor)
{
    EXPECT_EQ(MulDiv(333, 50, 100), 167);
    EXPECT_EQ(MulDiv(-333, 50, 100), -167);
    EXPECT_EQ(MulDiv(332, 50, 100), 166);
    EXPECT_EQ(MulDiv(10, 1, 0), -1);
    EXPECT_EQ(MulDiv(2000000000, 3, 1), -1);
    EXPECT_EQ(MulDiv(2000000000, 100, 100), 2000000000);
}

TEST(AnchorRecord, NoTopLeftAnchorIsRefused)
{
    EXPECT_FALSE(AnchorRecord::Make(ANCHOR_NONE, ANCHOR_TOP_RIGHT, 100, 100, {1, 2, 3, 4}));
}

TEST(AnchorRecord, TopLeftOnlyKeepsPositionAndSize)
{
    const auto record = AnchorRecord::Make(ANCHOR_TOP_LEFT, ANCHOR_TOP_LEFT, 300, 200, {10, 20, 60, 45});
    ASSERT_TRUE(record);
    for (int size : {50, 300, 1000})
        EXPECT_EQ(record->Layout(size, size), (CAnchorRect{10, 20, 60, 45})) << size;
}

TEST(AnchorRecord, MissingBottomRightFollowsTopLeftPoint)
{
    // A button at the right edge moves with it and keeps its size.
    const auto record = AnchorRecord::Make(ANCHOR_TOP_RIGHT, ANCHOR_NONE, 300, 100, {230, 8, 290, 30});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->m_nRightPercent, 100);
    EXPECT_EQ(record->m_nBottomPercent, 0);
    EXPECT_EQ(record->Layout(500, 40), (CAnchorRect{430, 8, 490, 30}));
}

TEST(AnchorRecord, StretchedChildKeepsItsMargins)
{
    const auto record = AnchorRecord::Make(ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT, 200, 100, {10, 10, 190, 90});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Layout(640, 480), (CAnchorRect{10, 10, 630, 470}));
    EXPECT_EQ(record->Layout(21, 21), (CAnchorRect{10, 10, 11, 11}));
}

TEST(AnchorRecord, RegistrationTruncatesLayoutRounds)
{
    // 333 at 50 %: registration uses 166, layout 167, so the child moves one pixel at once.
    const auto record = AnchorRecord::Make({50, 0}, {50, 0}, 333, 100, {166, 0, 186, 10});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->m_nLeftOffset, 0);
    EXPECT_EQ(record->m_nRightOffset, 20);
    EXPECT_EQ(record->Layout(333, 100), (CAnchorRect{167, 0, 187, 10}));
}

TEST(AnchorRecord, OffsetsFollowTheEightFieldsInOrder)
{
    const auto record = AnchorRecord::Make({25, 50}, {75, 100}, 101, 51, {5, 6, 70, 40});
    ASSERT_TRUE(record);
    // 25*101/100 = 25, 50*51/100 = 25, 101*75/100 = 75, 51*100/100 = 51.
    EXPECT_EQ(*record, (AnchorRecord{25, 50, 5 - 25, 6 - 25, 75, 100, 70 - 75, 40 - 51}));
}

} // namespace
