#pragma once
// CReceiveParser: turns the board's bytes into terminal text and, while a download job waits
// for an answer, finds the awaited marker. Runs on one thread only (the GUI thread in the
// program, the main thread of the command line): OnSerialMsg, ProcessBlock, EndJob and
// BoardText must all be called there. The job reaches it only through State(), whose members
// are safe from any thread. The terminal sink outlives the parser.

#include "base/posted_event.h"
#include "programming/board_state.h"
#include "terminal/terminal_sink.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CSerialPort;

class CReceiveParser {
public:
    // Bytes read per block; a full block means more may be waiting.
    static constexpr std::size_t kBlockSize = 255;
    // The collected text keeps at most this many characters (its tail): every marker is far
    // shorter, so dropping older text that held no marker never changes a match.
    static constexpr std::size_t kMaxBoardText = 4096;

    explicit CReceiveParser(ITerminalSink& terminal);
    CReceiveParser(const CReceiveParser&) = delete;
    CReceiveParser& operator=(const CReceiveParser&) = delete;

    CBoardState& State() { return m_state; }

    // Handler of the port's notification. Acts only on received characters without line errors:
    // drains the port in blocks of at most 255 bytes while blocks come back full.
    void OnSerialMsg(const CPortEvent& event, CSerialPort& port);
    // The same with any reader: read(buffer, size) returns the count read (0 on failure).
    void OnSerialMsg(const CPortEvent& event, const std::function<std::size_t(std::uint8_t*, std::size_t)>& read);

    // One block as read from the port (at most kBlockSize bytes).
    void ProcessBlock(const std::uint8_t* data, std::size_t count);

    // The job has ended: the collected text is emptied and nothing is awaited any more.
    void EndJob();

    const std::string& BoardText() const { return m_strBoardText; }

private:
    void HandleTerminalControlChar(std::uint8_t ch);
    void TestMarkers();

    ITerminalSink& m_terminal;
    CBoardState m_state;
    std::string m_strBoardText;
    unsigned m_nDiscardSeen = 0;
};
