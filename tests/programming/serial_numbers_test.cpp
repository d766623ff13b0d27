// Serial numbers: their formats, where they go in an Intel HEX file (one record, two records, a
// 64 KiB boundary, segment addresses, not there at all) and the counter file that keeps the
// next one (missing, unreadable, not a number, a run that ends between board and file).

#include "programming/intel_hex_checker.h"
#include "programming/intel_hex_patch.h"
#include "programming/serial_numbers.h"
#include "sim/intel_hex.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

std::vector<std::uint8_t> Counting(std::size_t n)
{
    std::vector<std::uint8_t> data(n);
    std::iota(data.begin(), data.end(), 1);
    return data;
}

std::string LowerHexDigits(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

CProgramImage Image(const std::string& text, const std::string& path = "a.hex")
{
    CProgramImage image;
    image.m_strPath = path;
    image.m_data.assign(text.begin(), text.end());
    image.m_bHex = CIntelHexChecker::IsIntelHex(path, text);
    return image;
}

struct FormatCase {
    const char* option;
    std::uint64_t number;
    std::vector<std::uint8_t> bytes; // empty: does not fit
};

TEST(SerialNumbers, FormatsGiveTheirBytes)
{
    const std::vector<FormatCase> cases = {
        {"0:le16:0", 0x1234, {0x34, 0x12}},
        {"0:be16:0", 0x1234, {0x12, 0x34}},
        {"0:le32:0", 1000, {0xE8, 0x03, 0x00, 0x00}},
        {"0:be32:0", 1000, {0x00, 0x00, 0x03, 0xE8}},
        {"0:ascii:6:0", 1000, {'0', '0', '1', '0', '0', '0'}},
        {"0:ascii:3:0", 999, {'9', '9', '9'}},
        {"0:le16:0", 65536, {}},
        {"0:be32:0", 0x100000000ull, {}},
        {"0:ascii:3:0", 1000, {}},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + std::to_string(c.number));
        CSerialNumbers serials;
        std::string why;
        ASSERT_TRUE(serials.Parse(c.option, why)) << why;
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(serials.Bytes(c.number, bytes), !c.bytes.empty());
        if (!c.bytes.empty()) {
            EXPECT_EQ(bytes, c.bytes);
        }
    }
}

TEST(SerialNumbers, OptionValuesThatAreRefused)
{
    for (const char* option : {"", "0x7FF0", "0x7FF0:le32", "0x7FF0:le64:1", "zz:le32:1", "0x7FF0:le32:x",
             "0x7FF0:le32:1:0", "0x7FF0:ascii:0:1", "0x7FF0:ascii:21:1", "0x7FF0:le16:70000", "0x100000000:le16:1",
             "1:le16:1:2:3"}) {
        CSerialNumbers serials;
        std::string why;
        EXPECT_FALSE(serials.Parse(option, why)) << option;
        EXPECT_NE(why.find("--serial"), std::string::npos) << option << ": " << why;
    }
}

struct PatchCase {
    const char* name;
    std::uint32_t base;        // where the file's data starts
    std::size_t size;          // data bytes
    std::size_t recordBytes;   // data bytes a record
    std::uint32_t address;     // where the number goes
    bool lower;                // the file in lower case
    std::uint32_t missing;     // 0: covered
};

TEST(IntelHexPatch, RewritesOnlyTheRecordsThatHoldTheAddress)
{
    const std::vector<PatchCase> cases = {
        {"inside one record", 0x7F00, 0x200, 16, 0x7FF4, false, 0},
        {"across two records", 0x7F00, 0x200, 16, 0x7FFE, false, 0},
        {"across a 64 KiB boundary", 0xFF00, 0x200, 16, 0xFFFE, false, 0},
        {"lower case stays lower", 0x7F00, 0x200, 16, 0x7FFE, true, 0},
        {"the last bytes missing", 0x7F00, 0x100, 32, 0x7FFE, false, 0x8000},
        {"nothing there", 0x0000, 0x100, 16, 0x9000, false, 0x9000},
    };
    const std::vector<std::uint8_t> number = {0xE8, 0x03, 0x00, 0x00};
    for (const PatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> data = Counting(c.size);
        std::string file = EncodeIntelHex(data, c.base, c.recordBytes);
        if (c.lower)
            file = LowerHexDigits(file);
        std::string patched;
        std::uint32_t missing = 0;
        const bool covered = CIntelHexPatch::Apply(file, c.address, number, patched, missing);
        ASSERT_EQ(covered, c.missing == 0);
        if (!covered) {
            EXPECT_EQ(missing, c.missing);
            continue;
        }
        // The file the same data with the number in place would be: byte for byte.
        std::copy(number.begin(), number.end(), data.begin() + (c.address - c.base));
        std::string expected = EncodeIntelHex(data, c.base, c.recordBytes);
        EXPECT_EQ(patched, c.lower ? LowerHexDigits(expected) : expected);
        CIntelHexChecker checker;
        EXPECT_TRUE(checker.Check(patched)) << checker.Fault();
    }
}

TEST(IntelHexPatch, FollowsSegmentAddressesAndAddressesWrittenTwice)
{
    // Segment 0x1000 (base 0x10000), offset 0x0010: the data goes to 0x10010...
    const std::string record = IntelHexRecord(0x00, 0x0010, Counting(8));
    const std::string file = IntelHexRecord(0x02, 0, {0x10, 0x00}) + record + record + ":00000001FF\r\n";
    std::string patched;
    std::uint32_t missing = 0;
    ASSERT_TRUE(CIntelHexPatch::Apply(file, 0x10012, {0xAA, 0xBB}, patched, missing));
    std::vector<std::uint8_t> data = Counting(8);
    data[2] = 0xAA;
    data[3] = 0xBB;
    const std::string rewritten = IntelHexRecord(0x00, 0x0010, data);
    // Both records that write the address get the number, so the file stays consistent.
    EXPECT_EQ(patched, IntelHexRecord(0x02, 0, {0x10, 0x00}) + rewritten + rewritten + ":00000001FF\r\n");
}

TEST(SerialNumbers, ImageOfABinaryFileIsRefused)
{
    CSerialNumbers serials;
    std::string why;
    ASSERT_TRUE(serials.Parse("0:le16:1", why));
    CProgramImage patched;
    EXPECT_FALSE(serials.Patch(Image("\x01\x02\x03\x04", "a.bin"), 1, patched, why));
    EXPECT_NE(why.find("Intel HEX"), std::string::npos) << why;
    EXPECT_TRUE(serials.Patch(Image(EncodeIntelHex(Counting(16), 0)), 1, patched, why)) << why;
    EXPECT_FALSE(serials.Patch(Image(EncodeIntelHex(Counting(16), 0x100)), 1, patched, why));
    EXPECT_NE(why.find("address 0x0000 is not in the file's data records"), std::string::npos) << why;
}

struct CounterCase {
    const char* name;
    const char* content; // null: no file
    bool folder;         // a folder stands where the file should
    bool opens;
    std::uint64_t next;
    const char* why;
};

TEST(SerialNumbers, CounterFile)
{
    const std::vector<CounterCase> cases = {
        {"missing: made with START", nullptr, false, true, 1000, ""},
        {"a number", "1234\n", false, true, 1234, ""},
        {"a number without a line end", "77", false, true, 77, ""},
        {"not a number", "abc\n", false, false, 0, "does not hold a number ('abc')"},
        {"negative", "-5\n", false, false, 0, "does not hold a number"},
        {"empty", "", false, false, 0, "does not hold a number"},
        {"too big for the format", "70000\n", false, false, 0, "does not fit the format"},
        {"unreadable", nullptr, true, false, 0, "cannot read the serial-number file"},
    };
    for (const CounterCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CTempDir dir;
        const std::string path = dir.Path("next.txt");
        if (c.content)
            dir.Write("next.txt", c.content);
        if (c.folder)
            dir.Folder("next.txt");
        CSerialNumbers serials;
        std::string why;
        ASSERT_TRUE(serials.Parse("0x10:le16:1000", why));
        serials.SetCounterFile(path);
        EXPECT_EQ(serials.Open(why), c.opens) << why;
        if (c.opens) {
            EXPECT_EQ(serials.Next(), c.next);
            EXPECT_EQ(dir.Read("next.txt"), c.content ? std::string(c.content) : "1000\n");
        } else {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
            EXPECT_NE(why.find(path), std::string::npos) << why;
        }
    }
}

// A number is in the file as used before its board gets it: a run that ends between the board
// and the next write (killed, power lost) never gives it again. A failed board's number comes
// back unless skipped.
TEST(SerialNumbers, NoNumberIsGivenTwice)
{
    for (const bool skip : {false, true}) {
        SCOPED_TRACE(skip ? "skip on failure" : "reuse on failure");
        const CTempDir dir;
        CSerialNumbers serials;
        std::string why;
        ASSERT_TRUE(serials.Parse("0x10:le32:1000:2", why));
        serials.SetCounterFile(dir.Path("next.txt"));
        serials.SetSkipOnFailure(skip);
        ASSERT_TRUE(serials.Open(why)) << why;
        std::uint64_t a = 0, b = 0;
        ASSERT_TRUE(serials.Take(a, why));
        ASSERT_TRUE(serials.Take(b, why));
        EXPECT_EQ(a, 1000u);
        EXPECT_EQ(b, 1002u);
        // Both in use: a run ending now starts the next one after them.
        EXPECT_EQ(dir.Read("next.txt"), "1004\n");
        {
            CSerialNumbers after;
            ASSERT_TRUE(after.Parse("0x10:le32:1000:2", why));
            after.SetCounterFile(dir.Path("next.txt"));
            ASSERT_TRUE(after.Open(why));
            EXPECT_EQ(after.Next(), 1004u);
        }
        ASSERT_TRUE(serials.Give(a, true, why));
        ASSERT_TRUE(serials.Give(b, false, why));
        EXPECT_EQ(dir.Read("next.txt"), skip ? "1004\n" : "1002\n");
        std::uint64_t c = 0;
        ASSERT_TRUE(serials.Take(c, why));
        EXPECT_EQ(c, skip ? 1004u : 1002u);
    }
}

TEST(SerialNumbers, ACounterFileThatCannotBeWrittenStopsTheNumbers)
{
    const CTempDir dir;
    CSerialNumbers serials;
    std::string why;
    ASSERT_TRUE(serials.Parse("0x10:le32:1", why));
    serials.SetCounterFile(dir.Path("gone/next.txt"));
    EXPECT_FALSE(serials.Open(why));
    EXPECT_NE(why.find("cannot write the serial-number file " + dir.Path("gone/next.txt")), std::string::npos) << why;
    std::uint64_t number = 0;
    EXPECT_FALSE(serials.Take(number, why));
}

} // namespace
