// The terminal's input and output parts against real peers: the log writes real files (a full
// file system played by the process's file size limit, a slow disk by a pipe nobody reads),
// typed keys and sent files go over a pseudo-terminal whose far end the test holds, and the
// settings go through a settings store.

#include "bytes.h"
#include "pty_pair.h"
#include "recording_sink.h"
#include "temp_dir.h"
#include "text_terminal.h"

#include "base/memory_settings_store.h"
#include "terminal/raw_sender.h"
#include "terminal/terminal_input.h"
#include "terminal/terminal_io_settings.h"
#include "terminal/terminal_log.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

namespace {

std::string AllBytes(std::size_t n, std::uint8_t first = 0)
{
    const std::vector<std::uint8_t> bytes = Bytes(n, first);
    return std::string(bytes.begin(), bytes.end());
}

// Waits for the log's next posted message and hands it to the log.
CTerminalLog::EEvent NextEvent(CTerminalLog& log, CRecordingSink& sink, std::size_t& taken)
{
    if (!sink.WaitFor(taken + 1, std::chrono::seconds(10)))
        return CTerminalLog::EEvent::None;
    return log.HandleMessage(sink.Messages()[taken++]);
}

void Feed(CTerminalLog& log, const std::string& bytes)
{
    log.OnReceived(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// ---- Log ------------------------------------------------------------------------------------

TEST(TerminalLog, BytesModeKeepsEveryByteInOrderAndStopWritesWhatIsQueued)
{
    CTempDir dir;
    CRecordingSink sink;
    CTerminalLog log(sink);
    ASSERT_EQ(log.Start(dir.Path("raw.log"), CTerminalLog::EMode::Bytes), std::error_code());
    EXPECT_TRUE(log.IsOn());
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string block = AllBytes(256 + static_cast<std::size_t>(i));
        Feed(log, block);
        expected += block;
    }
    // Shown text is not what Bytes mode logs.
    log.AppendTerminalText("shown");
    log.Stop();
    EXPECT_FALSE(log.IsOn());
    Feed(log, "after");
    std::size_t taken = 0;
    EXPECT_EQ(NextEvent(log, sink, taken), CTerminalLog::EEvent::Ended);
    EXPECT_EQ(dir.Read("raw.log"), expected);
    EXPECT_EQ(log.BytesWritten(), expected.size());

    // A new log empties the file; a file that cannot be made is the system's error.
    ASSERT_EQ(log.Start(dir.Path("raw.log"), CTerminalLog::EMode::Bytes), std::error_code());
    Feed(log, "x");
    log.Stop();
    EXPECT_EQ(NextEvent(log, sink, taken), CTerminalLog::EEvent::Ended);
    EXPECT_EQ(dir.Read("raw.log"), "x");
    EXPECT_EQ(log.Start(dir.Path("no/such/folder.log"), CTerminalLog::EMode::Bytes),
              std::error_code(ENOENT, std::system_category()));
    EXPECT_FALSE(log.IsOn());
}

TEST(TerminalLog, LinesModeStampsEachShownLineWithTheTimeOfItsFirstByte)
{
    CTempDir dir;
    CRecordingSink sink;
    // Each reading of the clock is one second after the last, from 10:00:00.250 local time.
    std::tm start{};
    start.tm_year = 126;
    start.tm_mon = 0;
    start.tm_mday = 5;
    start.tm_hour = 10;
    start.tm_isdst = -1;
    auto now = CTerminalLog::Clock::from_time_t(std::mktime(&start)) + std::chrono::milliseconds(250);
    CTerminalLog log(sink, CTerminalLog::kDefaultQueueLimit, [&now] {
        const auto t = now;
        now += std::chrono::seconds(1);
        return t;
    });
    ASSERT_EQ(log.Start(dir.Path("lines.log"), CTerminalLog::EMode::Lines), std::error_code());
    struct Row {
        const char* m_run;
        bool m_bDelete;
    } const rows[] = {
        {"first li", false},     // 10:00:00: a line begun in one run...
        {"ne\r\nsecond\rthird\n", false}, // ...ended in the next; CR LF is one end, CR and LF one each
        {"\n", false},           // 10:00:02: an empty line
        {"typo", false},         // 10:00:03
        {nullptr, true},         // the open line loses its last character
        {"e\n", false},
    };
    for (const Row& row : rows) {
        if (row.m_bDelete)
            log.DeleteLastChar();
        else
            log.AppendTerminalText(row.m_run);
    }
    Feed(log, "raw bytes are not lines");
    // A line longer than the terminal's continues on a new line, stamped when it continues.
    log.AppendTerminalText(std::string(CTerminalLog::kMaxLineLength + 3, 'x'));
    log.Stop();
    std::size_t taken = 0;
    EXPECT_EQ(NextEvent(log, sink, taken), CTerminalLog::EEvent::Ended);
    const std::string expected = "[10:00:00.250] first line\n"
                                 "[10:00:01.250] second\n"
                                 "[10:00:01.250] third\n"
                                 "[10:00:02.250] \n"
                                 "[10:00:03.250] type\n"
                                 "[10:00:04.250] " + std::string(CTerminalLog::kMaxLineLength, 'x') + "\n" +
                                 "[10:00:04.250] xxx\n";
    EXPECT_EQ(dir.Read("lines.log"), expected);
}

TEST(TerminalLog, AFailingWriteStopsLoggingKeepsWhatWasWrittenAndSaysWhatToDo)
{
    CTempDir dir;
    CRecordingSink sink;
    CTerminalLog log(sink);
    // The disk "fills" at 100 000 bytes: the process's file size limit, so writes past it fail
    // with EFBIG (the signal that would come with it is ignored).
    constexpr rlim_t kLimit = 100000;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = kLimit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

    ASSERT_EQ(log.Start(dir.Path("full.log"), CTerminalLog::EMode::Bytes), std::error_code());
    std::string sent;
    std::size_t taken = 0;
    CTerminalLog::EEvent event = CTerminalLog::EEvent::None;
    // Blocks go in until the writer reports the failure (it posts at once; more blocks meanwhile
    // are counted as not logged).
    for (int i = 0; i < 200 && sink.Count() == 0; ++i) {
        const std::string block = AllBytes(4096, static_cast<std::uint8_t>(i));
        Feed(log, block);
        sent += block;
        if (sent.size() > 2 * kLimit)
            break;
    }
    event = NextEvent(log, sink, taken);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(event, CTerminalLog::EEvent::Failed);
    EXPECT_FALSE(log.IsOn());
    // Everything the disk took is there, in order, and nothing was removed.
    const std::string kept = dir.Read("full.log");
    EXPECT_EQ(kept.size(), kLimit);
    EXPECT_EQ(kept, sent.substr(0, kLimit));
    EXPECT_EQ(log.BytesWritten(), kLimit);
    const std::string text = log.FailureText();
    EXPECT_EQ(text.rfind(std::string(CTerminalLog::kTextLogWriteError) + "\r\n\r\n" + dir.Path("full.log") + ": ", 0),
              0u)
        << text;
    EXPECT_NE(text.find("The file keeps the 100000 bytes"), std::string::npos) << text;
    EXPECT_NE(text.find("Free some space"), std::string::npos) << text;
    Feed(log, "ignored");
    EXPECT_EQ(dir.Read("full.log").size(), kLimit);
}

TEST(TerminalLog, ADiskThatCannotKeepUpStopsTheLogInsteadOfGrowingTheQueue)
{
    CTempDir dir;
    CRecordingSink sink;
    constexpr std::size_t kQueue = 64 * 1024;
    CTerminalLog log(sink, kQueue);
    // The "disk" is a pipe that nobody reads for now: the writer blocks once it is full.
    const std::string fifo = dir.Path("slow.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(log.Start(fifo, CTerminalLog::EMode::Bytes), std::error_code());
    std::string fed;
    std::size_t taken = 0;
    // Far more than the pipe and the queue hold together: the queue's bound is reached.
    for (int i = 0; i < 1000 && log.IsOn(); ++i) {
        const std::string block = AllBytes(1024, static_cast<std::uint8_t>(i));
        Feed(log, block);
        if (log.IsOn())
            fed += block;
    }
    EXPECT_FALSE(log.IsOn());
    EXPECT_EQ(NextEvent(log, sink, taken), CTerminalLog::EEvent::TooSlow);
    const std::string text = log.FailureText();
    EXPECT_EQ(text.rfind(CTerminalLog::kTextLogTooSlow, 0), 0u) << text;
    EXPECT_NE(text.find("64 KiB"), std::string::npos) << text;
    // The pipe is read again: the writer writes everything it had, and the file is every byte
    // up to the stop, without a gap.
    std::string got;
    ::fcntl(reader, F_SETFL, 0);
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(reader);
    EXPECT_EQ(NextEvent(log, sink, taken), CTerminalLog::EEvent::Ended);
    EXPECT_EQ(got.size(), fed.size());
    EXPECT_TRUE(got == fed);
}

// ---- Keys -----------------------------------------------------------------------------------

class TerminalInputTest : public ::testing::Test {
protected:
    CPtyPair m_pty;
    CSerialPort m_port;
    CTextTerminal m_echo;
    CTerminalCounters m_counters;
    CTerminalInput m_input{m_echo, m_counters};

    void SetUp() override { ASSERT_FALSE(m_port.Open(m_pty.SlavePath(), 0, 0, true)); }
};

TEST_F(TerminalInputTest, EnterSendsItsLineEndAndEchoShowsWhatWasTyped)
{
    struct Row {
        EEnterSends m_eEnter;
        bool m_bEcho;
        const char* m_wire;
        const char* m_shown;
    } const rows[] = {
        {EEnterSends::CR, false, "ab\x08\r\x16", ""},
        {EEnterSends::LF, false, "ab\x08\n\x16", ""},
        {EEnterSends::CRLF, false, "ab\x08\r\n\x16", ""},
        // Echo: printable bytes show, Backspace takes the last one back, Enter is one line end,
        // a control code without a glyph shows nothing.
        {EEnterSends::CR, true, "ab\x08\r\x16", "a\n"},
        {EEnterSends::CRLF, true, "ab\x08\r\n\x16", "a\n"},
    };
    std::uint64_t sent = 0;
    for (const Row& row : rows) {
        m_echo.m_strText.clear();
        m_input.SetEnterSends(row.m_eEnter);
        m_input.SetLocalEcho(row.m_bEcho);
        EXPECT_FALSE(m_input.Type(m_port, 'a'));
        EXPECT_FALSE(m_input.Type(m_port, 'b'));
        EXPECT_FALSE(m_input.Type(m_port, 0x08));
        EXPECT_FALSE(m_input.Enter(m_port));
        EXPECT_FALSE(m_input.Type(m_port, 0x16));
        const std::string wire = row.m_wire;
        EXPECT_EQ(m_pty.Receive(wire.size()), wire) << int(row.m_eEnter) << row.m_bEcho;
        EXPECT_EQ(m_echo.m_strText, row.m_shown) << int(row.m_eEnter) << row.m_bEcho;
        sent += wire.size();
        EXPECT_EQ(m_counters.Sent(), sent);
    }
    // A key the port did not take is not echoed.
    m_port.Close();
    m_echo.m_strText.clear();
    EXPECT_TRUE(m_input.Type(m_port, 'z'));
    EXPECT_EQ(m_echo.m_strText, "");
    EXPECT_EQ(m_counters.Sent(), sent);
}

// The line takes nothing (output stopped, as a handshake holding it off or a download keeping
// it full): keys do not hold the key handler, wait in order up to the writer's capacity, and go
// out once the line moves.
TEST_F(TerminalInputTest, KeysTheLineCannotTakeNowWaitInOrderWithoutHoldingTheKeyHandler)
{
    const int line = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(line, 0);
    ASSERT_EQ(::tcflow(line, TCOOFF), 0);
    m_input.SetLocalEcho(true);
    EXPECT_FALSE(m_input.Type(m_port, 'x'));
    EXPECT_FALSE(m_input.Type(m_port, 'y'));
    EXPECT_FALSE(m_input.Enter(m_port));
    EXPECT_EQ(m_echo.m_strText, "xy\n");
    EXPECT_EQ(m_input.Waiting(), 3u);
    // Beyond the capacity a key is refused (and not echoed), never kept without bound.
    std::size_t refused = 0;
    for (std::size_t i = 0; i < CTerminalWriter::kCapacity; ++i)
        refused += m_input.Type(m_port, 'q') ? 1 : 0;
    EXPECT_EQ(refused, 3u);
    EXPECT_EQ(m_input.Waiting(), CTerminalWriter::kCapacity);
    EXPECT_EQ(m_counters.Sent(), 0u);
    ASSERT_EQ(::tcflow(line, TCOON), 0);
    const std::string expected = "xy\r" + std::string(CTerminalWriter::kCapacity - 3, 'q');
    EXPECT_EQ(m_pty.Receive(expected.size(), std::chrono::seconds(20)), expected);
    EXPECT_EQ(m_echo.m_strText, "xy\n" + std::string(CTerminalWriter::kCapacity - 3, 'q'));
    EXPECT_TRUE(m_input.WaitUntilSent(std::chrono::seconds(20)));
    EXPECT_EQ(m_counters.Sent(), expected.size());
    ::close(line);
}

TEST(TerminalInput, PastedLineEndsBecomeWhatEnterSends)
{
    struct Row {
        const char* m_text;
        EEnterSends m_eEnter;
        const char* m_board;
    } const rows[] = {
        {"a\r\nb\nc\rd", EEnterSends::CR, "a\rb\rc\rd"},
        {"a\r\nb\nc\rd", EEnterSends::LF, "a\nb\nc\nd"},
        {"a\r\nb\nc\rd", EEnterSends::CRLF, "a\r\nb\r\nc\r\nd"},
        {"\n\n", EEnterSends::CRLF, "\r\n\r\n"},
        {"no end", EEnterSends::CR, "no end"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(CTerminalInput::BoardText(row.m_text, row.m_eEnter), row.m_board) << row.m_text;
}

// ---- Sending a file -------------------------------------------------------------------------

class RawSenderTest : public ::testing::Test {
protected:
    CTempDir m_dir;
    CPtyPair m_pty;
    CSerialPort m_port;
    CRecordingSink m_sink;
    CTerminalCounters m_counters;
    CRawSender m_sender{m_sink, m_counters};

    void SetUp() override { ASSERT_FALSE(m_port.Open(m_pty.SlavePath(), 0, 0, true)); }
    bool End()
    {
        if (!m_sink.WaitFor(1, std::chrono::seconds(20)))
            return false;
        return m_sender.OnEnd(m_sink.Messages()[0]);
    }
};

TEST_F(RawSenderTest, AFileArrivesByteExactAtTheFarEnd)
{
    const std::string content = AllBytes(200000, 7);
    const std::string path = m_dir.Write("image.bin", content);
    ASSERT_EQ(m_sender.StartFile(m_port, path, 11520), std::error_code());
    EXPECT_TRUE(m_sender.IsRunning());
    // A second send waits for the first.
    EXPECT_EQ(m_sender.StartBytes(m_port, "x", "x", 0), std::error_code(EBUSY, std::system_category()));
    EXPECT_EQ(m_pty.Receive(content.size(), std::chrono::seconds(20)), content);
    ASSERT_TRUE(End());
    EXPECT_FALSE(m_sender.IsRunning());
    EXPECT_EQ(m_sender.Result(), CRawSender::EResult::Completed);
    EXPECT_EQ(m_sender.Sent(), content.size());
    EXPECT_EQ(m_sender.Total(), content.size());
    EXPECT_EQ(m_counters.Sent(), content.size());
    EXPECT_EQ(m_sender.FailureText("/dev/x"), "");
    EXPECT_EQ(m_sender.StartFile(m_port, m_dir.Path("missing.bin"), 0), std::error_code(ENOENT, std::system_category()));
    EXPECT_EQ(m_sender.StartFile(m_port, m_dir.Path(""), 0), std::error_code(EISDIR, std::system_category()));
}

TEST_F(RawSenderTest, StopEndsMidwayAndTheFarEndHasExactlyWhatWasSent)
{
    // Far more than the line holds while the far end reads nothing.
    const std::string content = AllBytes(4 << 20, 3);
    const std::string path = m_dir.Write("big.bin", content);
    ASSERT_EQ(m_sender.StartFile(m_port, path, 0), std::error_code());
    // The first bytes are on the line: stop.
    pollfd arrived{m_pty.Master(), POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 10000), 1);
    m_sender.RequestStop();
    ASSERT_TRUE(End());
    EXPECT_EQ(m_sender.Result(), CRawSender::EResult::Stopped);
    const std::uint64_t sent = m_sender.Sent();
    EXPECT_LT(sent, content.size());
    const std::string got = m_pty.Receive(content.size(), std::chrono::milliseconds(500));
    EXPECT_EQ(got.size(), sent);
    EXPECT_TRUE(got == content.substr(0, got.size()));
}

TEST_F(RawSenderTest, AClosedPortEndsTheSendWithThePortsError)
{
    const std::string bytes = AllBytes(1000);
    m_port.Close();
    ASSERT_EQ(m_sender.StartBytes(m_port, bytes, "clipboard", 0), std::error_code());
    ASSERT_TRUE(End());
    EXPECT_EQ(m_sender.Result(), CRawSender::EResult::WriteFailed);
    const std::string text = m_sender.FailureText("/dev/ttyUSB0");
    EXPECT_EQ(text.rfind(std::string(CRawSender::kTextSendWriteError) + "\r\n\r\n/dev/ttyUSB0: ", 0), 0u) << text;
    EXPECT_NE(text.find("after 0 of 1000 bytes"), std::string::npos) << text;
}

// ---- Settings -------------------------------------------------------------------------------

TEST(TerminalIoSettings, DefaultsRoundTripAndUnusableValuesKeepTheDefault)
{
    CMemorySettingsStore store;
    CTerminalIoSettings loaded;
    loaded.Load(store);
    EXPECT_EQ(loaded, CTerminalIoSettings());
    EXPECT_TRUE(store.WriteLog().empty());
    CTerminalIoSettings changed;
    changed.m_bLocalEcho = true;
    changed.m_eEnterSends = EEnterSends::CRLF;
    changed.m_nLogMode = 1;
    changed.m_strLogFile = "/tmp/board.log";
    changed.m_bDtr = false;
    changed.m_bRts = false;
    changed.m_strSendFile = "/tmp/app.bin";
    changed.Save(store);
    loaded.Load(store);
    EXPECT_EQ(loaded, changed);
    for (const char* key : {"TerminalEnterSends", "TerminalLogMode", "TerminalLocalEcho", "TerminalDTR"})
        store.WriteString(key, "7");
    loaded.Load(store);
    EXPECT_EQ(loaded.m_eEnterSends, EEnterSends::CR);
    EXPECT_EQ(loaded.m_nLogMode, 0);
    EXPECT_FALSE(loaded.m_bLocalEcho);
    EXPECT_TRUE(loaded.m_bDtr);
}

} // namespace
