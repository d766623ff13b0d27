// The terminal's line store and byte ring: line ends, the backspace rule, the wrap at
// kMaxLineLength, the bounds in lines and bytes, arrival times and hex rows.

#include "ui/byte_ring.h"
#include "ui/line_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "+text" appends text, "<" deletes the last character.
struct EditRow {
    const char* name;
    std::vector<std::string> steps;
    std::string text;
};

class LineStoreEdits : public ::testing::TestWithParam<EditRow> {};

TEST_P(LineStoreEdits, GiveTheText)
{
    CLineStore store;
    for (const std::string& step : GetParam().steps) {
        if (step == "<")
            store.DeleteLastChar();
        else
            store.Append(step.substr(1), 1);
    }
    EXPECT_EQ(store.Text(), GetParam().text);
}

const std::string kFull(CLineStore::kMaxLineLength, 'x');

INSTANTIATE_TEST_SUITE_P(Table, LineStoreEdits,
    ::testing::Values(EditRow{"line_ends", {"+a\r\nb\rc\nd"}, "a\nb\nc\nd"},
        EditRow{"cr_lf_split_over_runs_is_two_ends", {"+a\r", "+\nb"}, "a\n\nb"},
        EditRow{"backspace_in_line", {"+abc", "<"}, "ab"},
        EditRow{"backspace_takes_the_line_end", {"+ab\ncd", "<", "<", "<"}, "ab"},
        EditRow{"backspace_then_append_joins", {"+ab\n", "<", "+cd"}, "abcd"},
        EditRow{"backspace_stops_at_the_start", {"+a\n", "<", "<", "<", "<", "+z"}, "z"},
        EditRow{"wrap_at_the_bound", {"+" + kFull + "yz"}, kFull + "\nyz"},
        EditRow{"wrap_over_runs", {"+" + kFull.substr(0, 1000), "+" + kFull.substr(0, 30)},
            kFull + "\n" + std::string(6, 'x')},
        EditRow{"line_end_at_the_bound_adds_no_line", {"+" + kFull + "\nq"}, kFull + "\nq"},
        EditRow{"backspace_over_the_wrap_continues_the_line", {"+" + kFull + "y", "<", "<", "+ab"},
            kFull + "\nab"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineStore, BackspaceAcrossAChunkBoundaryKeepsEveryByte)
{
    // Lines of 1000 bytes: the arena moves to a new chunk every 64 lines or so; delete back
    // over each line end and append again, and every line must still read the same.
    CLineStore store;
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const std::string line(1000, static_cast<char>('A' + i % 26));
        store.Append(line + "\n", i + 1);
        store.DeleteLastChar();
        store.DeleteLastChar();
        store.Append(line.substr(999) + "\n", i + 1);
        expected += line + "\n";
    }
    EXPECT_EQ(store.Text(), expected);
    EXPECT_GT(store.ArenaBytes(), CLineStore::kChunkSize);
}

struct BoundRow {
    const char* name;
    std::size_t maxLines;
    std::size_t lineLength;
    std::size_t lines;
    std::size_t kept;
};

class LineStoreBound : public ::testing::TestWithParam<BoundRow> {};

TEST_P(LineStoreBound, KeepsTheNewestLinesWithinBounds)
{
    const BoundRow& row = GetParam();
    CLineStore store(row.maxLines);
    for (std::size_t i = 0; i < row.lines; ++i) {
        std::string line = std::to_string(i);
        line.resize(row.lineLength, '.');
        store.Append(line + "\r\n", static_cast<std::int64_t>(i + 1));
    }
    // The open line after the last line end counts as a line.
    EXPECT_EQ(store.LineCount(), row.kept);
    EXPECT_EQ(store.DroppedLines(), row.lines + 1 - row.kept);
    std::string last = std::to_string(row.lines - 1);
    last.resize(row.lineLength, '.');
    EXPECT_EQ(store.Line(store.LineCount() - 2), last);
    EXPECT_EQ(store.LineTime(store.LineCount() - 2), static_cast<std::int64_t>(row.lines));
    EXPECT_LE(store.ArenaBytes(), store.MaxBytes() + CLineStore::kChunkSize);
}

INSTANTIATE_TEST_SUITE_P(Table, LineStoreBound,
    ::testing::Values(BoundRow{"default_lines", CLineStore::kDefaultMaxLines, 20, 10500, 10000},
        BoundRow{"small", 3, 5, 10, 3},
        // 16 MiB of 1024-byte lines: 256 chunks of 64 lines, the newest partly filled (32 lines and
        // the open one) and the oldest dropped whole.
        BoundRow{"bytes_bound_long_lines", 20000, 1024, 20000, 16353},
        BoundRow{"under_the_bound", 100, 82, 50, 51}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineStore, LowerBoundDropsAtOnceAndClearEmpties)
{
    CLineStore store;
    for (int i = 0; i < 100; ++i)
        store.Append("line " + std::to_string(i) + "\n", 7);
    store.SetMaxLines(10);
    EXPECT_EQ(store.LineCount(), 10u);
    EXPECT_EQ(store.Line(8), "line 99");
    store.SetMaxLines(0);
    EXPECT_EQ(store.MaxLines(), 1u);
    store.SetMaxLines(5000000);
    EXPECT_EQ(store.MaxLines(), CLineStore::kLargestMaxLines);
    store.Clear();
    EXPECT_EQ(store.LineCount(), 1u);
    EXPECT_EQ(store.Text(), "");
    EXPECT_EQ(store.DroppedLines(), 0u);
    EXPECT_EQ(store.LongestLine(), 0u);
}

TEST(LineStore, EachLineKeepsTheTimeOfItsFirstByte)
{
    CLineStore store;
    store.Append("ab", 100);
    store.Append("c\r\n", 200);  // the line began at 100
    store.Append("\n", 300);     // an empty line: its line end is its first byte
    store.Append("", 400);       // nothing arrived: no time
    store.Append(kFull.substr(0, 1000), 500);
    store.Append(kFull.substr(0, 100), 600); // the wrap begins a line at 600
    const std::vector<std::int64_t> times = {100, 300, 500, 600};
    ASSERT_EQ(store.LineCount(), times.size());
    for (std::size_t i = 0; i < times.size(); ++i)
        EXPECT_EQ(store.LineTime(i), times[i]) << "line " << i;
}

struct HexRow {
    const char* name;
    std::size_t capacity;
    std::string bytes;
    std::vector<std::string> rows;
};

class ByteRingRows : public ::testing::TestWithParam<HexRow> {};

TEST_P(ByteRingRows, RenderOffsetHexAndPrintable)
{
    const HexRow& row = GetParam();
    CByteRing ring(row.capacity);
    // In two pieces, so a piece may wrap around the ring.
    const std::size_t half = row.bytes.size() / 2;
    ring.Append(reinterpret_cast<const std::uint8_t*>(row.bytes.data()), half);
    ring.Append(reinterpret_cast<const std::uint8_t*>(row.bytes.data()) + half, row.bytes.size() - half);
    ASSERT_EQ(ring.RowCount(), row.rows.size());
    for (std::size_t i = 0; i < row.rows.size(); ++i)
        EXPECT_EQ(ring.RowText(i), row.rows[i]) << "row " << i;
}

INSTANTIATE_TEST_SUITE_P(Table, ByteRingRows,
    ::testing::Values(
        HexRow{"empty", 64, "", {}},
        HexRow{"partial_row", 64, std::string("AB\x00\xFF\r\n", 6),
            {"00000000  41 42 00 FF 0D 0A" + std::string(33, ' ') + "AB...."}},
        HexRow{"two_rows", 64, "0123456789abcdefXYZ",
            {"00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  0123456789abcdef",
             "00000010  58 59 5A" + std::string(42, ' ') + "XYZ"}},
        // 40 bytes through a ring of 16: the kept 16 start at 24, so whole rows start at 32.
        HexRow{"oldest_dropped", 16, "0123456789abcdefghijklmnopqrstuvwxyz!@#$",
            {"00000020  77 78 79 7A 21 40 23 24" + std::string(27, ' ') + "wxyz!@#$"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ByteRing, SmallerCapacityKeepsTheNewestAndClearRestartsOffsets)
{
    CByteRing ring(64);
    std::string bytes;
    for (int i = 0; i < 48; ++i)
        bytes += static_cast<char>(i);
    ring.Append(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ring.SetCapacity(20); // rounded up to 32
    EXPECT_EQ(ring.Capacity(), 32u);
    EXPECT_EQ(ring.FirstKept(), 16u);
    EXPECT_EQ(ring.At(47), 47);
    EXPECT_EQ(ring.At(16), 16);
    ring.Clear();
    EXPECT_EQ(ring.RowCount(), 0u);
    ring.Append(reinterpret_cast<const std::uint8_t*>("z"), 1);
    EXPECT_EQ(ring.RowText(0).substr(0, 12), "00000000  7A");
}

} // namespace
