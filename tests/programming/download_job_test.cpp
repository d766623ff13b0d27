// The download job end to end through the programming session: a real serial port object on the
// simulator's pseudo-terminal, the listener's notifications driving the receive parser on the
// test thread (standing in for the GUI thread), and the job on its worker thread.

#include "programming/programming_session.h"
#include "programming/program_image.h"
#include "text_terminal.h"

#include "base/line_timing.h"
#include "base/message_queue.h"
#include "port/open_configured_port.h"
#include "programming/board_commands.h"
#include "programming/board_protocol.h"
#include "terminal/terminal_input.h"
#include "serial/serial_backend.h"
#include "serial/serial_error.h"
#include "port/port_settings.h"
#include "bytes.h"
#include "recording_prompt.h"
#include "temp_dir.h"
#include "serial/serial_wnd.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The test's message queue: what the job and the listener post, taken in order by the test
// thread.
// How a job went: its notifications in order ("B<n>", "S" for one or more steps in a row, "F",
// "E"), and the bars' position the session reported at each step.
struct CJobRun {
    std::vector<std::string> log;
    std::vector<std::uint64_t> positions;
    bool ended = false;
    Clock::duration took{};
    // Where the bars are: the position of the last step.
    std::uint64_t Steps() const { return positions.empty() ? 0 : positions.back(); }
    bool Has(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
};

class DownloadJobTest : public ::testing::Test, public ISessionObserver {
protected:
    DownloadJobTest() { m_session.AddObserver(*this); }
    ~DownloadJobTest() override { m_session.RemoveObserver(*this); }

    void StartBoard(CBoardSimOptions options = {}, bool openPort = true, const char* baud = "115200")
    {
        options.m_bKeepWire = true;
        m_sim = std::make_unique<CBoardSimulator>(options);
        ASSERT_FALSE(m_sim->Start());
        m_settings.SetPortName(m_sim->SlavePath());
        m_settings.SetBaud(baud);
        if (openPort) {
            ASSERT_TRUE(OpenConfiguredPort(m_port, m_settings, &m_session.PortSink(), m_prompt, "Port open error!", nullptr));
            // A job that opened the port again would set this rate.
            m_settings.SetBaud("57600");
        }
    }

    std::string WriteFile(const std::string& name, const std::string& content)
    {
        m_strLastFile = m_dir.Write(name, content);
        return m_strLastFile;
    }

    void SetCommands(int use, const std::string& program, const std::string& run)
    {
        CBoardCommandValues values = m_commands.Get();
        values.m_bUsePrePostPgmCmd = use;
        values.m_strProgramCmd = program;
        values.m_strCmdAfterProgram = run;
        m_commands.Set(values);
    }

    using CHook = std::function<void(const CSessionEvent&, CJobRun&)>;

    // Runs the session's events until the job has ended, seeing them as the main window does; the
    // hook sees each of the job's events (the end once its box has been shown). The run's time
    // counts from `start`.
    CJobRun Pump(std::chrono::milliseconds limit = 10s, const CHook& hook = {}, Clock::time_point start = Clock::now())
    {
        CJobRun run;
        m_pRun = &run;
        m_hook = hook;
        m_tStart = start;
        m_session.RunJob(m_sink, start + limit);
        m_pRun = nullptr;
        m_hook = {};
        return run;
    }

    void OnSessionEvent(const CSessionEvent& event) override
    {
        Trace(event);
        if (!m_pRun)
            return;
        CJobRun& run = *m_pRun;
        if (std::holds_alternative<session_event::CReceived>(event)) {
            if (!m_bErrorSeen && m_parser.State().m_bBoardError.load()) {
                m_bErrorSeen = true;
                m_nBytesSentAtError = m_session.Job().BytesSent();
            }
            return;
        }
        if (const auto* begin = std::get_if<session_event::CBegin>(&event)) {
            run.log.push_back("B" + std::to_string(begin->m_nCount));
        } else if (std::holds_alternative<session_event::CStep>(event)) {
            if (run.log.empty() || run.log.back() != "S")
                run.log.push_back("S");
            run.positions.push_back(m_session.Position());
        } else if (std::holds_alternative<session_event::CFailed>(event)) {
            run.log.push_back("F");
        } else if (std::holds_alternative<session_event::CEnding>(event)) {
            run.log.push_back("E");
            return;
        } else if (std::holds_alternative<session_event::CEnded>(event)) {
            run.ended = true;
            run.took = Clock::now() - m_tStart;
            return;
        } else if (!std::holds_alternative<session_event::CResultShown>(event)) {
            return;
        }
        if (m_hook)
            m_hook(event, run);
    }

    CJobRun Program(const std::string& path, std::chrono::milliseconds limit = 10s)
    {
        // Timed from before the start: the job may be well under way before this thread runs
        // again.
        const auto start = Clock::now();
        EXPECT_TRUE(m_session.StartDownload(path));
        return Pump(limit, {}, start);
    }

    // Starts a download of about 56 KB (5 s) to a board paced at 115200 baud; the file's text.
    std::string StartPacedDownload()
    {
        CBoardSimOptions options;
        options.m_line.m_nBaud = 115200;
        StartBoard(options);
        const std::string file = EncodeIntelHex(Bytes(20000, 1), 0);
        EXPECT_TRUE(m_session.StartDownload(WriteFile("data.hex", file)));
        return file;
    }

    std::vector<std::string> Boxes() { return m_prompt.Texts(); }

    CTempDir m_dir;
    const std::string m_strDir = m_dir.Path();
    // The file written last.
    std::string m_strLastFile;
    std::unique_ptr<CBoardSimulator> m_sim;
    CMessageQueue m_sink;
    CRecordingPrompt m_prompt;
    CBoardCommands m_commands;
    CTextTerminal m_terminal;
    CProgrammingSession m_session{m_terminal, m_commands, m_sink, m_prompt};
    CPortSettings& m_settings = m_session.PortSettings();
    CReceiveParser& m_parser = m_session.Parser();
    CSerialWnd& m_port = m_session.Port();
    bool m_bErrorSeen = false;
    std::uint64_t m_nBytesSentAtError = 0;
    CJobRun* m_pRun = nullptr;
    CHook m_hook;
    Clock::time_point m_tStart;

    // The job's end as the observers see it: "R" for the board's bytes handed over after
    // m_bMarked was set (once for a run of them); each end event with the boxes shown so far and whether the job runs.
    void Trace(const CSessionEvent& event)
    {
        const std::string state = " " + std::to_string(Boxes().size()) + (m_session.IsDownloadRunning() ? " running" : " idle");
        if (std::holds_alternative<session_event::CReceived>(event) && m_bMarked) {
            if (m_trail.empty() || m_trail.back() != "R")
                m_trail.push_back("R");
        }
        else if (std::holds_alternative<session_event::CEnding>(event))
            m_trail.push_back("Ending" + state);
        else if (std::holds_alternative<session_event::CResultShown>(event))
            m_trail.push_back("Shown" + state);
        else if (std::holds_alternative<session_event::CEnded>(event))
            m_trail.push_back("Ended" + state);
    }
    bool m_bMarked = false;
    std::vector<std::string> m_trail;
};

std::vector<std::string> Expected(std::size_t n, bool failedAtEnd = false)
{
    std::vector<std::string> log = {"B" + std::to_string(n), "S"};
    if (failedAtEnd)
        log.push_back("F");
    log.push_back("E");
    return log;
}

// The bars' positions a completed download of n bytes reports: the download command's step,
// then the first position of every whole percent of n + 2 (every position while there are
// fewer than a hundred), the last data byte and the board's answer.
std::vector<std::uint64_t> ExpectedPositions(std::uint64_t n)
{
    const std::uint64_t range = n + 2;
    std::vector<std::uint64_t> positions = {1};
    for (std::uint64_t pos = 2; pos <= range; ++pos) {
        if (pos * 100 / range != (pos - 1) * 100 / range || pos >= n + 1)
            positions.push_back(pos);
    }
    return positions;
}

TEST_F(DownloadJobTest, ThreeBytesGoOutExactlyWithTheirProgress)
{
    CBoardSimOptions options;
    options.m_monitor.m_nRawLength = 3;
    StartBoard(options);
    CJobRun run = Program(WriteFile("abc.bin", "ABC"));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.log, Expected(3));
    EXPECT_EQ(run.positions, (std::vector<std::uint64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Text(m_sim->Wire()), "LABCR");
    ASSERT_EQ(m_prompt.Boxes().size(), 1u);
    EXPECT_EQ(m_prompt.Boxes()[0].m_strText, "Programming has been completed!");
    EXPECT_EQ(m_prompt.Boxes()[0].m_strCaption, kAppTitle);
    EXPECT_EQ(m_prompt.Boxes()[0].m_nType, kBoxOk);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::Completed);
    EXPECT_GE(run.took, 200ms); // the pause before the data
    EXPECT_FALSE(m_session.IsDownloadRunning());
    EXPECT_EQ(m_session.Job().DownloadFile(), "");
    EXPECT_EQ(m_parser.State().m_nWaitState.load(), WAIT_NONE);
    EXPECT_NE(m_terminal.m_strText.find("Starting program"), std::string::npos);
    EXPECT_EQ(m_port.GetBaudRate(), 115200) << "the open port was used as it was";
}

TEST_F(DownloadJobTest, StepsComeOncePerPercentNotPerByte)
{
    struct Case {
        const char* name;
        std::size_t bytes;
        int commands;
    };
    const Case cases[] = {
        {"fewer bytes than percents: every byte", 8, 1},
        {"many bytes a percent", 20000, 1},
        {"without commands the file starts at the first step", 20000, 0},
    };
    StartBoard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetCommands(c.commands, "L", "R");
        const std::string file = EncodeIntelHex(Bytes(c.bytes, 1), 0);
        CJobRun run = Program(WriteFile("percent.hex", file));
        EXPECT_EQ(run.log, Expected(file.size()));
        EXPECT_EQ(run.positions, ExpectedPositions(file.size()));
        EXPECT_LE(run.positions.size(), 103u);
        EXPECT_EQ(m_session.Job().BytesSent(), file.size());
    }
    EXPECT_EQ(Boxes(), std::vector<std::string>(3, CDownloadJob::kTextCompleted));
}

TEST_F(DownloadJobTest, CommandTextsAsConfigured)
{
    const std::vector<std::uint8_t> data = Bytes(40, 1);
    const std::string file = EncodeIntelHex(data, 0x100);
    CBoardSimOptions options;
    options.m_monitor.m_strProgramCmd = "LOAD";
    options.m_monitor.m_strRunCmd = "GO";
    StartBoard(options);
    const std::string path = WriteFile("data.hex", file);

    // Commands of several characters go out whole, without a line end.
    SetCommands(1, "LOAD", "GO");
    CJobRun run = Program(path);
    EXPECT_EQ(run.log, Expected(file.size()));
    EXPECT_EQ(Text(m_sim->Wire()), "LOAD" + file + "GO");

    // Commands off: the file alone, its first byte first.
    SetCommands(0, "LOAD", "GO");
    run = Program(path);
    EXPECT_EQ(run.log, Expected(file.size()));
    // The board answers at the end record's checksum; the line end after it may still be on its
    // way when the job ends.
    const std::string wire = "LOAD" + file + "GO" + file;
    EXPECT_TRUE(m_sim->WaitForBytes(wire.size(), 5s));
    EXPECT_EQ(Text(m_sim->Wire()), wire);
    EXPECT_EQ(m_sim->CompletedDownloads(), 2u);
    EXPECT_EQ(Boxes(), std::vector<std::string>(2, CDownloadJob::kTextCompleted));
}

TEST_F(DownloadJobTest, EmptyCommandsMeanLAndR)
{
    const std::string file = EncodeIntelHex(Bytes(16, 1), 0);
    StartBoard();
    SetCommands(1, "", "");
    CJobRun run = Program(WriteFile("data.hex", file));
    EXPECT_EQ(run.log, Expected(file.size()));
    EXPECT_EQ(Text(m_sim->Wire()), "L" + file + "R");
}

TEST_F(DownloadJobTest, EmptyMissingAndUnreadableFiles)
{
    StartBoard();
    const std::string empty = WriteFile("empty.hex", "");
    CJobRun run = Program(empty);
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    run = Program(m_strDir + "/missing.hex");
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    run = Program(m_strDir);
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    // A named pipe nobody writes to does not hold the job.
    const std::string fifo = m_strDir + "/pipe.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    run = Program(fifo, 3s);
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    // A device and a kernel file report a size that says nothing of their contents.
    run = Program("/dev/zero");
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    run = Program("/proc/self/status");
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    // Each box names the file after the first line.
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"The file is empty!\r\n\r\n" + empty,
        "File open error!\r\n\r\n" + m_strDir + "/missing.hex: " + std::make_error_code(std::errc::no_such_file_or_directory).message(),
        "File open error!\r\n\r\n" + m_strDir + ": " + std::make_error_code(std::errc::is_a_directory).message(),
        "File open error!\r\n\r\n" + fifo + ": not a regular file",
        "File open error!\r\n\r\n/dev/zero: not a regular file",
        "File open error!\r\n\r\n/proc/self/status: not a regular file"}));
    EXPECT_EQ(m_prompt.Boxes()[0].m_strCaption, kAppTitle);
    EXPECT_EQ(m_prompt.Boxes()[1].m_strCaption, "");
    EXPECT_TRUE(m_sim->Wire().empty());
}

TEST_F(DownloadJobTest, ClosedPortIsOpenedAndLeftOpen)
{
    const std::string file = EncodeIntelHex(Bytes(16, 1), 0);
    StartBoard({}, false);
    CJobRun run = Program(WriteFile("data.hex", file));
    EXPECT_EQ(run.log, Expected(file.size()));
    EXPECT_TRUE(m_port.IsOpen());
    EXPECT_EQ(m_port.GetBaudRate(), 115200);

    m_port.Close();
    m_settings.SetPortName(m_strDir + "/no-such-port");
    run = Program(m_strLastFile);
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::PortOpenFailed);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].rfind("Port open error!\r\n\r\n", 0), 0u);
    EXPECT_FALSE(m_port.IsOpen());
}

TEST_F(DownloadJobTest, SplitMarkersAndStrayControlBytesAreRecognised)
{
    const std::vector<std::uint8_t> data = Bytes(100, 1);
    CBoardSimOptions options;
    options.m_nSplitPieces = 3;
    options.m_bNoise = true;
    StartBoard(options);
    CJobRun run = Program(WriteFile("data.hex", EncodeIntelHex(data, 0)));
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextCompleted});
    EXPECT_EQ(m_sim->Image(), data);
}

TEST_F(DownloadJobTest, RecordsOutOfAddressOrderProgramTheImage)
{
    std::vector<std::uint8_t> data(3000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    StartBoard();
    CJobRun run = Program(WriteFile("image.hex", EncodeIntelHex(data, 0xFF00, 32, true)));
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextCompleted});
    EXPECT_EQ(m_sim->Image(), data);
}

// An image read and checked once goes out as it is: the file on disk, changed or gone since,
// is not read again, and the summary has the checked image's addresses.
TEST_F(DownloadJobTest, AnImageReadOnceIsWhatGoesOut)
{
    const std::vector<std::uint8_t> data = Bytes(600, 3);
    const std::string path = WriteFile("image.hex", EncodeIntelHex(data, 0x200));
    auto image = std::make_shared<CProgramImage>();
    std::error_code code;
    std::string fault;
    ASSERT_EQ(CProgramImage::Load(path, true, *image, code, fault), EDownloadResult::Completed);
    WriteFile("image.hex", "not a hex file");
    StartBoard();
    const auto start = Clock::now();
    ASSERT_TRUE(m_session.StartDownload(path, image));
    Pump(10s, {}, start);
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextCompleted});
    EXPECT_EQ(m_sim->Image(), data);
    EXPECT_EQ(m_sim->Wire().size(), image->m_data.size() + 2);
    EXPECT_NE(m_session.SummaryLine().find("addresses 0200-0457"), std::string::npos) << m_session.SummaryLine();
}

TEST_F(DownloadJobTest, BoardErrorDuringDataStopsBeforeTheNextByte)
{
    // A line at the port's rate and far more than the pseudo-terminal buffers: the file cannot
    // all be written before the board has read most of it, seconds after its answer to record
    // 3. On an unpaced line the job may be done with the file before the parser has seen the
    // answer, however soon the board gave it.
    CBoardSimOptions options;
    options.m_monitor.m_nErrorAtRecord = 3;
    options.m_line.m_nBaud = 115200;
    StartBoard(options);
    const std::string file = EncodeIntelHex(Bytes(40000, 1), 0);
    CJobRun run = Program(WriteFile("data.hex", file));
    ASSERT_TRUE(run.ended);
    ASSERT_GE(run.log.size(), 2u);
    EXPECT_EQ(run.log[run.log.size() - 2], "F");
    // Only the board error's own box, shown when the failure was posted.
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextProgrammingError});
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::BoardError);
    // Once the parser has raised the flag, at most the run already being written follows, and
    // the bars end on the last byte sent.
    EXPECT_TRUE(m_bErrorSeen);
    EXPECT_LE(run.Steps(), 1 + m_nBytesSentAtError + CDownloadJob::RunBytes(115200, 10));
    EXPECT_LT(run.Steps(), 1 + file.size());
    EXPECT_NE(m_terminal.m_strText.find("Error: record 3"), std::string::npos);
}

// However a job ends, it ends one way: what is queued behind its end (the board's last bytes) is
// handed over first, then the result's one box while the job still counts as running, then the
// worker is joined.
TEST_F(DownloadJobTest, EveryJobEndsOneWayAfterWhatWasQueued)
{
    struct Row {
        const char* what;
        unsigned errorAt;
        EDownloadResult result;
        // The boxes shown when the end begins (the board's error is shown as it comes).
        std::size_t boxesAtEnd;
        const char* box;
    } const rows[] = {
        {"completed", 0, EDownloadResult::Completed, 0, CDownloadJob::kTextCompleted},
        {"board error", 3, EDownloadResult::BoardError, 1, CDownloadJob::kTextProgrammingError},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m_port.Close();
        CBoardSimOptions options;
        options.m_monitor.m_nErrorAtRecord = row.errorAt;
        options.m_line.m_nBaud = 115200;
        StartBoard(options);
        const std::size_t before = Boxes().size();
        m_trail.clear();
        m_bMarked = false;
        ASSERT_TRUE(m_session.StartDownload(WriteFile("data.hex", EncodeIntelHex(Bytes(4000, 1), 0))));
        // Taken by hand: the job's end is handed over with a port notification queued behind it.
        const auto deadline = Clock::now() + 20s;
        while (m_session.IsDownloadRunning()) {
            std::optional<CPostedEvent> event = m_sink.TakeUntil(deadline);
            ASSERT_TRUE(event.has_value()) << "the job did not end";
            if (std::holds_alternative<CJobEnd>(*event)) {
                m_sink.Post(CPortEvent{CRxCoalescingSink::kRxChar, 0, 0});
                m_bMarked = true;
            }
            m_session.OnPosted(*event);
        }
        const std::string at = std::to_string(before + row.boxesAtEnd);
        const std::string after = std::to_string(before + 1);
        EXPECT_EQ(m_trail, (std::vector<std::string>{"R", "Ending " + at + " running", "Shown " + after + " running",
                               "Ended " + after + " idle"}));
        EXPECT_EQ(m_session.LastResult(), row.result);
        ASSERT_EQ(Boxes().size(), before + 1);
        EXPECT_EQ(Boxes().back(), row.box);
    }
}

// The queue hands over what several threads post in each one's order, every event whole.
TEST(MessageQueue, KeepsEachPostersOrderAcrossThreads)
{
    CMessageQueue queue;
    constexpr unsigned kPerThread = 5000;
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 3; ++t)
        threads.emplace_back([&queue, t] {
            for (unsigned i = 0; i < kPerThread; ++i)
                queue.Post(CWorkerNotice{nullptr, static_cast<int>(t), i});
        });
    unsigned next[3] = {};
    for (unsigned n = 0; n < 3 * kPerThread; ++n) {
        const auto notice = std::get<CWorkerNotice>(queue.Take());
        ASSERT_EQ(notice.m_nGeneration, next[notice.m_nWhat]++) << "thread " << notice.m_nWhat;
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(queue.TryTake().has_value());
}

TEST(DownloadSummary, TimeAndRate)
{
    using namespace std::chrono_literals;
    struct Case {
        std::chrono::milliseconds took;
        const char* tail;
    };
    const Case cases[] = {{2400ms, ", 2.4 s, 5000 bytes/s"}, {12ms, ", 0.01 s, 1000000 bytes/s"}, {0ms, ", 0.00 s, 0 bytes/s"}};
    for (const Case& c : cases) {
        CDownloadSummary summary;
        summary.m_nBytes = 12000;
        summary.m_took = c.took;
        EXPECT_EQ(CProgrammingSession::FormatSummary("a.bin", summary), std::string("a.bin: 12000 bytes") + c.tail);
    }
}

TEST(DownloadJobRuns, WhatTheLineCarriesInTenMilliseconds)
{
    struct Case {
        unsigned baud;
        unsigned bits;
        std::size_t bytes;
    };
    const Case cases[] = {
        {115200, 10, 115}, {9600, 10, 9}, {9600, 12, 8}, {460800, 11, 418},
        // Never nothing, never more than the driver's queue.
        {300, 10, 1}, {0, 10, 1}, {4000000, 10, 4000}, {12000000, 10, 4096}, {115200, 0, 1152},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CDownloadJob::RunBytes(c.baud, c.bits), c.bytes) << c.baud << " baud, " << c.bits << " bits";
}

TEST_F(DownloadJobTest, CompletionRules)
{
    struct Case {
        const char* name;
        std::string completion;
        unsigned completeAtRecord;
        const char* box;
        bool endsAtChecksum;
    };
    const Case cases[] = {
        {"prompt and Error count as completion", "\r\nError 0, back to prompt\r\n", 0, CDownloadJob::kTextCompleted, false},
        {"completion that came early", "\r\nback to prompt\r\n", 2, CDownloadJob::kTextCompleted, false},
        // Reported at once as the board's error, not as a missing completion text.
        {"Error after the last byte", "\r\nError: no end\r\n", 0, CDownloadJob::kTextProgrammingError, true},
    };
    const std::string lines = EncodeIntelHex(Bytes(200, 1), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The board answers at the end record's checksum, before its line end goes out. For text
        // that has to come after the last byte, the file ends with that checksum; otherwise the
        // answer races the job's last writes.
        const std::string file = c.endsAtChecksum ? lines.substr(0, lines.size() - 2) : lines;
        CBoardSimOptions options;
        options.m_monitor.m_strCompletion = c.completion;
        options.m_monitor.m_nCompleteAtRecord = c.completeAtRecord;
        m_port.Close();
        StartBoard(options);
        const std::size_t boxes = Boxes().size();
        CJobRun run = Program(WriteFile("data.hex", file));
        ASSERT_EQ(Boxes().size(), boxes + 1);
        EXPECT_EQ(Boxes().back(), c.box);
        const bool completed = std::string(c.box) == CDownloadJob::kTextCompleted;
        EXPECT_EQ(run.Has("F"), !completed);
        if (!completed) {
            EXPECT_EQ(m_session.LastResult(), EDownloadResult::BoardError);
        }
        EXPECT_EQ(Text(m_sim->Wire()), "L" + file + (completed ? "R" : ""));
        if (completed) {
            EXPECT_EQ(run.log, Expected(file.size()));
        }
    }
}

TEST_F(DownloadJobTest, EachTimeLimitWithItsMessage)
{
    struct Case {
        const char* name;
        CBoardSimOptions options;
        const char* box;
        std::string wire;
        EDownloadResult result;
        std::size_t steps;
    };
    const std::string file = EncodeIntelHex(Bytes(16, 1), 0);
    CBoardSimOptions silentLoad, slowLoad, silentEnd, silentRun;
    silentLoad.m_bSilentLoad = true;
    slowLoad.m_nDelayLoadMs = 700;
    silentEnd.m_bSilentCompletion = true;
    silentRun.m_bSilentRun = true;
    const Case cases[] = {
        {"no answer to the download command", silentLoad, CDownloadJob::kTextNoLoadAnswer, "L", EDownloadResult::NoLoadAnswer, 1},
        {"answer too late", slowLoad, CDownloadJob::kTextNoLoadAnswer, "L", EDownloadResult::NoLoadAnswer, 1},
        {"no completion message", silentEnd, CDownloadJob::kTextNoCompletedMessage, "L" + file, EDownloadResult::NoCompletedMessage, 1 + file.size()},
        {"no answer to the run command", silentRun, CDownloadJob::kTextNoRunAnswer, "L" + file + "R", EDownloadResult::NoRunAnswer, 1 + file.size()},
    };
    const unsigned limits[] = {CDownloadJob::kLoadAnswerMs, CDownloadJob::kLoadAnswerMs, CDownloadJob::kCompletedMs, CDownloadJob::kRunAnswerMs};
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_port.Close();
        StartBoard(c.options);
        const std::size_t boxes = Boxes().size();
        CJobRun run = Program(WriteFile("data.hex", file));
        ASSERT_EQ(Boxes().size(), boxes + 1);
        EXPECT_EQ(Boxes().back(), c.box);
        EXPECT_EQ(m_prompt.Boxes().back().m_strCaption, kAppTitle);
        // After the first failure each job first brings the board back to its prompt.
        EXPECT_EQ(Text(m_sim->Wire()), (i > 0 ? std::string(board::kResync) : std::string()) + c.wire);
        EXPECT_EQ(m_session.LastResult(), c.result);
        EXPECT_EQ(run.Steps(), c.steps);
        EXPECT_GE(run.took, std::chrono::milliseconds(limits[i++]));
    }
}

TEST_F(DownloadJobTest, SecondRequestIsDroppedUntilTheEndIsHandled)
{
    const std::string file = EncodeIntelHex(Bytes(16, 1), 0);
    StartBoard();
    const std::string path = WriteFile("data.hex", file);
    const std::string other = WriteFile("other.hex", file);
    ASSERT_TRUE(m_session.StartDownload(path));
    EXPECT_FALSE(m_session.StartDownload(other));
    EXPECT_EQ(m_session.Job().DownloadFile(), path);
    int dropped = 0;
    CJobRun run = Pump(10s, [&](const CSessionEvent& event, CJobRun&) {
        // Still running once the final box has been shown and the end posted, until the end
        // has been handled.
        if (std::holds_alternative<session_event::CResultShown>(event)) {
            EXPECT_EQ(Boxes().size(), 1u);
            dropped += m_session.StartDownload(other) ? 0 : 1;
        }
    });
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(run.log, Expected(file.size()));
    EXPECT_EQ(Text(m_sim->Wire()), "L" + file + "R");
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(m_session.StartDownload(other));
    EXPECT_TRUE(Pump().ended);
    EXPECT_EQ(Boxes().size(), 2u);
}

TEST_F(DownloadJobTest, HangUpMidFileIsReported)
{
    // Far more than the pseudo-terminal buffers: however late the board hangs up, the job is
    // still writing then.
    const std::string file = EncodeIntelHex(Bytes(40000, 1), 0);
    CBoardSimOptions options;
    options.m_nHangupAfter = 500;
    StartBoard(options);
    CJobRun run = Program(WriteFile("data.hex", file), 5s);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::WriteFailed);
    ASSERT_EQ(Boxes().size(), 1u);
    // The write or the listener sees the hang-up first.
    const std::string head = "Port write error!\r\n\r\n" + m_sim->SlavePath() + ": ";
    EXPECT_TRUE(Boxes()[0] == head + std::error_code(EIO, std::system_category()).message()
        || Boxes()[0] == head + std::error_code(ENODEV, std::system_category()).message())
        << Boxes()[0];
    EXPECT_EQ(m_prompt.Boxes()[0].m_strCaption, "");
    EXPECT_LT(run.Steps(), file.size());
}

TEST_F(DownloadJobTest, WriteThatCannotCompleteEndsAfterABoundedTime)
{
    CBoardSimOptions options;
    options.m_nStallAfter = 100;
    options.m_monitor.m_nRawLength = 100000;
    StartBoard(options);
    CJobRun run = Program(WriteFile("data.bin", std::string(100000, 'x')), 8s);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::WriteFailed);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].rfind("Port write error!\r\n\r\n", 0), 0u);
}

// While a download runs the line is the job's alone: keys typed in the terminal (and any other
// writer) are refused, not echoed, and told once, so the board gets the file byte for byte.
TEST_F(DownloadJobTest, KeysTypedDuringTheDownloadNeverReachTheBoard)
{
    struct Case {
        const char* name;
        bool raw;
    };
    const Case cases[] = {{"Intel HEX file", false}, {"raw binary", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBoardSimOptions options;
        options.m_line.m_nBaud = 115200;
        const std::vector<std::uint8_t> data = Bytes(c.raw ? 40000 : 16000, 7);
        const std::string file = c.raw ? std::string(data.begin(), data.end()) : EncodeIntelHex(data, 0);
        if (c.raw)
            options.m_monitor.m_nRawLength = file.size();
        m_port.Close();
        StartBoard(options);
        CTextTerminal echo;
        CTerminalCounters counters;
        CTerminalInput input(echo, counters);
        input.SetLocalEcho(true);
        int notices = 0;
        input.SetBusyNotice([&] { ++notices; });
        ASSERT_TRUE(m_session.StartDownload(WriteFile(c.raw ? "data.bin" : "data.hex", file)));
        bool typed = false;
        CJobRun run = Pump(30s, [&](const CSessionEvent&, CJobRun& r) {
            if (typed || r.Steps() < file.size() / 3)
                return;
            typed = true;
            for (std::uint8_t key : {'a', 'b', 'c'})
                EXPECT_EQ(input.Type(m_port, key), make_error_code(ESerialError::LineBusy));
            EXPECT_EQ(input.Enter(m_port), make_error_code(ESerialError::LineBusy));
            // Another thread's write is refused the same way.
            std::error_code other;
            std::thread([&] { other = m_port.Write("z", nullptr, nullptr, kNoTimeLimit); }).join();
            EXPECT_EQ(other, make_error_code(ESerialError::LineBusy));
        });
        ASSERT_TRUE(run.ended);
        ASSERT_TRUE(typed);
        EXPECT_EQ(m_session.LastResult(), EDownloadResult::Completed);
        EXPECT_EQ(notices, 1);
        EXPECT_EQ(echo.m_strText, "");
        EXPECT_EQ(counters.Sent(), 0u);
        EXPECT_EQ(Text(m_sim->Wire()), "L" + file + "R");
        EXPECT_EQ(m_sim->Image(), data);
        // Once the job has ended the keys go out again, and a later refusal is told again.
        EXPECT_FALSE(input.Type(m_port, 'a'));
        EXPECT_EQ(echo.m_strText, "a");
    }
}

// Stop ends a HEX file's data after a whole line, and the next download first brings the board
// back to its prompt: it completes on the same board, with the image whole.
TEST_F(DownloadJobTest, AfterAStopTheNextDownloadCompletes)
{
    const std::string file = StartPacedDownload();
    CJobRun run = Pump(30s, [&](const CSessionEvent&, CJobRun& r) {
        if (r.Steps() >= file.size() / 4)
            m_session.RequestStop();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::Stopped);
    ASSERT_TRUE(m_sim->WaitForBytes(1 + m_session.Job().BytesSent(), 10s));
    const std::string stopped = Text(m_sim->Wire());
    ASSERT_GT(stopped.size(), 1u);
    EXPECT_EQ(stopped.substr(1), file.substr(0, stopped.size() - 1)) << "the board got bytes of no file";
    EXPECT_EQ(stopped.back(), '\n') << "the data stopped inside a record";
    EXPECT_LT(stopped.size(), file.size());

    run = Program(m_strLastFile, 30s);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::Completed);
    EXPECT_EQ(Text(m_sim->Wire()), stopped + board::kResync + "L" + file + "R");
    EXPECT_EQ(m_sim->Image(), Bytes(20000, 1));

    // A completed download leaves the board at its prompt: the next one sends no resync.
    const std::size_t before = m_sim->Wire().size();
    run = Program(m_strLastFile, 30s);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::Completed);
    EXPECT_EQ(Text(m_sim->Wire()).substr(before), "L" + file + "R");
}

// A line that goes away while the job waits for the board (the file is all in the
// pseudo-terminal's buffer) ends the job at once with the port's error, counting only what the
// line can have carried.
TEST_F(DownloadJobTest, ALineLostWhileTheJobWaitsEndsItAtOnce)
{
    CBoardSimOptions options;
    options.m_line.m_nBaud = 19200;
    options.m_nHangupAfter = 1500;
    StartBoard(options, true, "19200");
    // About 6 s of the line, all of it taken by the pseudo-terminal at once: the job waits for
    // the completion text, and without the hang-up being heard that wait lasts 7 s.
    const std::string file = EncodeIntelHex(Bytes(4000, 3), 0);
    CJobRun run = Program(WriteFile("data.hex", file), 5s);
    ASSERT_TRUE(run.ended) << "the job waited on for a line that had gone";
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::WriteFailed);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].rfind("Port write error!\r\n\r\n" + m_sim->SlavePath() + ": ", 0), 0u) << Boxes()[0];
    EXPECT_LT(m_session.Job().BytesSent(), file.size() / 2);
}

TEST_F(DownloadJobTest, StopEndsTheJobWithoutABox)
{
    const std::string file = StartPacedDownload();
    CJobRun run = Pump(10s, [&](const CSessionEvent&, CJobRun& r) {
        if (r.Steps() >= 2000)
            m_session.RequestStop();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::Stopped);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_LT(run.Steps(), file.size() / 2);
    EXPECT_FALSE(m_session.IsDownloadRunning());

    // A stop while waiting for an answer ends the wait at once: at 1200 baud the wait for the
    // silent board's completion text would last the line time of the file, over 15 s.
    m_port.Close();
    CBoardSimOptions silent;
    silent.m_bSilentCompletion = true;
    StartBoard(silent, true, "1200");
    const std::string text = EncodeIntelHex(Bytes(700, 2), 0);
    const std::uint64_t dataEnd = 1 + text.size();
    ASSERT_TRUE(m_session.StartDownload(WriteFile("small.hex", text)));
    bool stopped = false;
    run = Pump(5s, [&](const CSessionEvent&, CJobRun& r) {
        if (!stopped && r.Steps() >= dataEnd) {
            stopped = true;
            m_session.RequestStop();
        }
    });
    ASSERT_TRUE(stopped);
    ASSERT_TRUE(run.ended) << "the stop did not end the wait for the board";
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::Stopped);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DownloadJobTest, PacedLinesCompleteAndASilentBoardIsStillReported)
{
    // The pseudo-terminal takes most of each file at once: the job's last write is done long
    // before the paced board has read it.
    struct Case {
        const char* name;
        unsigned baud;
        std::size_t bytes;
        bool silent;
    };
    const Case cases[] = {
        {"19200 baud", 19200, 2000, false},
        {"115200 baud", 115200, 8000, false},
        {"19200 baud, silent board", 19200, 2000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBoardSimOptions options;
        options.m_line.m_nBaud = c.baud;
        options.m_bSilentCompletion = c.silent;
        m_port.Close();
        StartBoard(options, true, std::to_string(c.baud).c_str());
        const std::string file = EncodeIntelHex(Bytes(c.bytes), 0);
        const std::size_t boxes = Boxes().size();
        CJobRun run = Program(WriteFile("paced.hex", file), 30s);
        ASSERT_TRUE(run.ended);
        ASSERT_EQ(Boxes().size(), boxes + 1);
        const auto lineTime = line_timing::LineTime(file.size(), c.baud);
        if (c.silent) {
            EXPECT_EQ(Boxes().back(), CDownloadJob::kTextNoCompletedMessage);
            EXPECT_GE(run.took, lineTime + 1000ms) << "reported before the bytes could have arrived";
        } else {
            EXPECT_EQ(Boxes().back(), CDownloadJob::kTextCompleted);
            EXPECT_EQ(m_sim->Image(), Bytes(c.bytes));
        }
    }
}

TEST_F(DownloadJobTest, IntelHexFileIsCheckedBeforeAByteGoesOut)
{
    StartBoard();
    const std::string bad = WriteFile("bad.hex", EncodeIntelHex(Bytes(16, 1), 0) + ":0300000041424338\r\n");
    CJobRun run = Program(bad);
    EXPECT_EQ(run.log, std::vector<std::string>{"E"});
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::BadHexFile);
    EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(CDownloadJob::kTextBadHexFile) + "\r\n\r\n" + bad
                           + "\r\nline 4: text after the end record of line 3"});
    EXPECT_EQ(m_session.SummaryLine(), "");
    EXPECT_TRUE(m_sim->Wire().empty());

    // A valid file is sent and summarised after its box.
    const std::string good = WriteFile("good.hex", EncodeIntelHex(Bytes(40, 1), 0x100));
    run = Program(good);
    EXPECT_EQ(Boxes().back(), CDownloadJob::kTextCompleted);
    const std::string summary = m_session.SummaryLine();
    EXPECT_EQ(summary.rfind(good + ": " + std::to_string(EncodeIntelHex(Bytes(40, 1), 0x100).size())
                      + " bytes, addresses 0100-0127, ", 0), 0u) << summary;
    EXPECT_NE(summary.find(" bytes/s"), std::string::npos) << summary;

    // Unchecked, it goes to the board as it is. Last: the board rejects its extra record and then
    // ignores commands for a while, which a download right after it would take for silence.
    CBoardCommandValues values = m_commands.Get();
    values.m_bCheckHexFile = 0;
    m_commands.Set(values);
    run = Program(bad);
    EXPECT_TRUE(run.ended);
    EXPECT_NE(Text(m_sim->Wire()).find(EncodeIntelHex(Bytes(16, 1), 0) + ":0300000041424338"), std::string::npos);
}

TEST_F(DownloadJobTest, TextFromBeforeTheDownloadCommandAnswersNothing)
{
    // A board whose download command is LOAD answers a download nobody waits for; its answer
    // and completion text are still unread when a job sends L, which this board only echoes.
    CBoardSimOptions options;
    options.m_monitor.m_strProgramCmd = "LOAD";
    StartBoard(options);
    const std::string earlier = "LOAD:00000001FF\r\n";
    ASSERT_FALSE(m_port.Write(earlier.data(), static_cast<std::uint32_t>(earlier.size())));
    std::optional<CPostedEvent> note = m_sink.TakeUntil(Clock::now() + 5s);
    ASSERT_TRUE(note.has_value());
    ASSERT_TRUE(std::holds_alternative<CPortEvent>(*note));
    ASSERT_TRUE(m_sim->WaitForDownloads(1, 5s));
    // The whole answer waits at this end before the job starts, not only its first bytes.
    ASSERT_TRUE(m_sim->WaitForAnswersSent(5s));
    // Not read: announced again with the next bytes. The driver may still hand some of them
    // over after this, so the terminal may or may not show them before the job drops the rest;
    // either way none of them answers the job's command.
    m_session.PortSink().Taken();

    SetCommands(1, "L", "R");
    CJobRun run = Program(WriteFile("data.hex", EncodeIntelHex(Bytes(16, 1), 0)));
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextNoLoadAnswer});
    EXPECT_EQ(Text(m_sim->Wire()), earlier + "L");
}

TEST_F(DownloadJobTest, RunCommandIsReadWhenItIsNeeded)
{
    CBoardSimOptions options;
    options.m_monitor.m_strRunCmd = "GO";
    options.m_line.m_nBaud = 115200;
    StartBoard(options);
    const std::string file = EncodeIntelHex(Bytes(400, 1), 0);
    SetCommands(1, "L", "R");
    ASSERT_TRUE(m_session.StartDownload(WriteFile("data.hex", file)));
    CJobRun run = Pump(10s, [&](const CSessionEvent&, CJobRun& r) {
        if (r.Steps() >= 10)
            SetCommands(1, "L", "GO");
    });
    EXPECT_EQ(Text(m_sim->Wire()), "L" + file + "GO");
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextCompleted});
}

// The system side of the port as it is, with the writes it is given counted.
class CCountingBackend : public CSerialBackend {
public:
    explicit CCountingBackend(std::atomic<std::size_t>& writes) : m_writes(writes) {}

    std::error_code Open(const std::string& path) override { return m_real->Open(path); }
    void Close() override { m_real->Close(); }
    void WakeAll() override { m_real->WakeAll(); }
    void WakeWaiter() override { m_real->WakeWaiter(); }
    void ForgetWake() override { m_real->ForgetWake(); }
    std::error_code GetLine(CLineConfig& line) override { return m_real->GetLine(line); }
    std::error_code SetLine(const CLineConfig& line) override { return m_real->SetLine(line); }
    std::error_code Read(void* buffer, std::size_t size, std::size_t& done, bool waitAll,
        const CDeadline& deadline) override
    {
        return m_real->Read(buffer, size, done, waitAll, deadline);
    }
    std::error_code Write(const void* data, std::size_t size, std::size_t& done, const CDeadline& deadline) override
    {
        ++m_writes;
        return m_real->Write(data, size, done, deadline);
    }
    std::error_code WaitEvents(std::uint32_t mask, std::uint32_t& events, const CDeadline& deadline) override
    {
        return m_real->WaitEvents(mask, events, deadline);
    }
    std::error_code OutputQueue(std::size_t& bytes) override { return m_real->OutputQueue(bytes); }
    std::error_code DiscardInput() override { return m_real->DiscardInput(); }
    std::error_code ClearErrors(std::uint32_t& errors) override { return m_real->ClearErrors(errors); }
    std::error_code SetModemLine(std::uint32_t line, bool on) override { return m_real->SetModemLine(line, on); }
    std::error_code GetModemLines(std::uint32_t& lines) override { return m_real->GetModemLines(lines); }

private:
    std::unique_ptr<CSerialBackend> m_real = CSerialBackend::Create();
    std::atomic<std::size_t>& m_writes;
};

// A backend whose port has modem lines (a pseudo-terminal has none): the lines driven, each with
// when it was driven and how many writes had gone to the board by then.
class CModemBackend : public CCountingBackend {
public:
    struct CLineStep {
        std::uint32_t m_nLine;
        bool m_bOn;
        Clock::time_point m_tAt;
        std::size_t m_nWrites;
    };
    CModemBackend(std::atomic<std::size_t>& writes, std::vector<CLineStep>& steps)
        : CCountingBackend(writes), m_writes(writes), m_steps(steps)
    {
    }
    std::error_code SetModemLine(std::uint32_t line, bool on) override
    {
        m_steps.push_back({line, on, Clock::now(), m_writes.load()});
        return {};
    }

private:
    std::atomic<std::size_t>& m_writes;
    std::vector<CLineStep>& m_steps;
};

// The reset sequence runs in order, with its pauses, before the download command; a port
// without modem lines ends the job with the reason and nothing sent.
TEST_F(DownloadJobTest, ResetSequenceComesBeforeTheDownloadCommand)
{
    std::atomic<std::size_t> writes{0};
    std::vector<CModemBackend::CLineStep> steps;
    ASSERT_TRUE(m_port.UseBackend(std::make_unique<CModemBackend>(writes, steps)));
    StartBoard();
    CBoardCommandValues values = m_commands.Get();
    values.m_strResetSequence = "dtr:150,-dtr:0,rts";
    m_commands.Set(values);
    const std::string file = EncodeIntelHex(Bytes(100, 1), 0);
    const auto start = Clock::now();
    CJobRun run = Program(WriteFile("data.hex", file));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextCompleted});
    EXPECT_EQ(Text(m_sim->Wire()), "L" + file + "R");
    ASSERT_EQ(steps.size(), 3u);
    const std::vector<std::pair<std::uint32_t, bool>> order = {{MODEM_DTR, true}, {MODEM_DTR, false}, {MODEM_RTS, true}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(std::make_pair(steps[i].m_nLine, steps[i].m_bOn), order[i]) << i;
        EXPECT_EQ(steps[i].m_nWrites, 0u) << i;
    }
    // The pauses are at least as long as asked (no upper bound: the machine is shared).
    EXPECT_GE(steps[1].m_tAt - steps[0].m_tAt, 150ms);
    EXPECT_GE(Clock::now() - start, 250ms);
}

TEST_F(DownloadJobTest, ResetSequenceOnAPortWithoutModemLines)
{
    StartBoard();
    CBoardCommandValues values = m_commands.Get();
    values.m_strResetSequence = "dtr,-dtr";
    m_commands.Set(values);
    CJobRun run = Program(WriteFile("data.hex", EncodeIntelHex(Bytes(100, 1), 0)));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(m_session.LastResult(), EDownloadResult::ResetFailed);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].rfind(std::string(CDownloadJob::kTextResetError) + "\r\n\r\n" + m_sim->SlavePath() + ": ", 0), 0u)
        << Boxes()[0];
    EXPECT_TRUE(m_sim->Wire().empty());
}

TEST_F(DownloadJobTest, FileGoesOutInRunsNotOneWritePerByte)
{
    std::atomic<std::size_t> writes{0};
    ASSERT_TRUE(m_port.UseBackend(std::make_unique<CCountingBackend>(writes)));
    CBoardSimOptions options;
    options.m_line.m_nBaud = 115200;
    StartBoard(options);
    const std::string file = EncodeIntelHex(Bytes(1456, 1), 0); // about 4 KiB
    SetCommands(1, "L", "R");
    CJobRun run = Program(WriteFile("data.hex", file));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Boxes(), std::vector<std::string>{CDownloadJob::kTextCompleted});
    EXPECT_EQ(Text(m_sim->Wire()), "L" + file + "R");
    // A run is what the line carries in a slice of time (over a hundred bytes at this rate);
    // one write per byte would be thousands.
    EXPECT_LT(writes.load(), file.size() / 16) << file.size() << " bytes";
}

} // namespace
