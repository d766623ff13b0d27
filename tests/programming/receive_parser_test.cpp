// The receive parser's block rules, driven block by block as the port hands them over.

#include "programming/receive_parser.h"
#include "text_terminal.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

struct BlockCase {
    const char* name;
    int waitState;
    std::vector<std::string> blocks;
    std::string shown;
    std::vector<std::string> appends; // empty: not checked
    bool signalled;
    bool error;
    std::string collected;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }

class BlockRules : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockRules, ShowsCollectsAndSignals)
{
    const BlockCase& c = GetParam();
    CTextTerminal terminal;
    CReceiveParser parser(terminal);
    parser.State().m_nWaitState.store(c.waitState);
    for (const std::string& block : c.blocks)
        parser.ProcessBlock(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
    EXPECT_EQ(terminal.m_strText, c.shown);
    if (!c.appends.empty()) {
        EXPECT_EQ(terminal.m_appends, c.appends);
    }
    EXPECT_EQ(parser.State().m_evtBoard.IsSet(), c.signalled);
    EXPECT_EQ(parser.State().m_bBoardError.load(), c.error ? 1 : 0);
    EXPECT_EQ(parser.BoardText(), c.collected);
}

const std::string kLoad = "Intel format HEX file sending";

INSTANTIATE_TEST_SUITE_P(Table, BlockRules, ::testing::Values(
    BlockCase{"TrailingCarriageReturnDropped", WAIT_NONE, {"abc\r", "\ndef"}, "abc\ndef", {"abc", "\ndef"}, false, false, ""},
    BlockCase{"CarriageReturnInsideBlockShown", WAIT_NONE, {"a\rb"}, "a\rb", {"a\rb"}, false, false, ""},
    BlockCase{"LoneCarriageReturnBlockShowsNothing", WAIT_NONE, {"\r"}, "", {}, false, false, ""},
    BlockCase{"BackspaceDeletesLastShown", WAIT_NONE, {"ab\bc"}, "ac", {"ab", "c"}, false, false, ""},
    BlockCase{"BackspaceAtStartDeletesNothing", WAIT_NONE, {"\b", "x"}, "x", {"x"}, false, false, ""},
    BlockCase{"BackspaceAcrossBlocks", WAIT_NONE, {"abc", "\b\bd"}, "ad", {"abc", "d"}, false, false, ""},
    BlockCase{"BellSplitsRun", WAIT_NONE, {"ab\acd"}, "abcd", {"ab", "cd"}, false, false, ""},
    BlockCase{"HighBytesAndDeleteNotShown", WAIT_NONE, {"a\x85\xff" "b\x7f" "c\x1b"}, "abc", {"a", "b", "c"}, false, false, ""},
    BlockCase{"WhiteSpaceIsText", WAIT_NONE, {"a\tb\vc\fd\ne"}, "a\tb\vc\fd\ne", {}, false, false, ""},
    BlockCase{"NothingCollectedWithoutWait", WAIT_NONE, {kLoad + "\r\n"}, kLoad + "\r\n", {}, false, false, ""},
    BlockCase{"LoadMarkerSignals", WAIT_LOAD, {"\r\n" + kLoad + "...\r\n"}, "\r\n" + kLoad + "...\r\n", {}, true, false, ""},
    BlockCase{"LoadMarkerSplitOverBlocks", WAIT_LOAD, {"\r\nIntel format H", "EX file sen", "ding\r\n"}, "\r\n" + kLoad + "\r\n", {}, true, false, ""},
    BlockCase{"MarkerFollowedByBellInSameBlock", WAIT_LOAD, {kLoad + "\a"}, kLoad, {}, true, false, ""},
    BlockCase{"MarkerSplitByHighByte", WAIT_LOAD, {"Intel format \x85HEX file sending"}, kLoad, {"Intel format ", "HEX file sending"}, true, false, ""},
    BlockCase{"WrongMarkerStaysCollected", WAIT_LOAD, {"prompt", " Starting program"}, "prompt Starting program", {}, false, false, "prompt Starting program"},
    BlockCase{"TextAfterMarkerNotCarried", WAIT_LOAD, {kLoad + "\r\nprompt"}, kLoad + "\r\nprompt", {}, true, false, ""},
    BlockCase{"CompletionPrompt", WAIT_COMPLETED, {"\r\nback to prompt\r\n"}, "\r\nback to prompt\r\n", {}, true, false, ""},
    BlockCase{"PromptAndErrorIsCompletion", WAIT_COMPLETED, {"Error 3, prompt"}, "Error 3, prompt", {}, true, false, ""},
    BlockCase{"ErrorThenPromptAfterControlByte", WAIT_COMPLETED, {"Error\aprompt"}, "Errorprompt", {}, true, false, ""},
    // An error raises the flag and wakes the job, which may be waiting for the completion text.
    BlockCase{"ErrorAloneRaisesFlag", WAIT_COMPLETED, {"\r\nError: record 2\r\n"}, "\r\nError: record 2\r\n", {}, true, true, ""},
    BlockCase{"ErrorSplitOverBlocks", WAIT_COMPLETED, {"Er", "ror"}, "Error", {}, true, true, ""},
    BlockCase{"MarkersAreCaseSensitive", WAIT_COMPLETED, {"PROMPT error"}, "PROMPT error", {}, false, false, "PROMPT error"},
    BlockCase{"RunAnswerStartingProgram", WAIT_RUN, {"Starting program..."}, "Starting program...", {}, true, false, ""},
    BlockCase{"RunAnswerPromptAlone", WAIT_RUN, {"\r\nquilLOREX>"}, "\r\nquilLOREX>", {}, true, false, ""},
    BlockCase{"RunStateIgnoresCompletionMarker", WAIT_RUN, {"prompt"}, "prompt", {}, false, false, "prompt"},
    // Not shown, but collected as inside a block, so the marker is not found here either.
    BlockCase{"CarriageReturnEndingBlockCollected", WAIT_RUN, {"q\r", "uilLOREX>"}, "quilLOREX>", {}, false, false, "q\ruilLOREX>"}
), [](const auto& info) { return std::string(info.param.name); });

// Inputs the fuzzer found (and short forms of them): the bytes reach the parser in blocks of
// every size from 1 to the whole text, and the first wake-up is the same for each.
struct SplitCase {
    const char* name;
    int waitState;
    std::string bytes;
    bool signalled;
    bool error;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class AnySplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(AnySplit, WakesTheSameWay)
{
    const SplitCase& c = GetParam();
    for (std::size_t size = 1; size <= std::max<std::size_t>(c.bytes.size(), 1); ++size) {
        CTextTerminal terminal;
        CReceiveParser parser(terminal);
        parser.State().m_nWaitState.store(c.waitState);
        for (std::size_t at = 0; at < c.bytes.size() && !parser.State().m_evtBoard.IsSet(); at += size) {
            const std::size_t count = std::min(size, c.bytes.size() - at);
            parser.ProcessBlock(reinterpret_cast<const std::uint8_t*>(c.bytes.data() + at), count);
        }
        EXPECT_EQ(parser.State().m_evtBoard.IsSet(), c.signalled) << "blocks of " << size;
        EXPECT_EQ(parser.State().m_bBoardError.load(), c.error ? 1 : 0) << "blocks of " << size;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, AnySplit, ::testing::Values(
    SplitCase{"CarriageReturnInsidePrompt", WAIT_RUN, "q\ruilLOREX>", false, false},
    SplitCase{"FuzzedRunAnswer", WAIT_RUN,
        std::string("\x03\x04\xfc\x00\x00" "Do\x00\x00``\x00\x00 ing prm.\xae.\r\n\nq\ruilLOREX>ab", 40), false, false},
    SplitCase{"CarriageReturnInsideLoadAnswer", WAIT_LOAD, "Intel format\r HEX file sending", false, false},
    SplitCase{"PromptAfterCarriageReturn", WAIT_RUN, "\r\r\nquilLOREX>\r", true, false},
    SplitCase{"ErrorAfterCarriageReturns", WAIT_COMPLETED, "\r\rErr\ror\r\nError\r", true, true}
), [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiveParser, ReadsWhileBlocksComeBackFull)
{
    // 600 bytes waiting: blocks of 255, 255 and 90; 510 bytes: 255, 255 and an empty read.
    for (std::size_t total : {600u, 510u, 255u, 10u, 0u}) {
        CTextTerminal terminal;
        CReceiveParser parser(terminal);
        std::string waiting(total, 'x');
        std::size_t offset = 0;
        std::vector<std::size_t> reads;
        parser.OnSerialMsg(CPortEvent{0x0001}, [&](std::uint8_t* buffer, std::size_t size) {
            std::size_t n = std::min(size, waiting.size() - offset);
            std::copy_n(waiting.data() + offset, n, buffer);
            offset += n;
            reads.push_back(n);
            return n;
        });
        EXPECT_EQ(terminal.m_strText, waiting) << total;
        EXPECT_EQ(reads.size(), total / 255 + 1) << total;
        for (std::size_t n : reads)
            EXPECT_LE(n, CReceiveParser::kBlockSize);
    }
}

TEST(ReceiveParser, IgnoresNotificationsWithoutCharactersOrWithLineErrors)
{
    CTextTerminal terminal;
    CReceiveParser parser(terminal);
    int reads = 0;
    auto read = [&](std::uint8_t* buffer, std::size_t) -> std::size_t {
        ++reads;
        buffer[0] = 'x';
        return 1;
    };
    parser.OnSerialMsg(CPortEvent{0x0040}, read);               // break only
    parser.OnSerialMsg(CPortEvent{0x0001, 0x0008}, read); // characters with a framing error
    parser.OnSerialMsg(CPortEvent{0x0000}, read);
    EXPECT_EQ(reads, 0);
    parser.OnSerialMsg(CPortEvent{0x0001 | 0x0080}, read);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(terminal.m_strText, "x");
}

TEST(ReceiveParser, EndJobForgetsCollectedText)
{
    CTextTerminal terminal;
    CReceiveParser parser(terminal);
    parser.State().m_nWaitState.store(WAIT_LOAD);
    std::string partial = "Intel format HEX";
    parser.ProcessBlock(reinterpret_cast<const std::uint8_t*>(partial.data()), partial.size());
    parser.EndJob();
    EXPECT_EQ(parser.State().m_nWaitState.load(), WAIT_NONE);
    EXPECT_EQ(parser.BoardText(), "");
    // The rest of an old answer does not satisfy the next job's wait.
    parser.State().m_nWaitState.store(WAIT_LOAD);
    std::string rest = " file sending";
    parser.ProcessBlock(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    EXPECT_FALSE(parser.State().m_evtBoard.IsSet());
}

TEST(ReceiveParser, LongChatterKeepsABoundedTailAndStillFindsTheMarker)
{
    CTextTerminal terminal;
    CReceiveParser parser(terminal);
    parser.State().m_nWaitState.store(WAIT_COMPLETED);
    std::string chatter(200, '.');
    for (int i = 0; i < 100; ++i)
        parser.ProcessBlock(reinterpret_cast<const std::uint8_t*>(chatter.data()), chatter.size());
    EXPECT_LE(parser.BoardText().size(), CReceiveParser::kMaxBoardText);
    for (std::string piece : {"pro", "mpt"})
        parser.ProcessBlock(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
    EXPECT_TRUE(parser.State().m_evtBoard.IsSet());
}

} // namespace
