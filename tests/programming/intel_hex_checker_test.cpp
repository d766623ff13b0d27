// The Intel HEX check before a download: one row per fault and per valid variant, each file
// also fed to the simulated board's own parser, which must accept exactly the files the checker
// accepts and fill the same addresses.

#include "programming/intel_hex_checker.h"
#include "sim/board_monitor.h"
#include "sim/intel_hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

std::vector<std::uint8_t> Bytes(std::size_t n)
{
    std::vector<std::uint8_t> data(n);
    std::iota(data.begin(), data.end(), 1);
    return data;
}

const std::string kEnd = ":00000001FF\r\n";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string LfOnly(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// A 400-byte image whose 17th line has its checksum off by one.
std::string ChecksumFaultOnLine17()
{
    std::string file = EncodeIntelHex(Bytes(400), 0);
    std::size_t at = 0;
    for (int line = 1; line < 17; ++line)
        at = file.find('\n', at) + 1;
    const std::size_t sumAt = file.find('\r', at) - 1;
    file[sumAt] = file[sumAt] == '0' ? 'F' : static_cast<char>(file[sumAt] - 1);
    return file;
}

struct CHexCase {
    const char* name;
    std::string file;
    std::string fault; // empty: valid
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};

void PrintTo(const CHexCase& c, std::ostream* os) { *os << c.name; }

class IntelHexCheck : public ::testing::TestWithParam<CHexCase> {};

TEST_P(IntelHexCheck, FaultsAndValidVariantsAsTheBoardSeesThem)
{
    const CHexCase& c = GetParam();
    CIntelHexChecker checker;
    const bool valid = checker.Check(c.file);
    EXPECT_EQ(checker.Fault(), c.fault);
    EXPECT_EQ(valid, c.fault.empty());
    if (valid) {
        EXPECT_EQ(checker.LowAddress(), c.low);
        EXPECT_EQ(checker.HighAddress(), c.high);
    }

    // The board: the download command's echo and answer, one completion, nothing else.
    CBoardMonitor monitor;
    std::vector<CBoardOutput> out;
    for (char ch : "L" + c.file)
        monitor.Feed(static_cast<std::uint8_t>(ch), out);
    const bool accepted = out.size() == 3 && out[2].m_eKind == EBoardAnswer::Completion
        && monitor.CompletedDownloads() == 1;
    EXPECT_EQ(accepted, valid) << "the board's parser disagrees";
    if (accepted && valid && checker.DataBytes() != 0) {
        EXPECT_EQ(monitor.Image().LowestAddress(), checker.LowAddress());
        EXPECT_EQ(monitor.Image().LowestAddress() + monitor.Image().Flatten().size() - 1, checker.HighAddress());
    }
}

const std::string kGood = EncodeIntelHex(Bytes(40), 0x100);

INSTANTIATE_TEST_SUITE_P(Table, IntelHexCheck, ::testing::Values(
    CHexCase{"UpperCaseCrLf", kGood, "", 0x100, 0x127},
    CHexCase{"LowerCaseLf", LfOnly(Lower(kGood)), "", 0x100, 0x127},
    CHexCase{"NoLineEndAtTheEnd", ":0300000041424337\n:00000001FF", "", 0, 2},
    CHexCase{"BlankLinesAfterTheEnd", kGood + "\r\n\n\r\n", "", 0x100, 0x127},
    CHexCase{"EndOnly", kEnd, ""},
    CHexCase{"SegmentAndStartAddresses", IntelHexRecord(0x02, 0, {0x10, 0x00}) + IntelHexRecord(0x00, 4, {0xAA})
            + IntelHexRecord(0x03, 0, {0, 0, 1, 0}) + IntelHexRecord(0x05, 0, {0, 0, 1, 0}) + kEnd, "", 0x10004, 0x10004},
    CHexCase{"LinearAddressesDescendingAcross64K", EncodeIntelHex(Bytes(300), 0x1FF80, 16, true), "", 0x1FF80, 0x200AB},
    CHexCase{"SameDataTwice", IntelHexRecord(0x00, 0x10, {1, 2}) + IntelHexRecord(0x00, 0x11, {2}) + kEnd, "", 0x10, 0x11},
    CHexCase{"Checksum", ":0300000041424338\r\n" + kEnd, "line 1: checksum 38, the record needs 37"},
    CHexCase{"ChecksumDeepInTheFile", ChecksumFaultOnLine17(), "line 17: checksum 77, the record needs 78"},
    CHexCase{"NotAHexDigit", ":03000000414G4335\r\n" + kEnd, "line 1: 'G' is not a hex digit"},
    CHexCase{"NoColon", "0300000041424337\r\n" + kEnd, "line 1: the record does not start with ':'"},
    CHexCase{"OddDigits", ":030000004142433\r\n" + kEnd, "line 1: the record has an odd number of hex digits"},
    CHexCase{"TooShort", ":0000\r\n" + kEnd, "line 1: the record is too short"},
    CHexCase{"LengthDisagrees", ":0400000041424336\r\n" + kEnd, "line 1: the record holds 3 data bytes, its length says 4"},
    CHexCase{"UnknownType", IntelHexRecord(0x06, 0, {1}) + kEnd, "line 1: unknown record type 06"},
    CHexCase{"EndWithData", IntelHexRecord(0x01, 0, {1}), "line 1: a record of type 01 holds 0 data bytes, this one 1"},
    CHexCase{"ShortLinearAddress", IntelHexRecord(0x04, 0, {1}) + kEnd, "line 1: a record of type 04 holds 2 data bytes, this one 1"},
    CHexCase{"LongSegmentAddress", IntelHexRecord(0x02, 0, {1, 2, 3}) + kEnd, "line 1: a record of type 02 holds 2 data bytes, this one 3"},
    CHexCase{"ShortStartAddress", IntelHexRecord(0x05, 0, {1, 2}) + kEnd, "line 1: a record of type 05 holds 4 data bytes, this one 2"},
    CHexCase{"NoEnd", ":0300000041424337\r\n", "line 1: the file has no end record (:00000001FF)"},
    CHexCase{"TwoEnds", kEnd + kEnd, "line 2: text after the end record of line 1"},
    CHexCase{"TextAfterTheEnd", kEnd + "junk\r\n", "line 2: text after the end record of line 1"},
    CHexCase{"DifferentDataSameAddress", IntelHexRecord(0x00, 0x10, {1, 2}) + IntelHexRecord(0x00, 0x11, {3}) + kEnd,
        "line 2: address 0011 gets 03, line 1 gave it 02"},
    CHexCase{"OverlapThroughASegment", IntelHexRecord(0x00, 0x10, {1}) + IntelHexRecord(0x02, 0, {0x00, 0x01})
            + IntelHexRecord(0x00, 0, {2}) + kEnd, "line 3: address 0010 gets 02, line 1 gave it 01"},
    // Records that cross a 256-byte boundary, and an address written again after others far away.
    CHexCase{"SameDataAcrossABoundary", IntelHexRecord(0x00, 0xFE, {1, 2, 3, 4}) + IntelHexRecord(0x00, 0x100, {3})
            + kEnd, "", 0xFE, 0x101},
    CHexCase{"DifferentDataAcrossABoundary", IntelHexRecord(0x00, 0xFE, {1, 2, 3, 4}) + IntelHexRecord(0x00, 0x101, {9})
            + kEnd, "line 2: address 0101 gets 09, line 1 gave it 04"},
    CHexCase{"DifferentDataAfterOthersFarAway", IntelHexRecord(0x04, 0, {0x12, 0x34}) + IntelHexRecord(0x00, 0x10, {1})
            + IntelHexRecord(0x04, 0, {0, 0}) + IntelHexRecord(0x00, 0x10, {1, 1}) + IntelHexRecord(0x04, 0, {0x12, 0x34})
            + IntelHexRecord(0x00, 0x10, {1}) + IntelHexRecord(0x00, 0x0F, {7, 2}) + kEnd,
        "line 7: address 12340010 gets 02, line 2 gave it 01"}
), [](const auto& info) { return std::string(info.param.name); });

TEST(IntelHexCheck, WhichFilesAreChecked)
{
    struct Case {
        const char* path;
        std::string content;
        bool hex;
    };
    const Case cases[] = {
        {"a.hex", "binary", true},
        {"/x/A.IHX", "", true},
        {"a.bin", " \r\n\t:00000001FF", true},
        {"a.bin", "\x02:00", false},
        {"a.obj", "", false},
        {"hex", "x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CIntelHexChecker::IsIntelHex(c.path, c.content), c.hex) << c.path << " " << c.content;
}

} // namespace
