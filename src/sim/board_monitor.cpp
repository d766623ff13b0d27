#include "sim/board_monitor.h"

#include "base/text_codec.h"

#include <cstdio>

namespace {
bool IsLineSpace(std::uint8_t c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.size() <= prefix.size() && prefix.compare(0, text.size(), text) == 0;
}
} // namespace

CBoardMonitor::CBoardMonitor(CBoardMonitorConfig config) : m_config(std::move(config))
{
    // An empty command means the default one.
    if (m_config.m_strProgramCmd.empty())
        m_config.m_strProgramCmd = board::kDefaultProgramCmd;
    if (m_config.m_strRunCmd.empty())
        m_config.m_strRunCmd = board::kDefaultRunCmd;
}

void CBoardMonitor::Feed(std::uint8_t b, std::vector<CBoardOutput>& out)
{
    switch (m_eState) {
    case State::Command:
        FeedCommand(b, out);
        break;
    case State::Hex:
        FeedHex(b, out);
        break;
    case State::Raw:
        FeedRaw(b, out);
        break;
    case State::Skip:
        break;
    }
}

void CBoardMonitor::LineIdle()
{
    if (m_eState == State::Skip)
        m_eState = State::Command;
}

void CBoardMonitor::FeedCommand(std::uint8_t b, std::vector<CBoardOutput>& out)
{
    if (m_bSwallowLineEnd) {
        if (b == '\r' || b == '\n')
            return;
        m_bSwallowLineEnd = false;
    }
    if (b == ':' && m_strLine.empty() && m_config.m_nRawLength == 0) {
        // A record without a download command: the host sends the file alone.
        StartDownload();
        FeedHex(b, out);
        return;
    }
    if (b == '\r') {
        m_strLine.clear();
        m_nTyped = 0;
        out.push_back({EBoardAnswer::Prompt, m_config.m_strPrompt});
        return;
    }
    if (b == '\n')
        return;
    if (b == 0x08 || b == 0x7F) {
        // Every echoed character can be rubbed out, also one that can no longer become a
        // command, as a line-editing monitor does.
        if (m_nTyped != 0) {
            --m_nTyped;
            if (!m_strLine.empty())
                m_strLine.pop_back();
            out.push_back({EBoardAnswer::Echo, "\b \b"});
        }
        return;
    }
    if (b < 0x20 || b > 0x7E)
        return;
    out.push_back({EBoardAnswer::Echo, std::string(1, static_cast<char>(b))});
    ++m_nTyped;
    m_strLine.push_back(static_cast<char>(b));
    if (m_strLine == m_config.m_strProgramCmd) {
        m_strLine.clear();
        m_nTyped = 0;
        out.push_back({EBoardAnswer::LoadAnswer, m_config.m_strLoadAnswer});
        StartDownload();
        return;
    }
    if (m_strLine == m_config.m_strRunCmd) {
        m_strLine.clear();
        m_nTyped = 0;
        out.push_back({EBoardAnswer::RunAnswer, m_config.m_strRunAnswer});
        return;
    }
    // Keep the longest tail that may still become a command.
    while (!m_strLine.empty() && !StartsWith(m_strLine, m_config.m_strProgramCmd)
        && !StartsWith(m_strLine, m_config.m_strRunCmd))
        m_strLine.erase(0, 1);
}

void CBoardMonitor::StartDownload()
{
    m_eState = m_config.m_nRawLength != 0 ? State::Raw : State::Hex;
    m_nRawCount = 0;
    m_image.Clear();
    m_nRecord = 0;
    m_nBase = 0;
    m_bInRecord = false;
    m_strRecord.clear();
}

void CBoardMonitor::FeedHex(std::uint8_t b, std::vector<CBoardOutput>& out)
{
    if (!m_bInRecord) {
        if (b == ':') {
            m_bInRecord = true;
            m_strRecord.clear();
            ++m_nRecord;
        } else if (!IsLineSpace(b)) {
            Fail("unexpected character outside a record", out);
        }
        return;
    }
    if (HexDigitValue(static_cast<char>(b)) < 0) {
        Fail("bad character in record", out);
        return;
    }
    m_strRecord.push_back(static_cast<char>(b));
    if (m_strRecord.size() < 2)
        return;
    const std::size_t length = static_cast<std::size_t>(HexPairValue(m_strRecord[0], m_strRecord[1]));
    if (m_strRecord.size() < 2 * (length + 5))
        return;
    m_bInRecord = false;
    if (m_config.m_nErrorAtRecord != 0 && m_nRecord == m_config.m_nErrorAtRecord) {
        Fail("rejected", out);
        return;
    }
    bool endOfFile = false;
    std::string reason = ProcessRecord(endOfFile);
    if (!reason.empty()) {
        Fail(reason, out);
        return;
    }
    if (endOfFile) {
        if (m_config.m_nCompleteAtRecord != 0 && m_nRecord >= m_config.m_nCompleteAtRecord) {
            // The completion text went out early already.
            ++m_nCompleted;
            m_eState = State::Command;
            m_bSwallowLineEnd = true;
            m_strLine.clear();
            return;
        }
        Complete(out);
        return;
    }
    if (m_config.m_nCompleteAtRecord != 0 && m_nRecord == m_config.m_nCompleteAtRecord)
        out.push_back({EBoardAnswer::Completion, m_config.m_strCompletion});
}

void CBoardMonitor::FeedRaw(std::uint8_t b, std::vector<CBoardOutput>& out)
{
    m_image.Write(static_cast<std::uint32_t>(m_nRawCount), b);
    if (++m_nRawCount == m_config.m_nRawLength)
        Complete(out);
}

void CBoardMonitor::Complete(std::vector<CBoardOutput>& out)
{
    ++m_nCompleted;
    m_eState = State::Command;
    m_bSwallowLineEnd = true;
    m_strLine.clear();
    out.push_back({EBoardAnswer::Completion, m_config.m_strCompletion});
}

std::string CBoardMonitor::ProcessRecord(bool& endOfFile)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < m_strRecord.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(HexPairValue(m_strRecord[i], m_strRecord[i + 1])));
    std::uint8_t sum = 0;
    for (std::uint8_t v : bytes)
        sum = static_cast<std::uint8_t>(sum + v);
    if (sum != 0)
        return "checksum";
    const std::size_t length = bytes[0];
    const std::uint32_t offset = static_cast<std::uint32_t>(bytes[1] << 8 | bytes[2]);
    const std::uint8_t type = bytes[3];
    const std::uint8_t* data = bytes.data() + 4;
    switch (type) {
    case 0x00:
        // Flash written once: a second record with other data for the same address is refused.
        for (std::size_t i = 0; i < length; ++i) {
            std::uint8_t old = 0;
            if (m_image.Read(m_nBase + ((offset + i) & 0xFFFF), old) && old != data[i])
                return "address written twice";
        }
        for (std::size_t i = 0; i < length; ++i)
            m_image.Write(m_nBase + ((offset + i) & 0xFFFF), data[i]);
        return {};
    case 0x01:
        if (length != 0)
            return "bad end-of-file record";
        endOfFile = true;
        return {};
    case 0x02:
        if (length != 2)
            return "bad segment address record";
        m_nBase = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 4;
        return {};
    case 0x04:
        if (length != 2)
            return "bad linear address record";
        m_nBase = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 16;
        return {};
    case 0x03:
    case 0x05:
        // Start addresses: checked, not used.
        return length == 4 ? std::string() : std::string("bad start address record");
    default:
        return "unknown record type";
    }
}

void CBoardMonitor::Fail(const std::string& reason, std::vector<CBoardOutput>& out)
{
    char text[128];
    std::snprintf(text, sizeof text, "\r\n%s: record %u: %s\r\n", board::kError, m_nRecord, reason.c_str());
    out.push_back({EBoardAnswer::RecordError, text});
    m_eState = State::Skip;
    m_bInRecord = false;
}
