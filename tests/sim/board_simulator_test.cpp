// The board simulator through its pseudo-terminal, with a plain descriptor as the host side.

#include "bytes.h"
#include "temp_dir.h"

#include "sim/board_simulator.h"
#include "sim/intel_hex.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The host end of the line: a raw descriptor on the simulator's pseudo-terminal.
class CHostLine {
public:
    explicit CHostLine(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~CHostLine()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool IsOpen() const { return m_fd >= 0; }

    // Writes everything, waiting while the line is full; false on a failed write.
    bool Send(const std::string& text)
    {
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN)
                return false;
            pollfd p{m_fd, POLLOUT, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return false;
        }
        return true;
    }

    // Reads until the text holds needle or the time is up.
    std::string ReadUntil(const std::string& needle, std::chrono::milliseconds limit)
    {
        const auto deadline = Clock::now() + limit;
        while (m_strText.find(needle) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            char buffer[512];
            ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                m_bClosed = true;
                break;
            }
            m_strText.append(buffer, static_cast<std::size_t>(n));
        }
        return m_strText;
    }
    void Forget()
    {
        m_strText.clear();
    }

    int m_fd;
    std::string m_strText;
    bool m_bClosed = false;
};

TEST(BoardSimulator, ProgramsAFileOverThePseudoTerminal)
{
    const CTempDir dir;
    const std::string imagePath = dir.Path("image.bin");
    CBoardSimOptions options;
    options.m_strImageOut = imagePath;
    options.m_bKeepWire = true;
    CBoardSimulator sim(options);
    ASSERT_FALSE(sim.Start());
    ASSERT_EQ(sim.SlavePath().rfind("/dev/pts/", 0), 0u);
    CHostLine host(sim.SlavePath());
    ASSERT_TRUE(host.IsOpen());

    ASSERT_TRUE(host.Send("\r"));
    EXPECT_NE(host.ReadUntil("quilLOREX>", 2s).find("quilLOREX>"), std::string::npos);
    const std::vector<std::uint8_t> data = Bytes(1000, 7);
    const std::string file = EncodeIntelHex(data, 0x8000, 32, true);
    for (int round = 1; round <= 2; ++round) {
        host.Forget();
        ASSERT_TRUE(host.Send("L"));
        EXPECT_NE(host.ReadUntil("Intel format HEX file sending", 2s).find("Intel format HEX file sending"), std::string::npos);
        ASSERT_TRUE(host.Send(file));
        EXPECT_NE(host.ReadUntil("prompt", 2s).find("prompt"), std::string::npos);
        ASSERT_TRUE(sim.WaitForDownloads(round, 2s));
        ASSERT_TRUE(host.Send("R"));
        EXPECT_NE(host.ReadUntil("Starting program", 2s).find("Starting program"), std::string::npos);
    }
    EXPECT_EQ(sim.Image(), data);
    std::ifstream in(imagePath, std::ios::binary);
    std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, data);
    EXPECT_FALSE(sim.ImageError());
    EXPECT_EQ(sim.Wire().size(), 1 + 2 * (1 + file.size() + 1));
    sim.Stop();
}

TEST(BoardSimulator, SilenceDelayNoiseAndSplitAnswers)
{
    CBoardSimOptions options;
    options.m_bSilentRun = true;
    options.m_nDelayLoadMs = 300;
    options.m_bNoise = true;
    options.m_nSplitPieces = 3;
    options.m_bKeepWire = true;
    CBoardSimulator sim(options);
    ASSERT_FALSE(sim.Start());
    CHostLine host(sim.SlavePath());

    auto start = Clock::now();
    ASSERT_TRUE(host.Send("L"));
    // The host reads only once the board has written everything, as a host on a loaded
    // machine may: the pseudo-terminal has joined the pieces by then. So the pieces are
    // checked as the board wrote them, and the text as the host read it.
    ASSERT_TRUE(sim.WaitForBytes(1, 2s));
    ASSERT_TRUE(sim.WaitForAnswersSent(3s));
    std::string text = host.ReadUntil("sending...\r\n\xff\x07", 3s);
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_NE(text.find("\x07\x85\r\nIntel format"), std::string::npos);
    // The echo, then the answer in three writes that cut the marker itself.
    const std::vector<std::string> pieces = sim.SentPieces();
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0], "L");
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_EQ(piece.find("Intel format HEX file sending"), std::string::npos) << piece;
        joined += piece;
    }
    EXPECT_EQ(joined, text);

    host.Forget();
    ASSERT_TRUE(host.Send(":00000001FF"));
    EXPECT_NE(host.ReadUntil("prompt", 2s).find("prompt"), std::string::npos);
    host.Forget();
    ASSERT_TRUE(host.Send("R"));
    EXPECT_EQ(host.ReadUntil("Starting", 300ms), "R"); // only the echo
}

TEST(BoardSimulator, ErrorAtRecordThenCommandsAgainAfterQuiet)
{
    CBoardSimOptions options;
    options.m_monitor.m_nErrorAtRecord = 3;
    CBoardSimulator sim(options);
    ASSERT_FALSE(sim.Start());
    CHostLine host(sim.SlavePath());
    ASSERT_TRUE(host.Send("L" + EncodeIntelHex(Bytes(100, 7), 0, 16)));
    EXPECT_NE(host.ReadUntil("Error", 2s).find("Error: record 3"), std::string::npos);
    EXPECT_EQ(sim.CompletedDownloads(), 0u);
    // The rest of the rejected file is ignored until the line has been quiet.
    std::this_thread::sleep_until(Clock::now() + std::chrono::milliseconds(CBoardSimulator::kIdleAfterErrorMs + 50));
    host.Forget();
    ASSERT_TRUE(host.Send("R"));
    EXPECT_NE(host.ReadUntil("Starting program", 2s).find("Starting program"), std::string::npos);
}

TEST(BoardSimulator, HangUpAfterNBytes)
{
    CBoardSimOptions options;
    options.m_nHangupAfter = 50;
    CBoardSimulator sim(options);
    ASSERT_FALSE(sim.Start());
    CHostLine host(sim.SlavePath());
    ASSERT_TRUE(host.Send(std::string(40, '\n')));
    host.Send(std::string(40, '\n'));
    host.ReadUntil("never", 2s);
    EXPECT_TRUE(host.m_bClosed);
    EXPECT_TRUE(sim.HungUp());
    EXPECT_EQ(sim.ReceivedBytes(), 50u);
    char byte = 'x';
    EXPECT_EQ(::write(host.m_fd, &byte, 1), -1);
    EXPECT_EQ(errno, EIO);
}

TEST(BoardSimulator, PacedLineTakesItsTime)
{
    CBoardSimOptions options;
    options.m_line.m_nBaud = 9600; // 960 bytes per second
    CBoardSimulator sim(options);
    ASSERT_FALSE(sim.Start());
    CHostLine host(sim.SlavePath());
    auto start = Clock::now();
    ASSERT_TRUE(host.Send(std::string(480, '\n')));
    ASSERT_TRUE(sim.WaitForBytes(480, 5s));
    auto took = Clock::now() - start;
    EXPECT_GE(took, 400ms);
    EXPECT_LE(took, 2s);
}

// A paced line spends the framing's bits on every byte, not a fixed ten.
TEST(BoardSimulator, ByteTimeFollowsTheFraming)
{
    struct Row {
        const char* m_name;
        CLineConfig m_line;
        std::chrono::nanoseconds m_time;
    } const rows[] = {
        {"unpaced", {.m_nBaud = 0}, 0ns},
        {"9600 8N1", {.m_nBaud = 9600}, 1'041'666ns},
        {"9600 8E2", {9600, 8, EParity::Even, EStopBits::Two}, 1'250'000ns},
        {"9600 7N1", {9600, 7, EParity::None, EStopBits::One}, 937'500ns},
        {"4000000 8N1", {.m_nBaud = 4000000}, 2'500ns},
    };
    for (const Row& row : rows)
        EXPECT_EQ(CBoardSimulator::ByteTime(row.m_line), row.m_time) << row.m_name;
}

TEST(BoardSimulator, StallStopsReading)
{
    CBoardSimOptions options;
    options.m_nStallAfter = 10;
    CBoardSimulator sim(options);
    ASSERT_FALSE(sim.Start());
    CHostLine host(sim.SlavePath());
    // The pseudo-terminal fills up and takes no more.
    std::string block(4096, '\n');
    bool full = false;
    for (int i = 0; i < 64 && !full; ++i) {
        ssize_t n = ::write(host.m_fd, block.data(), block.size());
        full = n < 0 && errno == EAGAIN;
    }
    EXPECT_TRUE(full);
    EXPECT_TRUE(sim.WaitForBytes(10, 2s));
    EXPECT_FALSE(sim.WaitForBytes(11, 100ms));
}

} // namespace
