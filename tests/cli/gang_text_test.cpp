// The texts of many boards programmed at once: the --json objects, and the table, event lines
// and summary built from the boards' states.

#include "cli/gang_table.h"
#include "cli/last_line_terminal.h"
#include "cli/reason_prompt.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// The objects qxprog --json prints, byte for byte: keys in order, the file's SHA-256, and every
// byte a board may send escaped so that the line stays ASCII.
TEST(GangJson, BoardAndRunObjects)
{
    const struct {
        std::string text;
        const char* json;
    } texts[] = {
        {"Starting program...", "\"Starting program...\""},
        {"say \"hi\" \\ there", "\"say \\\"hi\\\" \\\\ there\""},
        {"a\r\n\tb", "\"a\\r\\n\\tb\""},
        {std::string("\x07\x00\x7F", 3), "\"\\u0007\\u0000\\u007f\""},
        {"\x80\xFF", "\"\\u0080\\u00ff\""},
        // Read as Latin-1: a UTF-8 letter is two characters.
        {"\xC3\xA9", "\"\\u00c3\\u00a9\""},
    };
    CGangBoard board;
    board.m_strPort = "/dev/ttyUSB1";
    board.m_eResult = EDownloadResult::NoLoadAnswer;
    board.m_strReason = "The target board does not respond to the LOAD command.";
    board.m_nBytes = 56263;
    board.m_dSeconds = 1.41549;
    for (const auto& t : texts) {
        board.m_strLastText = t.text;
        EXPECT_EQ(CGangTable::BoardJson(board),
            std::string("{\"name\":\"/dev/ttyUSB1\",\"identity\":null,\"result\":\"no-load-answer\",")
                + "\"reason\":\"The target board does not respond to the LOAD command.\",\"last_text\":" + t.json
                + ",\"bytes\":56263,\"seconds\":1.415,\"serial\":null,\"attempts\":[],\"sha256\":\"\"}")
            << t.json;
    }
    CGangBoard done;
    done.m_strPort = "/dev/pts/3";
    done.m_strIdentity = "usb-FTDI_FT232R_A1";
    done.m_eState = CGangBoard::EState::Completed;
    done.m_dSeconds = 0.5;
    EXPECT_EQ(CGangTable::RunJson("a.hex", "abc", 0, {done}),
        "{\"file\":{\"name\":\"a.hex\",\"size\":3,"
        "\"sha256\":\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"},\"status\":0,\"ports\":["
        "{\"name\":\"/dev/pts/3\",\"identity\":\"usb-FTDI_FT232R_A1\",\"result\":\"completed\",\"reason\":\"\","
        "\"last_text\":\"\",\"bytes\":0,\"seconds\":0.5,\"serial\":null,\"attempts\":[]}]}");
    // A board with its serial number and two attempts: each attempt with its own figures.
    done.m_strSerial = "001000";
    done.m_attempts = {{1, EDownloadResult::NoLoadAnswer, "No \"answer\"", 0, 0.5124}, {2, EDownloadResult::Completed, "", 3, 0.25}};
    EXPECT_EQ(CGangTable::RunJson("a.hex", "abc", 0, {done}).substr(255),
        "\"serial\":\"001000\",\"attempts\":["
        "{\"attempt\":1,\"result\":\"no-load-answer\",\"reason\":\"No \\\"answer\\\"\",\"bytes\":0,\"seconds\":0.512},"
        "{\"attempt\":2,\"result\":\"completed\",\"reason\":\"\",\"bytes\":3,\"seconds\":0.25}]}]}");
    EXPECT_EQ(CGangTable::RunJson("b.hex", "", 6, {}),
        "{\"file\":{\"name\":\"b.hex\",\"size\":0,"
        "\"sha256\":\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\"},\"status\":6,\"ports\":[]}");
}

TEST(GangTable, RowsEventsAndSummary)
{
    CGangBoard sending;
    sending.m_strPort = "/dev/ttyUSB10";
    sending.m_eState = CGangBoard::EState::Sending;
    sending.m_nBytes = 500;
    sending.m_nTotal = 2000;
    sending.m_dBytesPerSecond = 46080.4;
    CGangBoard done = sending;
    done.m_strPort = "/dev/ttyUSB1";
    done.m_eState = CGangBoard::EState::Completed;
    done.m_nBytes = 2000;
    done.m_dSeconds = 0.44;
    CGangBoard failed = done;
    failed.m_strPort = "/dev/ttyUSB2";
    failed.m_eState = CGangBoard::EState::Failed;
    failed.m_eResult = EDownloadResult::NoLoadAnswer;
    failed.m_strReason = "The target board does not respond to the LOAD command.";
    EXPECT_EQ(CGangTable::Rows({sending, done, failed}),
        "PORT               %  BYTES/S  STATE\n"
        "/dev/ttyUSB10    25%    46080  sending\n"
        "/dev/ttyUSB1    100%    46080  completed\n"
        "/dev/ttyUSB2    100%    46080  no-load-answer\n");
    EXPECT_EQ(CGangTable::EventLine(sending, CGangProgrammer::EEvent::Started), "/dev/ttyUSB10: started\n");
    EXPECT_EQ(CGangTable::EventLine(done, CGangProgrammer::EEvent::Ended), "/dev/ttyUSB1: completed, 2000 bytes in 0.4 s\n");
    EXPECT_EQ(CGangTable::SummaryText({done, failed}),
        "Programmed 1 of 2 boards\n"
        "  /dev/ttyUSB1  completed, 2000 bytes in 0.4 s\n"
        "  /dev/ttyUSB2  FAILED (no-load-answer, exit status 6): "
        "The target board does not respond to the LOAD command.\n");

    // With serial numbers: a column of their own, and the number and the attempts after the outcome.
    done.m_strSerial = "1000";
    done.m_attempts.resize(2);
    failed.m_strSerial = "1001";
    failed.m_nAttempt = 2;
    sending.m_nAttempt = 2;
    EXPECT_EQ(CGangTable::Rows({sending, done}),
        "PORT           SERIAL      %  BYTES/S  STATE\n"
        "/dev/ttyUSB10            25%    46080  sending (attempt 2)\n"
        "/dev/ttyUSB1   1000     100%    46080  completed\n");
    EXPECT_EQ(CGangTable::EventLine(failed, CGangProgrammer::EEvent::Retrying),
        "/dev/ttyUSB2: attempt 2 failed (no-load-answer): The target board does not respond to the LOAD command.; "
        "trying again\n");
    EXPECT_EQ(CGangTable::EventLine(failed, CGangProgrammer::EEvent::Started), "/dev/ttyUSB2: started, attempt 2, serial 1001\n");
    EXPECT_EQ(CGangTable::EventLine(done, CGangProgrammer::EEvent::Ended),
        "/dev/ttyUSB1: completed, 2000 bytes in 0.4 s; serial 1000; 2 attempts\n");
}

// What a board among many keeps instead of showing it: the first box's reason on one line, and
// the board's last line of text.
TEST(GangBoardText, ReasonOfTheFirstBoxAndTheLastLine)
{
    const struct {
        const char* box;
        const char* reason;
    } boxes[] = {
        {"Programming has been completed!", "Programming has been completed!"},
        {"Port write error!\r\n\r\n/dev/pts/3: Input/output error", "Port write error! /dev/pts/3: Input/output error"},
        {"The target board does not respond to the LOAD command.\r\nCheck out follwings and try again:\r\n"
         "\t- Reset the target board.",
            "The target board does not respond to the LOAD command."},
        {"File open error!\n\na.hex\n\nNo such file", "File open error! a.hex No such file"},
    };
    for (const auto& b : boxes)
        EXPECT_EQ(CReasonPrompt::Reason(b.box), b.reason) << b.box;
    CReasonPrompt prompt;
    EXPECT_EQ(prompt.ShowBox(boxes[1].box, "", kBoxOk), kAnswerOk);
    EXPECT_EQ(prompt.ShowBox(boxes[0].box, "", kBoxYesNo), kAnswerYes);
    EXPECT_EQ(prompt.Reason(), boxes[1].reason);

    const struct {
        std::vector<std::string> runs;
        int backspaces;
        std::string last;
    } texts[] = {
        {{"quilLOREX>"}, 0, "quilLOREX>"},
        {{"Intel format HEX file sending\r\n", "\r\n"}, 0, "Intel format HEX file sending"},
        {{"Download completed, back to prompt\r\nStart", "ing prog"}, 2, "Starting pr"},
        {{"done\n", std::string(1000, 'x')}, 0, std::string(CLastLineTerminal::kMaxLine, 'x')},
    };
    for (const auto& t : texts) {
        CLastLineTerminal terminal;
        for (const std::string& run : t.runs)
            terminal.AppendTerminalText(run);
        for (int i = 0; i < t.backspaces; ++i)
            terminal.DeleteLastChar();
        EXPECT_EQ(terminal.LastText(), t.last);
    }
}

// A port's identity: its name in the by-id folder, found from the device path or a link to it.
// The folder plays /dev: the by-id names are under its serial/by-id.
TEST(GangProgrammer, IdentityFromTheByIdFolder)
{
    const CTempDir dir;
    const std::string byId = dir.Folder("serial/by-id");
    const std::string device = dir.Write("ttyUSB0", "");
    const std::string other = dir.Write("ttyUSB1", "");
    ASSERT_EQ(::symlink(device.c_str(), (byId + "/usb-FTDI_FT232R_A1").c_str()), 0);
    ASSERT_EQ(::symlink((dir.Path() + "/gone").c_str(), (byId + "/usb-FTDI_FT232R_B2").c_str()), 0);
    const struct {
        std::string port;
        std::optional<std::string> identity;
    } cases[] = {
        {device, "usb-FTDI_FT232R_A1"},
        {byId + "/usb-FTDI_FT232R_A1", "usb-FTDI_FT232R_A1"},
        {other, std::nullopt},
        {dir.Path() + "/missing", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CGangProgrammer::Identity(c.port, dir.Path()), c.identity) << c.port;
    EXPECT_EQ(CGangProgrammer::Identity(device, dir.Path() + "/no-folder"), std::nullopt);
    // The words and exit statuses of the one-port command, for every result.
    EXPECT_STREQ(CGangProgrammer::ResultWord(EDownloadResult::NoCompletedMessage), "no-completed");
    EXPECT_EQ(CGangProgrammer::ExitStatus(EDownloadResult::NoCompletedMessage), 8);
    EXPECT_EQ(CGangProgrammer::ExitStatus(EDownloadResult::Stopped), 130);
}

} // namespace
