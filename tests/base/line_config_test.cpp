// The typed line: which framings a UART can send, and what each costs in bits and time.

#include "base/line_config.h"
#include "base/line_timing.h"

#include <gtest/gtest.h>

namespace {

struct FramingRow {
    const char* m_name;
    CLineConfig m_line;
    unsigned m_nBits; // bits per character
    bool m_bValid;
};

TEST(LineConfig, BitsPerCharacterAndValidFraming)
{
    const FramingRow rows[] = {
        {"8N1, the default", {}, 10, true},
        {"7E1", {9600, 7, EParity::Even, EStopBits::One}, 10, true},
        {"8O1", {9600, 8, EParity::Odd, EStopBits::One}, 11, true},
        {"8E2", {9600, 8, EParity::Even, EStopBits::Two}, 12, true},
        {"8N2", {9600, 8, EParity::None, EStopBits::Two}, 11, true},
        {"8M1", {9600, 8, EParity::Mark, EStopBits::One}, 11, true},
        {"6S2", {9600, 6, EParity::Space, EStopBits::Two}, 10, true},
        {"5N1", {9600, 5, EParity::None, EStopBits::One}, 7, true},
        {"5N1.5 rounds up", {9600, 5, EParity::None, EStopBits::OneAndHalf}, 8, true},
        {"5E1.5", {9600, 5, EParity::Even, EStopBits::OneAndHalf}, 9, true},
        {"1.5 stop bits need 5 data bits", {9600, 8, EParity::None, EStopBits::OneAndHalf}, 11, false},
        {"2 stop bits not with 5", {9600, 5, EParity::None, EStopBits::Two}, 8, false},
        {"4 data bits", {9600, 4, EParity::None, EStopBits::One}, 6, false},
        {"9 data bits", {9600, 9, EParity::None, EStopBits::One}, 11, false},
        {"no rate", {0, 8, EParity::None, EStopBits::One}, 10, false},
        {"parity past the last", {9600, 8, static_cast<EParity>(5), EStopBits::One}, 11, false},
        {"stop bits past the last", {9600, 8, EParity::None, static_cast<EStopBits>(3)}, 11, false},
    };
    for (const FramingRow& row : rows) {
        SCOPED_TRACE(row.m_name);
        EXPECT_EQ(line_timing::BitsPerCharacter(row.m_line), row.m_nBits);
        EXPECT_EQ(IsValidFraming(row.m_line), row.m_bValid);
    }
    EXPECT_TRUE(IsValidHandshake(EHandshake::Software));
    EXPECT_FALSE(IsValidHandshake(static_cast<EHandshake>(3)));
}

TEST(LineConfig, RatesFollowTheFraming)
{
    struct Row {
        const char* m_name;
        CLineConfig m_line;
        double m_dPerSecond;
        std::uint64_t m_nIn100ms;
    } const rows[] = {
        {"9600 8N1", {9600}, 960, 96},
        {"9600 8E2", {9600, 8, EParity::Even, EStopBits::Two}, 800, 80},
        {"115200 7E1", {115200, 7, EParity::Even}, 11520, 1152},
        {"300 5N1.5", {300, 5, EParity::None, EStopBits::OneAndHalf}, 37.5, 3},
        {"no rate carries nothing", {0}, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_name);
        const unsigned bits = line_timing::BitsPerCharacter(row.m_line);
        EXPECT_DOUBLE_EQ(line_timing::CharactersPerSecond(row.m_line), row.m_dPerSecond);
        EXPECT_EQ(line_timing::CharactersIn(std::chrono::milliseconds(100), row.m_line.m_nBaud, bits), row.m_nIn100ms);
        // What the line carries in a time takes no longer than that time.
        if (row.m_line.m_nBaud != 0) {
            EXPECT_LE(line_timing::LineTime(row.m_nIn100ms, row.m_line.m_nBaud, bits), std::chrono::milliseconds(100));
        }
    }
}

} // namespace
