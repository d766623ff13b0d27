// Font records as stored under "TerminalFont"/"OutputFont": only 60-byte values count, and the
// fields come from their fixed offsets.

#include "app/font_record.h"

#include <gtest/gtest.h>

namespace {
std::vector<std::uint8_t> Record(std::int32_t height, std::int32_t weight, std::uint8_t italic, const char* face)
{
    std::vector<std::uint8_t> data(60, 0);
    auto put = [&](std::size_t at, std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            data[at + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
    };
    put(0, height);
    put(4, 7);    // width: ignored
    put(8, 900);  // escapement: ignored
    put(16, weight);
    data[20] = italic;
    data[21] = 1; // underline: ignored
    for (std::size_t i = 0; face[i] && i < 32; ++i)
        data[28 + i] = static_cast<std::uint8_t>(face[i]);
    return data;
}
} // namespace

TEST(FontRecord, ReadsHeightWeightItalicAndFaceAtTheirOffsets)
{
    auto record = ParseLogFont(Record(-12, 700, 1, "Lucida Console"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->m_nHeight, -12);
    EXPECT_EQ(record->m_nWeight, 700);
    EXPECT_TRUE(record->m_bItalic);
    EXPECT_EQ(record->m_strFaceName, "Lucida Console");
}

TEST(FontRecord, OnlySixtyBytesCount)
{
    for (std::size_t size : {0u, 1u, 59u, 61u, 92u}) {
        std::vector<std::uint8_t> value = Record(-11, 400, 0, "Courier New");
        value.resize(size);
        EXPECT_FALSE(ParseLogFont(value)) << size << " bytes";
    }
}

TEST(FontRecord, FaceNameWithoutTerminatorEndsAtItsField)
{
    auto value = Record(10, 0, 0, "");
    for (std::size_t i = 0; i < 32; ++i)
        value[28 + i] = 'A';
    auto record = ParseLogFont(value);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->m_strFaceName, std::string(32, 'A'));
}

TEST(FontRecord, RoundTripsThroughItsStoredForm)
{
    CFontRecord in{-15, 300, true, "DejaVu Sans Mono"};
    auto out = ParseLogFont(MakeLogFont(in));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->m_nHeight, in.m_nHeight);
    EXPECT_EQ(out->m_nWeight, in.m_nWeight);
    EXPECT_EQ(out->m_bItalic, in.m_bItalic);
    EXPECT_EQ(out->m_strFaceName, in.m_strFaceName);
}
