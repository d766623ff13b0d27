// The session's port over a pseudo-terminal reached through a link that stands for a by-id name:
// the line hangs up and the link goes, the terminal says so once; the link comes back (to a new
// pseudo-terminal, as an adapter comes back under another number) and the port reopens with its
// settings, the terminal going on. With reconnecting off the port stays closed and nothing waits.
// A port on another machine whose server dies and comes back is followed the same way.

#include "programming/programming_session.h"
#include "text_terminal.h"

#include "programming/board_commands.h"
#include "pty_pair.h"
#include "recording_prompt.h"
#include "recording_sink.h"
#include "ser2net_server.h"
#include "sim/board_simulator.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// What the session told about its port.
enum class EPortNews { None, Lost, Disconnected, Reconnected };

class CReconnectRig : public ISessionObserver {
public:
    explicit CReconnectRig(bool reconnect)
        : m_strLink(m_dir.Folder("serial/by-id") + "/usb-Quillorex_Debug_Probe_QX0042-if00"),
          m_session(m_terminal, m_commands, m_sink, m_prompt)
    {
        m_session.AddObserver(*this);
        CPortSettings& settings = m_session.PortSettings();
        settings.SetPortName(m_strLink);
        settings.SetBaud("115200");
        settings.SetHandshake("XON/XOFF");
        settings.m_bReconnect = reconnect;
    }
    ~CReconnectRig() override { m_session.RemoveObserver(*this); }

    void OnSessionEvent(const CSessionEvent& event) override
    {
        if (std::holds_alternative<session_event::CPortLost>(event))
            m_news = EPortNews::Lost;
        else if (std::holds_alternative<session_event::CPortDisconnected>(event))
            m_news = EPortNews::Disconnected;
        else if (std::holds_alternative<session_event::CPortReconnected>(event))
            m_news = EPortNews::Reconnected;
    }
    // What the session told while handing it the event (or checking the port).
    EPortNews Told(const std::function<void()>& action)
    {
        m_news = EPortNews::None;
        action();
        return m_news;
    }
    EPortNews CheckPortLost()
    {
        return Told([this] { m_session.CheckPortLost(); });
    }
    // Hands every event posted since the last call to the session; what it told of each.
    std::vector<EPortNews> Pump(std::size_t atLeast)
    {
        std::vector<EPortNews> events;
        EXPECT_TRUE(m_sink.WaitFor(m_nTaken + atLeast));
        const auto messages = m_sink.Messages();
        for (; m_nTaken < messages.size(); ++m_nTaken)
            events.push_back(Told([&] { m_session.OnPosted(messages[m_nTaken]); }));
        return events;
    }
    // Waits until the terminal shows text (the board's bytes come in one or more messages).
    void PumpUntilShown(const std::string& text)
    {
        while (m_terminal.m_strText.find(text) == std::string::npos && !::testing::Test::HasFailure())
            Pump(1);
    }

    CTempDir m_dir;
    std::string m_strLink;
    CTextTerminal m_terminal;
    CBoardCommands m_commands;
    CRecordingSink m_sink;
    CRecordingPrompt m_prompt;
    CProgrammingSession m_session;
    std::size_t m_nTaken = 0;
    EPortNews m_news = EPortNews::None;
};

class PortReconnect : public ::testing::TestWithParam<bool> {};

TEST_P(PortReconnect, FollowsTheDeviceAwayAndBack)
{
    const bool reconnect = GetParam();
    CReconnectRig rig(reconnect);
    auto first = std::make_unique<CPtyPair>();
    fs::create_symlink(first->SlavePath(), rig.m_strLink);
    ASSERT_TRUE(rig.m_session.OpenPort(std::nullopt));
    first->Send("before\r\n");
    rig.PumpUntilShown("before");

    // Pulled: the node and its stable name go, the line hangs up.
    const std::string node = first->SlavePath();
    fs::remove(rig.m_strLink);
    first->CloseMaster();
    ASSERT_TRUE(rig.m_session.Port().WaitListenerEnd(5000));
    const EPortNews lost = rig.CheckPortLost();
    EXPECT_FALSE(rig.m_session.Port().IsOpen());
    // Asked again, nothing more happens: one line, one event.
    EXPECT_EQ(rig.CheckPortLost(), EPortNews::None);
    EXPECT_TRUE(rig.m_prompt.Boxes().empty());
    const std::string line = "--- " + node + " disconnected, waiting for it ---";
    if (!reconnect) {
        EXPECT_EQ(lost, EPortNews::Lost);
        EXPECT_TRUE(rig.m_session.LostError());
        EXPECT_FALSE(rig.m_session.IsWaitingForPort());
        EXPECT_EQ(rig.m_terminal.m_strText.find(line), std::string::npos);
        // Back again: no watcher posts, and a stray notice opens nothing.
        CPtyPair second;
        fs::create_symlink(second.SlavePath(), rig.m_strLink);
        EXPECT_EQ(rig.Told([&] { rig.m_session.OnPosted(CPortPresent{}); }), EPortNews::None);
        EXPECT_FALSE(rig.m_session.Port().IsOpen());
        return;
    }
    EXPECT_EQ(lost, EPortNews::Disconnected);
    EXPECT_TRUE(rig.m_session.IsWaitingForPort());
    EXPECT_EQ(rig.m_terminal.m_strText, "before\r\n\n" + line + "\n");

    // Plugged back in under another node: the stable name leads there.
    CPtyPair second;
    first.reset();
    fs::create_symlink(second.SlavePath(), rig.m_strLink);
    EPortNews back = EPortNews::None;
    while (back != EPortNews::Reconnected && !HasFailure())
        for (EPortNews event : rig.Pump(1))
            if (event == EPortNews::Reconnected)
                back = event;
    ASSERT_TRUE(rig.m_session.Port().IsOpen());
    EXPECT_FALSE(rig.m_session.IsWaitingForPort());
    EXPECT_EQ(rig.m_terminal.m_strText, "before\r\n\n" + line + "\n" + CProgrammingSession::kTextReconnected);
    // The settings are those of before, and the terminal goes on both ways.
    EXPECT_EQ(rig.m_session.Port().GetBaudRate(), 115200);
    EXPECT_EQ(rig.m_session.Port().GetHandshake(), CSerialPort::HandshakeSoftware);
    second.Send("after\r\n");
    rig.PumpUntilShown("after");
    std::uint32_t written = 0;
    ASSERT_FALSE(rig.m_session.Port().Write("L\r", 2, &written, nullptr, kNoTimeLimit));
    EXPECT_EQ(second.Receive(2), "L\r");
}

INSTANTIATE_TEST_SUITE_P(Option, PortReconnect, ::testing::Bool(),
    [](const auto& info) { return info.param ? std::string("On") : std::string("Off"); });

TEST(RemotePortReconnect, AServerThatDiesAndComesBackIsConnectedAgain)
{
    if (!CSer2netServer::Available())
        GTEST_SKIP() << "ser2net is not installed (scripts/setup installs it)";
    CReconnectRig rig(true);
    CBoardSimulator board;
    ASSERT_FALSE(board.Start());
    auto server = std::make_unique<CSer2netServer>(std::vector<std::string>{board.SlavePath()});
    ASSERT_EQ(server->Error(), "");
    const std::string url = server->Url();
    rig.m_session.PortSettings().SetPortName(url);
    ASSERT_TRUE(rig.m_session.OpenPort(std::nullopt));
    std::uint32_t written = 0;
    ASSERT_FALSE(rig.m_session.Port().Write("\r", 1, &written, nullptr, kNoTimeLimit));
    rig.PumpUntilShown(board::kPrompt);

    const int port = server->Port();
    server->Kill();
    ASSERT_TRUE(rig.m_session.Port().WaitListenerEnd(5000));
    EXPECT_EQ(rig.CheckPortLost(), EPortNews::Disconnected);
    EXPECT_TRUE(rig.m_prompt.Boxes().empty());
    EXPECT_NE(rig.m_terminal.m_strText.find("--- " + url + " disconnected, waiting for it ---"), std::string::npos)
        << rig.m_terminal.m_strText;

    // Started again on the same port: a later try connects, with the settings of before.
    server = std::make_unique<CSer2netServer>(std::vector<std::string>{board.SlavePath()}, true, port);
    ASSERT_EQ(server->Error(), "");
    EPortNews back = EPortNews::None;
    while (back != EPortNews::Reconnected && !::testing::Test::HasFailure())
        for (EPortNews event : rig.Pump(1))
            if (event == EPortNews::Reconnected)
                back = event;
    ASSERT_TRUE(rig.m_session.Port().IsOpen());
    EXPECT_EQ(rig.m_session.Port().GetBaudRate(), 115200);
    const std::size_t shown = rig.m_terminal.m_strText.size();
    ASSERT_FALSE(rig.m_session.Port().Write("\r", 1, &written, nullptr, kNoTimeLimit));
    while (rig.m_terminal.m_strText.find(board::kPrompt, shown) == std::string::npos && !::testing::Test::HasFailure())
        rig.Pump(1);
}

} // namespace
