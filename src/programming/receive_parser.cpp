#include "programming/receive_parser.h"

#include "programming/board_protocol.h"
#include "serial/serial_port.h"

#include <string_view>

namespace {
constexpr std::uint8_t kBackspace = 0x08;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr unsigned kEvRxChar = 0x0001;

// Printable or white space in the "C" locale, the byte taken as unsigned.
bool IsDisplayable(std::uint8_t b)
{
    return (b >= 0x20 && b <= 0x7E) || (b >= 0x09 && b <= 0x0D);
}

bool Contains(const std::string& text, std::string_view marker)
{
    return text.find(marker) != std::string::npos;
}
} // namespace

CReceiveParser::CReceiveParser(ITerminalSink& terminal) : m_terminal(terminal) {}

void CReceiveParser::OnSerialMsg(const CPortEvent& event,
    const std::function<std::size_t(std::uint8_t*, std::size_t)>& read)
{
    if (event.m_nErrors != 0 || (event.m_nEvents & kEvRxChar) == 0)
        return;
    std::uint8_t buffer[kBlockSize + 1];
    std::size_t count = 0;
    // The reader may take more than a block from the port at its first call: what this call
    // read is all taken before the job can drop the board's earlier text.
    std::lock_guard lock(m_state.m_discardMutex);
    do {
        count = read(buffer, kBlockSize);
        if (count > kBlockSize)
            count = 0;
        ProcessBlock(buffer, count);
    } while (count == kBlockSize);
}

void CReceiveParser::OnSerialMsg(const CPortEvent& event, CSerialPort& port)
{
    OnSerialMsg(event, [&port](std::uint8_t* buffer, std::size_t size) -> std::size_t {
        std::uint32_t count = 0;
        // A failed read (the port was closed meanwhile) counts as nothing received.
        if (port.Read(buffer, static_cast<std::uint32_t>(size), &count, nullptr, kNoTimeLimit))
            return 0;
        return count;
    });
}

void CReceiveParser::ProcessBlock(const std::uint8_t* data, std::size_t count)
{
    // Every displayable run of the block is collected while a job waits, not only the last
    // one: a marker followed by a control byte in the same block must still be found.
    if (count > 0)
        m_terminal.ReceivedBytes(data, count);
    std::string run;
    std::string collected;
    run.reserve(count);
    bool trailingCarriageReturn = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = data[i];
        if (i == count - 1 && b == kCarriageReturn) {
            trailingCarriageReturn = true;
            continue;
        }
        if (IsDisplayable(b)) {
            run.push_back(static_cast<char>(b));
            continue;
        }
        if (!run.empty()) {
            m_terminal.AppendTerminalText(run);
            collected += run;
            run.clear();
        }
        HandleTerminalControlChar(b);
    }
    collected += run;
    // A carriage return that ends a block is not shown, but it is collected like one inside a
    // block: where the port happens to end a block never changes which marker is found.
    if (trailingCarriageReturn)
        collected += static_cast<char>(kCarriageReturn);
    if (const unsigned discard = m_state.m_nDiscard.load(); discard != m_nDiscardSeen) {
        m_nDiscardSeen = discard;
        m_strBoardText.clear();
    }
    if (m_state.m_nWaitState.load() != WAIT_NONE && !collected.empty()) {
        m_strBoardText += collected;
        TestMarkers();
    }
    if (!run.empty())
        m_terminal.AppendTerminalText(run);
}

void CReceiveParser::HandleTerminalControlChar(std::uint8_t ch)
{
    if (ch == kBackspace)
        m_terminal.DeleteLastChar();
}

void CReceiveParser::TestMarkers()
{
    bool signal = false;
    bool error = false;
    switch (m_state.m_nWaitState.load()) {
    case WAIT_LOAD:
        signal = Contains(m_strBoardText, board::kLoadAnswer);
        break;
    case WAIT_COMPLETED:
        signal = Contains(m_strBoardText, board::kCompleted);
        error = !signal && Contains(m_strBoardText, board::kError);
        break;
    case WAIT_RUN:
        signal = Contains(m_strBoardText, board::kRunAnswer) || Contains(m_strBoardText, board::kPrompt);
        break;
    case WAIT_PROMPT:
        signal = Contains(m_strBoardText, board::kPrompt);
        break;
    default:
        break;
    }
    if (signal || error) {
        // Emptied before the job is woken, so text after the marker is not carried into the
        // next state.
        m_strBoardText.clear();
        // An error wakes a job that waits for the completion text too; the flag is raised
        // first, so the woken job sees it.
        if (error)
            m_state.m_bBoardError.store(1);
        m_state.m_evtBoard.Set();
        return;
    }
    if (m_strBoardText.size() > kMaxBoardText)
        m_strBoardText.erase(0, m_strBoardText.size() - kMaxBoardText);
}

void CReceiveParser::EndJob()
{
    m_strBoardText.clear();
    m_state.m_nWaitState.store(WAIT_NONE);
}
