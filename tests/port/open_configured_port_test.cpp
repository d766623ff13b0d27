// OpenConfiguredPort over a pseudo-terminal: the port opens through the window layer with the
// default message, the settings reach the line, the terminal gets the port; a failure shows
// one box with the caller's text and leaves the port closed.

#include "pty_pair.h"
#include "recording_prompt.h"
#include "recording_sink.h"

#include "port/open_configured_port.h"
#include "serial/serial_wnd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include <unistd.h>

namespace {

std::string ProcessName()
{
    std::ifstream in("/proc/self/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

TEST(OpenConfiguredPortTest, OpensConfiguresAndAttaches)
{
    CPtyPair pty;
    CRecordingSink sink;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.SetPortName(pty.SlavePath());
    settings.SetBaud("115200");
    settings.SetHandshake("XON/XOFF");
    CSerialPort* attached = nullptr;
    ASSERT_TRUE(OpenConfiguredPort(serial, settings, &sink, prompt, std::string("Port open error!"),
        [&](CSerialPort* port) { attached = port; }));
    EXPECT_EQ(attached, &serial);
    EXPECT_TRUE(serial.IsOpen());
    EXPECT_TRUE(serial.IsListening());
    EXPECT_EQ(serial.GetBaudRate(), 115200);
    EXPECT_EQ(serial.GetHandshake(), CSerialPort::HandshakeSoftware);
    EXPECT_TRUE(prompt.Boxes().empty());
    pty.Send("prompt>");
    ASSERT_TRUE(sink.WaitFor(1));
    const std::vector<CPostedEvent> posted = sink.Messages();
    const auto* event = std::get_if<CPortEvent>(&posted.front());
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->m_nTag, 0);
}

TEST(OpenConfiguredPortTest, RefusedSettingsStillGiveAnOpenPort)
{
    // A pseudo-terminal cannot hold 7 data bits with parity: the port is open all the same,
    // and one warning says what was asked and what the line runs at.
    CPtyPair pty;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.SetPortName(pty.SlavePath());
    settings.SetBaud("9600");
    settings.SetDataBits("7");
    settings.SetParity("E");
    EXPECT_TRUE(OpenConfiguredPort(serial, settings, nullptr, prompt, std::nullopt, {}));
    EXPECT_TRUE(serial.IsOpen());
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].m_strText, std::string(kTextLineRefused) + "\r\n\r\n" + pty.SlavePath()
        + " refused 9600 7E1; the line runs at " + std::to_string(serial.GetBaudRate()) + " 8N1.");
    EXPECT_EQ(prompt.Boxes()[0].m_nType, kBoxOk | kBoxIconWarning);
}

struct FailureRow {
    std::optional<std::string> m_text;
    std::string m_prefix;
};

class OpenConfiguredPortFailure : public ::testing::TestWithParam<FailureRow> {};

TEST_P(OpenConfiguredPortFailure, ShowsOneBoxAndStaysClosed)
{
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.SetPortName("ttyQX_no_such_port");
    bool attached = false;
    EXPECT_FALSE(OpenConfiguredPort(serial, settings, nullptr, prompt, GetParam().m_text,
        [&](CSerialPort*) { attached = true; }));
    EXPECT_FALSE(attached);
    EXPECT_FALSE(serial.IsOpen());
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    const CRecordedBox box = prompt.Boxes().front();
    // The device's path stands before the system's reason; the ports present now follow.
    const std::string first = GetParam().m_prefix + "/dev/ttyQX_no_such_port: " + std::strerror(ENOENT);
    EXPECT_EQ(box.m_strText.substr(0, first.size() + 4), first + "\r\n\r\n");
    EXPECT_TRUE(box.m_strText.find("present now") != std::string::npos) << box.m_strText;
    EXPECT_EQ(box.m_strCaption, "");
    EXPECT_EQ(box.m_nType, kBoxOk);
    EXPECT_EQ(settings.m_strPort, "ttyQX_no_such_port");
}

INSTANTIATE_TEST_SUITE_P(Callers, OpenConfiguredPortFailure, ::testing::Values(
    FailureRow{std::string("Failed to open ttyQX_no_such_port"), "Failed to open ttyQX_no_such_port\r\n\r\n"},
    FailureRow{std::string("Port open error!"), "Port open error!\r\n\r\n"},
    FailureRow{std::nullopt, ""}));

TEST(OpenConfiguredPortTest, BusyPortShowsTheBusyText)
{
    CPtyPair pty;
    CSerialPort holder;
    ASSERT_FALSE(holder.Open(pty.SlavePath(), 0, 0, true));
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.SetPortName(pty.SlavePath());
    EXPECT_FALSE(OpenConfiguredPort(serial, settings, nullptr, prompt, std::string("Port open error!"), {}));
    ASSERT_EQ(prompt.Texts().size(), 1u);
    // The holder is this very process.
    EXPECT_EQ(prompt.Texts().front(), "Port open error!\r\n\r\n" + pty.SlavePath() + ": " + std::strerror(EBUSY)
        + "\r\n\r\nThis program itself holds it (process " + std::to_string(::getpid()) + " ("
        + ProcessName() + ")): close the port here first.");
}

} // namespace
