// Boards behind a real ser2net on 127.0.0.1: the download job through rfc2217://, byte for byte
// (raw images with runs of 0xFF, which Telnet must double), the line settings arriving at the
// simulator's side of the pseudo-terminal, and ser2net dying in the middle of a download.

#include "programming/programming_session.h"
#include "text_terminal.h"

#include "base/message_queue.h"
#include "port/open_configured_port.h"
#include "programming/board_commands.h"
#include "recording_prompt.h"
#include "ser2net_server.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"
#include "bytes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <memory>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class RemoteDownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CSer2netServer::Available())
            GTEST_SKIP() << "ser2net is not installed (scripts/setup installs it)";
    }

    // Boards, one a port of one ser2net.
    void StartBoards(const std::vector<CBoardSimOptions>& boards)
    {
        std::vector<std::string> paths;
        for (CBoardSimOptions options : boards) {
            options.m_bKeepWire = true;
            m_sims.push_back(std::make_unique<CBoardSimulator>(options));
            ASSERT_FALSE(m_sims.back()->Start());
            paths.push_back(m_sims.back()->SlavePath());
        }
        m_server = std::make_unique<CSer2netServer>(paths);
        ASSERT_EQ(m_server->Error(), "");
        m_settings.SetBaud("115200");
    }

    EDownloadResult Program(std::size_t board, const std::string& path, std::chrono::milliseconds limit = 10s)
    {
        m_session.Port().Close();
        m_settings.SetPortName(m_server->Url(board));
        EXPECT_TRUE(m_session.StartDownload(path));
        m_session.RunJob(m_sink, Clock::now() + limit);
        EXPECT_FALSE(m_session.IsDownloadRunning());
        return m_session.LastResult();
    }

    CTempDir m_dir;
    std::vector<std::unique_ptr<CBoardSimulator>> m_sims;
    std::unique_ptr<CSer2netServer> m_server;
    CMessageQueue m_sink;
    CRecordingPrompt m_prompt;
    CBoardCommands m_commands;
    CTextTerminal m_terminal;
    CProgrammingSession m_session{m_terminal, m_commands, m_sink, m_prompt};
    CPortSettings& m_settings = m_session.PortSettings();
};

// Random bytes with runs of 0xFF of random lengths in them.
std::vector<std::uint8_t> ImageWithRuns(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size;) {
        const std::size_t run = std::min<std::size_t>(size - i, random() % 64 + 1);
        const bool ff = random() % 3 == 0;
        for (std::size_t k = 0; k < run; ++k)
            image[i + k] = ff ? 0xFF : static_cast<std::uint8_t>(random());
        i += run;
    }
    return image;
}

TEST_F(RemoteDownloadTest, RawImagesWithRunsOfFFArriveByteForByte)
{
    const std::size_t sizes[] = {1, 4096, 30000};
    std::vector<CBoardSimOptions> boards;
    for (std::size_t size : sizes) {
        CBoardSimOptions options;
        options.m_monitor.m_nRawLength = size;
        boards.push_back(options);
    }
    StartBoards(boards);
    m_settings.SetBaud("921600"); // the writer keeps to the line's rate
    for (std::size_t board = 0; board < std::size(sizes); ++board) {
        SCOPED_TRACE(sizes[board]);
        const std::vector<std::uint8_t> image = ImageWithRuns(sizes[board], static_cast<unsigned>(board + 7));
        const std::string path = m_dir.Write("image" + std::to_string(board) + ".bin", std::string(image.begin(), image.end()));
        ASSERT_EQ(Program(board, path), EDownloadResult::Completed) << ::testing::PrintToString(m_prompt.Texts());
        EXPECT_EQ(m_sims[board]->Image(), image);
        // The download command, the image and the run command, nothing else.
        std::vector<std::uint8_t> wire = {'L'};
        wire.insert(wire.end(), image.begin(), image.end());
        wire.push_back('R');
        EXPECT_EQ(m_sims[board]->Wire(), wire);
    }
    EXPECT_NE(m_terminal.m_strText.find("Starting program"), std::string::npos) << "the board's text came back";
}

TEST_F(RemoteDownloadTest, LineSettingsArriveAtTheFarEnd)
{
    StartBoards({CBoardSimOptions{}});
    m_settings.SetPortName(m_server->Url());
    struct Row {
        const char* m_baud;
        const char* m_stop;
        const char* m_handshake;
        CLineConfig m_far;
    };
    const Row rows[] = {
        {"57600", "2", "RTS/CTS", {57600, 8, EParity::None, EStopBits::Two, EHandshake::Hardware}},
        {"9600", "1", "XON/XOFF", {9600, 8, EParity::None, EStopBits::One, EHandshake::Software}},
        {"115200", "1", "None", {115200, 8, EParity::None, EStopBits::One, EHandshake::None}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_baud);
        m_settings.SetBaud(row.m_baud);
        m_settings.SetStopBits(row.m_stop);
        m_settings.SetHandshake(row.m_handshake);
        std::string refused;
        CSerialWnd& port = m_session.Port();
        ASSERT_EQ(OpenConfiguredPort(port, m_settings, &m_session.PortSink(), &refused), std::error_code());
        EXPECT_EQ(refused, "");
        CLineConfig farEnd;
        ASSERT_EQ(m_sims[0]->FarEndLine(farEnd), std::error_code());
        EXPECT_EQ(farEnd, row.m_far);
        port.Close();
    }
}

TEST_F(RemoteDownloadTest, AServerThatDiesMidDownloadEndsItWithTheHostAndWhatToCheck)
{
    CBoardSimOptions options;
    options.m_line.m_nBaud = 115200; // about 5 s of file
    StartBoards({options});
    const std::string path = m_dir.Write("data.hex", EncodeIntelHex(Bytes(20000, 1), 0));
    m_session.Port().Close();
    m_settings.SetPortName(m_server->Url());
    // ser2net dies once the board has had the first records.
    struct CKiller : ISessionObserver {
        CBoardSimulator& m_sim;
        CSer2netServer& m_server;
        bool m_bKilled = false;
        CKiller(CBoardSimulator& sim, CSer2netServer& server) : m_sim(sim), m_server(server) {}
        void OnSessionEvent(const CSessionEvent& event) override
        {
            if (!m_bKilled && std::holds_alternative<session_event::CStep>(event) && m_sim.ReceivedBytes() >= 2000) {
                m_bKilled = true;
                m_server.Kill();
            }
        }
    } killer(*m_sims[0], *m_server);
    m_session.AddObserver(killer);
    ASSERT_TRUE(m_session.StartDownload(path));
    m_session.RunJob(m_sink, Clock::now() + 10s);
    m_session.RemoveObserver(killer);
    EXPECT_TRUE(killer.m_bKilled);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::WriteFailed);
    ASSERT_EQ(m_prompt.Texts().size(), 1u);
    const std::string box = m_prompt.Texts()[0];
    EXPECT_EQ(box.rfind("Port write error!\r\n\r\n" + m_server->Url() + ": ", 0), 0u) << box;
    EXPECT_NE(box.find("ser2net"), std::string::npos) << box;
}

} // namespace
