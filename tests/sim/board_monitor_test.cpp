// The simulated board monitor: its answers to commands and its checks of Intel HEX records.

#include "bytes.h"

#include "sim/board_monitor.h"
#include "sim/intel_hex.h"

#include <gtest/gtest.h>


namespace {

std::vector<CBoardOutput> FeedAll(CBoardMonitor& monitor, const std::string& text)
{
    std::vector<CBoardOutput> out;
    for (char c : text)
        monitor.Feed(static_cast<std::uint8_t>(c), out);
    return out;
}

std::vector<EBoardAnswer> Kinds(const std::vector<CBoardOutput>& out, bool withEcho = false)
{
    std::vector<EBoardAnswer> kinds;
    for (const CBoardOutput& o : out)
        if (withEcho || o.m_eKind != EBoardAnswer::Echo)
            kinds.push_back(o.m_eKind);
    return kinds;
}

using K = EBoardAnswer;

struct RecordCase {
    const char* name;
    std::string records; // after the download command
    std::vector<EBoardAnswer> answers;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class RecordChecks : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordChecks, AnswerAsTheBoardDoes)
{
    CBoardMonitor monitor;
    std::vector<CBoardOutput> out = FeedAll(monitor, "L" + GetParam().records);
    std::vector<EBoardAnswer> expected = {K::LoadAnswer};
    expected.insert(expected.end(), GetParam().answers.begin(), GetParam().answers.end());
    EXPECT_EQ(Kinds(out), expected);
}

const std::string kEof = ":00000001FF\r\n";

INSTANTIATE_TEST_SUITE_P(Table, RecordChecks, ::testing::Values(
    RecordCase{"GoodFile", ":0300000041424337\r\n" + kEof, {K::Completion}},
    RecordCase{"LowerCaseHex", ":03000000414243" "37\r\n:00000001ff", {K::Completion}},
    RecordCase{"NoLineEnds", ":0300000041424337:00000001FF", {K::Completion}},
    RecordCase{"BadChecksum", ":0300000041424338\r\n" + kEof, {K::RecordError}},
    RecordCase{"BadHexDigit", ":03000000414G4335\r\n", {K::RecordError}},
    RecordCase{"GarbageBetweenRecords", ":0300000041424337\r\nX", {K::RecordError}},
    RecordCase{"UnknownType", IntelHexRecord(0x06, 0, {1}) , {K::RecordError}},
    RecordCase{"EndOfFileWithData", IntelHexRecord(0x01, 0, {1}), {K::RecordError}},
    RecordCase{"ShortLinearAddress", IntelHexRecord(0x04, 0, {1}), {K::RecordError}},
    RecordCase{"StartAddressesAccepted", IntelHexRecord(0x03, 0, {0, 0, 1, 0}) + IntelHexRecord(0x05, 0, {0, 0, 1, 0}) + kEof, {K::Completion}},
    RecordCase{"EndOfFileOnly", kEof, {K::Completion}}
), [](const auto& info) { return std::string(info.param.name); });

TEST(BoardMonitor, CommandsEchoPromptAndAnswers)
{
    CBoardMonitor monitor;
    EXPECT_EQ(Kinds(FeedAll(monitor, "\r")), std::vector<K>{K::Prompt});
    EXPECT_EQ(Kinds(FeedAll(monitor, "xyR"), true), (std::vector<K>{K::Echo, K::Echo, K::Echo, K::RunAnswer}));
    std::vector<CBoardOutput> out = FeedAll(monitor, "L");
    ASSERT_EQ(Kinds(out), std::vector<K>{K::LoadAnswer});
    EXPECT_NE(out.back().m_strText.find("Intel format HEX file sending"), std::string::npos);
}

TEST(BoardMonitor, BackspaceRubsOutWhatWasEchoed)
{
    CBoardMonitor monitor;
    auto texts = [&monitor](const std::string& typed) {
        std::string echoed;
        for (const CBoardOutput& o : FeedAll(monitor, typed))
            echoed += o.m_strText;
        return echoed;
    };
    // Text that can no longer become a command is rubbed out too, and no further than the line.
    EXPECT_EQ(texts("hello\b\x7F"), "hello\b \b\b \b");
    EXPECT_EQ(texts("\b\b\b\b"), "\b \b\b \b\b \b");
    // What is left of a command still counts.
    EXPECT_EQ(Kinds(FeedAll(monitor, "x\bR")), std::vector<K>{K::RunAnswer});
}

TEST(BoardMonitor, MultiCharacterCommandsAnswerOnlyWhenWhole)
{
    CBoardMonitorConfig config;
    config.m_strProgramCmd = "LOAD";
    config.m_strRunCmd = "GO";
    CBoardMonitor monitor(config);
    EXPECT_TRUE(Kinds(FeedAll(monitor, "LOA")).empty());
    EXPECT_EQ(Kinds(FeedAll(monitor, "D")), std::vector<K>{K::LoadAnswer});
    FeedAll(monitor, kEof);
    EXPECT_TRUE(Kinds(FeedAll(monitor, "L")).empty());
    EXPECT_TRUE(Kinds(FeedAll(monitor, "G")).empty());
    EXPECT_EQ(Kinds(FeedAll(monitor, "O")), std::vector<K>{K::RunAnswer});
    // A false start is dropped but its tail may begin the command.
    EXPECT_EQ(Kinds(FeedAll(monitor, "GGO")), std::vector<K>{K::RunAnswer});
}

TEST(BoardMonitor, RecordsInAnyOrderBuildTheImage)
{
    std::vector<std::uint8_t> data = Bytes(300);
    for (std::uint32_t base : {0x0u, 0x1FF80u}) { // the second crosses a 64 KiB boundary
        CBoardMonitor monitor;
        std::string file = EncodeIntelHex(data, base, 16, true);
        EXPECT_EQ(Kinds(FeedAll(monitor, "L" + file)), (std::vector<K>{K::LoadAnswer, K::Completion}));
        EXPECT_EQ(monitor.Image().Flatten(), data);
        EXPECT_EQ(monitor.Image().LowestAddress(), base);
        EXPECT_EQ(monitor.CompletedDownloads(), 1u);
    }
}

TEST(BoardMonitor, SegmentAddressesAndGapsFilledWithFF)
{
    CBoardMonitor monitor;
    std::string file = IntelHexRecord(0x02, 0, {0x10, 0x00}) // segment 0x1000 -> 0x10000
        + IntelHexRecord(0x00, 0x0004, {0xAA})
        + IntelHexRecord(0x00, 0x0000, {0x55, 0x66}) + kEof;
    FeedAll(monitor, "L" + file);
    EXPECT_EQ(monitor.Image().LowestAddress(), 0x10000u);
    EXPECT_EQ(monitor.Image().Flatten(), (std::vector<std::uint8_t>{0x55, 0x66, 0xFF, 0xFF, 0xAA}));
}

TEST(BoardMonitor, FileWithoutDownloadCommandIsTaken)
{
    CBoardMonitor monitor;
    EXPECT_EQ(Kinds(FeedAll(monitor, EncodeIntelHex(Bytes(20), 0x100))), std::vector<K>{K::Completion});
    EXPECT_EQ(monitor.Image().Flatten(), Bytes(20));
}

TEST(BoardMonitor, LineEndAfterEndOfFileRecordGivesNoPrompt)
{
    CBoardMonitor monitor;
    std::vector<CBoardOutput> out = FeedAll(monitor, "L" + kEof + "\r\n");
    EXPECT_EQ(Kinds(out), (std::vector<K>{K::LoadAnswer, K::Completion}));
    EXPECT_EQ(Kinds(FeedAll(monitor, "R")), std::vector<K>{K::RunAnswer});
    EXPECT_EQ(Kinds(FeedAll(monitor, "\r")), std::vector<K>{K::Prompt});
}

TEST(BoardMonitor, ErrorAtRecordAndRecoveryAfterQuiet)
{
    CBoardMonitorConfig config;
    config.m_nErrorAtRecord = 2;
    CBoardMonitor monitor(config);
    std::string file = EncodeIntelHex(Bytes(64), 0, 16);
    std::vector<CBoardOutput> out = FeedAll(monitor, "L" + file);
    ASSERT_EQ(Kinds(out), (std::vector<K>{K::LoadAnswer, K::RecordError}));
    EXPECT_NE(out.back().m_strText.find("Error"), std::string::npos);
    EXPECT_TRUE(monitor.SkippingAfterError());
    // The rest of the file is ignored, even bytes that look like commands.
    EXPECT_TRUE(FeedAll(monitor, "LR\r").empty());
    monitor.LineIdle();
    EXPECT_EQ(Kinds(FeedAll(monitor, "R")), std::vector<K>{K::RunAnswer});
}

TEST(BoardMonitor, EarlyCompletionIsSentOnce)
{
    CBoardMonitorConfig config;
    config.m_nCompleteAtRecord = 2;
    CBoardMonitor monitor(config);
    std::vector<CBoardOutput> out = FeedAll(monitor, "L" + EncodeIntelHex(Bytes(64), 0, 16));
    EXPECT_EQ(Kinds(out), (std::vector<K>{K::LoadAnswer, K::Completion}));
    EXPECT_EQ(monitor.CompletedDownloads(), 1u);
}

} // namespace
