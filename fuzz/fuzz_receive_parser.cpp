// The receive parser over any bytes in any split into blocks: no crash, a bounded collected
// text, and the same first marker whatever the split. Input: the wait state, a few block
// sizes, then the bytes the board sends. The bytes go once one per block (the reference: the
// marker is found at the byte that completes it), once in the sizes given and once in full
// blocks; the other two must wake the job in the block that holds that byte, with the same
// kind of answer.

#include "fuzz_check.h"
#include "programming/receive_parser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {
class CShownText : public ITerminalSink {
public:
    void AppendTerminalText(std::string_view run) override { m_strText += run; }
    void DeleteLastChar() override
    {
        if (!m_strText.empty())
            m_strText.pop_back();
    }
    std::string m_strText;
};

struct CFirstEvent {
    std::size_t blockBegin; // the block that woke the job: [blockBegin, blockEnd)
    std::size_t blockEnd;
    bool error;
};

struct CRun {
    std::optional<CFirstEvent> event;
    std::string shown;
};

CRun Feed(int waitState, const std::string& bytes, const std::vector<std::size_t>& sizes)
{
    CShownText terminal;
    CReceiveParser parser(terminal);
    parser.State().m_nWaitState.store(waitState);
    CRun run;
    std::size_t at = 0;
    for (std::size_t i = 0; at < bytes.size(); ++i) {
        const std::size_t count = std::min(sizes[i % sizes.size()], bytes.size() - at);
        parser.ProcessBlock(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), count);
        FUZZ_CHECK(parser.BoardText().size() <= CReceiveParser::kMaxBoardText);
        if (!run.event && parser.State().m_evtBoard.IsSet())
            run.event = CFirstEvent{at, at + count, parser.State().m_bBoardError.load() != 0};
        at += count;
    }
    run.shown = terminal.m_strText;
    return run;
}

void CheckAgainstReference(int waitState, const CRun& reference, const CRun& split)
{
    FUZZ_CHECK(reference.event.has_value() == split.event.has_value());
    if (!reference.event)
        return;
    const std::size_t at = reference.event->blockBegin;
    FUZZ_CHECK(split.event->blockBegin <= at && at < split.event->blockEnd);
    // The completion text beats an error found in the same block, so a split may turn an
    // error into a completion, never the other way round.
    if (waitState == WAIT_COMPLETED && reference.event->error)
        return;
    FUZZ_CHECK(reference.event->error == split.event->error);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const int waitState = input.ConsumeIntegralInRange<int>(WAIT_NONE, WAIT_RUN);
    std::vector<std::size_t> sizes(input.ConsumeIntegralInRange<std::size_t>(1, 8));
    for (std::size_t& n : sizes)
        n = input.ConsumeIntegralInRange<std::size_t>(1, CReceiveParser::kBlockSize);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const CRun reference = Feed(waitState, bytes, {1});
    const CRun split = Feed(waitState, bytes, sizes);
    const CRun full = Feed(waitState, bytes, {CReceiveParser::kBlockSize});
    CheckAgainstReference(waitState, reference, split);
    CheckAgainstReference(waitState, reference, full);
    // A carriage return that ends a block is not shown, so the text shown depends on the split
    // only through those.
    if (bytes.find('\r') == std::string::npos) {
        FUZZ_CHECK(split.shown == reference.shown);
        FUZZ_CHECK(full.shown == reference.shown);
    }
    return 0;
}
