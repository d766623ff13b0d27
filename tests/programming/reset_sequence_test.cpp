// Reset sequences as typed: their steps, and the texts that are refused with why.

#include "programming/reset_sequence.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

namespace {

using CStep = CResetSequence::CStep;

TEST(ResetSequence, TextsAndTheirSteps)
{
    const struct {
        const char* text;
        std::vector<CStep> steps;
    } cases[] = {
        {"", {}},
        {"dtr,-dtr", {{MODEM_DTR, true, 100}, {MODEM_DTR, false, 100}}},
        {"rts:50,-rts", {{MODEM_RTS, true, 50}, {MODEM_RTS, false, 100}}},
        {"-DTR:0,Rts:10000", {{MODEM_DTR, false, 0}, {MODEM_RTS, true, 10000}}},
    };
    for (const auto& c : cases) {
        CResetSequence sequence;
        std::string why;
        ASSERT_TRUE(sequence.Parse(c.text, why)) << c.text << ": " << why;
        EXPECT_EQ(sequence.Steps(), c.steps) << c.text;
    }
}

TEST(ResetSequence, TextsThatAreRefused)
{
    for (const char* text : {"cts", "dtr,", ",dtr", "dtr:", "dtr:x", "dtr:10001", "dtr:-5", "--dtr", "dtr;rts"}) {
        CResetSequence sequence;
        std::string why;
        EXPECT_FALSE(sequence.Parse(text, why)) << text;
        EXPECT_EQ(why.rfind("--reset: '", 0), 0u) << text << ": " << why;
        EXPECT_TRUE(sequence.Empty()) << text;
    }
}

} // namespace
