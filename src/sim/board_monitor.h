#pragma once
// CBoardMonitor: the target board's monitor program as a pure state machine: bytes in, answers
// out. It echoes typed characters, answers a carriage return with its prompt, the download
// command with its answer line, takes Intel HEX records (format, checksum, record types
// 00/01/02/03/04/05, any address order, each address written once) into an image, reports a bad record with the error
// text and the end-of-file record with the completion text, and answers the run command (the
// texts of the board protocol). No I/O and no clock: the simulator
// feeds it and decides how and when each answer reaches the line. Single-threaded.

#include "programming/board_protocol.h"
#include "sim/board_image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class EBoardAnswer {
    Echo,       // typed characters echoed in command mode
    Prompt,     // the prompt after a carriage return
    LoadAnswer, // answer to the download command
    Completion, // after the end-of-file record
    RecordError,
    RunAnswer,
};

struct CBoardOutput {
    EBoardAnswer m_eKind;
    std::string m_strText;
};

struct CBoardMonitorConfig {
    std::string m_strProgramCmd = board::kDefaultProgramCmd;
    std::string m_strRunCmd = board::kDefaultRunCmd;
    // 1-based number of the record answered with the error text whatever it holds; 0: none.
    unsigned m_nErrorAtRecord = 0;
    // 1-based number of the record after which the completion text is sent already (as by a
    // board that acknowledges early); 0: only after the end-of-file record.
    unsigned m_nCompleteAtRecord = 0;
    // Non-zero: a download is this many raw bytes (stored from address 0) instead of Intel HEX
    // records, as by a monitor that loads binary images.
    std::size_t m_nRawLength = 0;
    std::string m_strLoadAnswer = std::string("\r\n") + board::kLoadAnswer + "...\r\n";
    std::string m_strCompletion = std::string("\r\nDownload completed, back to ") + board::kCompleted + "\r\n";
    std::string m_strRunAnswer = std::string("\r\n") + board::kRunAnswer + "...\r\n";
    std::string m_strPrompt = std::string("\r\n") + board::kPrompt;
};

class CBoardMonitor {
public:
    explicit CBoardMonitor(CBoardMonitorConfig config = {});

    // One received byte; answers are appended to out.
    void Feed(std::uint8_t b, std::vector<CBoardOutput>& out);
    // The line has been quiet for a while: a monitor that rejected a download accepts commands
    // again.
    void LineIdle();
    bool SkippingAfterError() const { return m_eState == State::Skip; }

    const CBoardImage& Image() const { return m_image; }
    // Downloads that ended with a valid end-of-file record since construction.
    unsigned CompletedDownloads() const { return m_nCompleted; }
    unsigned RecordsInDownload() const { return m_nRecord; }

private:
    enum class State { Command, Hex, Raw, Skip };

    void FeedCommand(std::uint8_t b, std::vector<CBoardOutput>& out);
    void FeedHex(std::uint8_t b, std::vector<CBoardOutput>& out);
    void FeedRaw(std::uint8_t b, std::vector<CBoardOutput>& out);
    void Complete(std::vector<CBoardOutput>& out);
    void StartDownload();
    // Returns an empty text for a good record, else the reason.
    std::string ProcessRecord(bool& endOfFile);
    void Fail(const std::string& reason, std::vector<CBoardOutput>& out);

    CBoardMonitorConfig m_config;
    State m_eState = State::Command;
    std::string m_strLine;
    // Characters echoed on the current line (what Backspace may rub out).
    std::size_t m_nTyped = 0;
    bool m_bSwallowLineEnd = false;
    bool m_bInRecord = false;
    std::string m_strRecord; // hex digits of the current record
    unsigned m_nRecord = 0;
    std::size_t m_nRawCount = 0;
    std::uint32_t m_nBase = 0;
    CBoardImage m_image;
    unsigned m_nCompleted = 0;
};
