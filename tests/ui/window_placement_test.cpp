#include "ui/window_placement.h"

#include <gtest/gtest.h>

namespace {

struct ParseRow {
    const char* name;
    const char* text;
    bool valid;
    CWindowPlacement expected;
};

class PlacementParse : public ::testing::TestWithParam<ParseRow> {};

TEST_P(PlacementParse, SixNumbersOrNothing)
{
    const ParseRow& row = GetParam();
    const auto placement = CWindowPlacement::Parse(row.text);
    ASSERT_EQ(placement.has_value(), row.valid);
    if (row.valid) {
        EXPECT_EQ(*placement, row.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PlacementParse,
    ::testing::Values(
        ParseRow{"six", "100,120,400,300,1,0", true, {100, 120, 400, 300, 1, 0}},
        ParseRow{"negative", "-1200,-5,-800,300,3,2", true, {-1200, -5, -800, 300, 3, 2}},
        ParseRow{"blanks_before_numbers", " 1, 2,3,4,5,6", true, {1, 2, 3, 4, 5, 6}},
        ParseRow{"trailing_text_ignored", "1,2,3,4,5,6,7x", true, {1, 2, 3, 4, 5, 6}},
        ParseRow{"overflow_saturates", "99999999999,0,0,0,1,0", true, {2147483647, 0, 0, 0, 1, 0}},
        ParseRow{"five", "100,120,400,300,1", false, {}},
        ParseRow{"empty", "", false, {}},
        ParseRow{"blank_before_comma", "1 ,2,3,4,5,6", false, {}},
        ParseRow{"letters", "a,b,c,d,e,f", false, {}},
        ParseRow{"missing_number", "1,,3,4,5,6", false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlacementFormat, RoundTrips)
{
    const CWindowPlacement placement{-10, 20, 310, 220, kShowMaximized, kRestoreToMaximized};
    EXPECT_EQ(placement.Format(), "-10,20,310,220,3,2");
    EXPECT_EQ(CWindowPlacement::Parse(placement.Format()), placement);
}

} // namespace
