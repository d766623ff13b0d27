#include "cli/gang_table.h"

#include "base/text_codec.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace {
// Keys in the order they are set.
using Json = nlohmann::ordered_json;


Json BoardObject(const CGangBoard& board)
{
    Json json;
    json["name"] = Latin1ToUtf8(board.m_strPort);
    json["identity"] = board.m_strIdentity ? Json(Latin1ToUtf8(*board.m_strIdentity)) : Json(nullptr);
    json["result"] = CGangProgrammer::ResultWord(board.m_eResult);
    json["reason"] = Latin1ToUtf8(board.m_strReason);
    json["last_text"] = Latin1ToUtf8(board.m_strLastText);
    json["bytes"] = board.m_nBytes;
    // To the millisecond.
    json["seconds"] = std::round(board.m_dSeconds * 1000) / 1000;
    json["serial"] = board.m_strSerial ? Json(*board.m_strSerial) : Json(nullptr);
    json["attempts"] = Json::array();
    for (const CGangAttempt& attempt : board.m_attempts) {
        Json one;
        one["attempt"] = attempt.m_nAttempt;
        one["result"] = CGangProgrammer::ResultWord(attempt.m_eResult);
        one["reason"] = Latin1ToUtf8(attempt.m_strReason);
        one["bytes"] = attempt.m_nBytes;
        one["seconds"] = std::round(attempt.m_dSeconds * 1000) / 1000;
        json["attempts"].push_back(one);
    }
    return json;
}

// What follows a board's outcome: its serial number and how many attempts it took.
std::string Extra(const CGangBoard& board)
{
    std::string text;
    if (board.m_strSerial)
        text += "; serial " + *board.m_strSerial;
    if (board.m_attempts.size() > 1)
        text += "; " + std::to_string(board.m_attempts.size()) + " attempts";
    return text;
}

// ASCII only: everything past it as \uXXXX.
std::string Text(const Json& json)
{
    return json.dump(-1, ' ', true);
}

std::string Padded(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}
} // namespace

CGangTable::CGangTable(std::FILE* out, bool terminal) : m_pOut(out), m_bLive(terminal) {}

const char* CGangTable::StateWord(const CGangBoard& board)
{
    switch (board.m_eState) {
    case CGangBoard::EState::Opening: return "opening";
    case CGangBoard::EState::Sending: return "sending";
    case CGangBoard::EState::Completed: return "completed";
    case CGangBoard::EState::Failed: return CGangProgrammer::ResultWord(board.m_eResult);
    }
    return "";
}

std::string CGangTable::Rows(const std::vector<CGangBoard>& boards)
{
    std::size_t width = 4;
    std::size_t serialWidth = 0;
    for (const CGangBoard& board : boards) {
        width = std::max(width, board.m_strPort.size());
        if (board.m_strSerial)
            serialWidth = std::max<std::size_t>({serialWidth, 6, board.m_strSerial->size()});
    }
    // The serial numbers' column only when there are numbers.
    auto serialColumn = [&](const std::string& text) {
        return serialWidth == 0 ? std::string() : "  " + Padded(text, serialWidth);
    };
    std::string rows = Padded("PORT", width) + serialColumn("SERIAL") + "      %  BYTES/S  STATE\n";
    for (const CGangBoard& board : boards) {
        std::string percent = std::to_string(board.Percent()) + "%";
        std::string rate = std::to_string(static_cast<long long>(board.m_dBytesPerSecond));
        std::string state = StateWord(board);
        if (board.m_nAttempt > 1 && !board.Done())
            state += " (attempt " + std::to_string(board.m_nAttempt) + ")";
        rows += Padded(board.m_strPort, width) + serialColumn(board.m_strSerial.value_or("")) + "  " + std::string(5 - std::min<std::size_t>(5, percent.size()), ' ')
            + percent + "  " + std::string(7 - std::min<std::size_t>(7, rate.size()), ' ') + rate + "  "
            + state + "\n";
    }
    return rows;
}

std::string CGangTable::EventLine(const CGangBoard& board, CGangProgrammer::EEvent event)
{
    if (event == CGangProgrammer::EEvent::Started)
        return board.m_strPort + ": started"
            + (board.m_nAttempt > 1 ? ", attempt " + std::to_string(board.m_nAttempt) : std::string())
            + (board.m_strSerial ? ", serial " + *board.m_strSerial : std::string()) + "\n";
    if (event == CGangProgrammer::EEvent::Retrying)
        return board.m_strPort + ": attempt " + std::to_string(board.m_nAttempt) + " failed ("
            + CGangProgrammer::ResultWord(board.m_eResult) + "): " + board.m_strReason + "; trying again\n";
    if (board.m_eState == CGangBoard::EState::Completed)
        return board.m_strPort + ": completed, " + std::to_string(board.m_nBytes) + " bytes in "
            + Fixed(board.m_dSeconds, 1) + " s" + Extra(board) + "\n";
    return board.m_strPort + ": failed (" + CGangProgrammer::ResultWord(board.m_eResult) + "): " + board.m_strReason
        + Extra(board) + "\n";
}

std::string CGangTable::SummaryText(const std::vector<CGangBoard>& boards)
{
    std::size_t completed = 0;
    std::size_t width = 0;
    for (const CGangBoard& board : boards) {
        completed += board.m_eState == CGangBoard::EState::Completed;
        width = std::max(width, board.m_strPort.size());
    }
    std::string text = "Programmed " + std::to_string(completed) + " of " + std::to_string(boards.size()) + " boards\n";
    for (const CGangBoard& board : boards) {
        text += "  " + Padded(board.m_strPort, width) + "  ";
        if (board.m_eState == CGangBoard::EState::Completed)
            text += "completed, " + std::to_string(board.m_nBytes) + " bytes in " + Fixed(board.m_dSeconds, 1) + " s"
                + Extra(board) + "\n";
        else
            text += "FAILED (" + std::string(CGangProgrammer::ResultWord(board.m_eResult)) + ", exit status "
                + std::to_string(CGangProgrammer::ExitStatus(board.m_eResult)) + "): " + board.m_strReason
                + Extra(board) + "\n";
    }
    return text;
}

void CGangTable::Erase()
{
    // Up over the table's lines, clearing from there down.
    if (m_nShownLines > 0)
        std::fprintf(m_pOut, "\033[%zuA\r\033[J", m_nShownLines);
    m_nShownLines = 0;
}

void CGangTable::Draw(const std::vector<CGangBoard>& boards)
{
    if (!m_bLive)
        return;
    const std::string rows = Rows(boards);
    std::lock_guard lock(m_mutex);
    Erase();
    std::fputs(rows.c_str(), m_pOut);
    m_nShownLines = static_cast<std::size_t>(std::count(rows.begin(), rows.end(), '\n'));
    std::fflush(m_pOut);
}

void CGangTable::Event(const CGangBoard& board, CGangProgrammer::EEvent event)
{
    if (m_bLive)
        return;
    const std::string line = EventLine(board, event);
    std::lock_guard lock(m_mutex);
    std::fputs(line.c_str(), m_pOut);
    std::fflush(m_pOut);
}

void CGangTable::Line(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    Erase();
    std::fputs((text + "\n").c_str(), m_pOut);
    std::fflush(m_pOut);
}

void CGangTable::Summary(const std::vector<CGangBoard>& boards)
{
    Draw(boards);
    const std::string text = SummaryText(boards);
    std::lock_guard lock(m_mutex);
    // The final table stays above the summary.
    m_nShownLines = 0;
    std::fputs(text.c_str(), m_pOut);
    std::fflush(m_pOut);
}

std::string CGangTable::BoardJson(const CGangBoard& board)
{
    // A loop's line names the file's SHA-256 too: the file may change between boards.
    Json json = BoardObject(board);
    json["sha256"] = board.m_strSha256;
    return Text(json);
}

std::string CGangTable::RunJson(const std::string& file, std::string_view content, int status,
    const std::vector<CGangBoard>& boards)
{
    Json json;
    json["file"]["name"] = Latin1ToUtf8(file);
    json["file"]["size"] = static_cast<std::uint64_t>(content.size());
    json["file"]["sha256"] = Sha256(content);
    json["status"] = status;
    json["ports"] = Json::array();
    for (const CGangBoard& board : boards)
        json["ports"].push_back(BoardObject(board));
    return Text(json);
}

std::string CGangTable::Sha256(std::string_view bytes)
{
    gchar* digest = g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string hex = digest;
    g_free(digest);
    return hex;
}
