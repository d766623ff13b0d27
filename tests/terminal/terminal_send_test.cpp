// What the terminal sends beyond single keys: the command line's history and escapes, and the
// pacing of sends over a pseudo-terminal whose far end plays a board that answers each line at
// once, answers late, or stays silent. Time is only checked from below (a delay is at least its
// length) and, 10 times loose, from above.

#include "pty_pair.h"
#include "recording_sink.h"

#include "base/memory_settings_store.h"
#include "serial/serial_port.h"
#include "terminal/command_history.h"
#include "terminal/escaped_text.h"
#include "terminal/highlight_rules.h"
#include "terminal/quick_sends.h"
#include "terminal/raw_sender.h"
#include "terminal/terminal_io_settings.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// ---- History --------------------------------------------------------------------------------

TEST(CommandHistory, KeepsLinesInOrderWithinItsLimits)
{
    struct Row {
        const char* m_name;
        std::vector<std::string> m_added;
        std::vector<std::string> m_kept;
    };
    std::vector<std::string> many;
    for (int i = 0; i < 205; ++i)
        many.push_back(std::to_string(i));
    std::vector<std::string> newest(many.begin() + 5, many.end());
    const Row rows[] = {
        {"a repeated line moves to the end", {"a", "b", "c", "a"}, {"b", "c", "a"}},
        {"empty lines and line ends are not kept", {"", "x\ny", "x\r", "ok"}, {"ok"}},
        {"a line too long for the settings is not kept", {std::string(CCommandHistory::kMaxLineLength + 1, 'x'), "z"}, {"z"}},
        {"beyond the limit the oldest go", many, newest},
    };
    for (const Row& row : rows) {
        CCommandHistory history;
        for (const std::string& line : row.m_added)
            history.Add(line);
        EXPECT_EQ(history.Entries(), row.m_kept) << row.m_name;
        // What is saved comes back the same.
        CMemorySettingsStore store;
        history.Save(store);
        CCommandHistory loaded;
        loaded.Load(store);
        EXPECT_EQ(loaded.Entries(), row.m_kept) << row.m_name;
    }
    // A hand-edited value keeps what a command line can hold.
    CMemorySettingsStore store;
    store.WriteString(CCommandHistory::kKey, "one\n\ntwo\r\nthree\none");
    CCommandHistory loaded;
    loaded.Load(store);
    EXPECT_EQ(loaded.Entries(), (std::vector<std::string>{"three", "one"}));
}

TEST(CommandHistory, UpAndDownWalkFromTheNewestAndGiveTheDraftBack)
{
    CCommandHistory history;
    for (const char* line : {"reset", "help", "version"})
        history.Add(line);
    EXPECT_EQ(history.Newer(), std::nullopt);
    EXPECT_EQ(history.Older("dra"), "version");
    EXPECT_EQ(history.Older("ignored"), "help");
    EXPECT_EQ(history.Older(""), "reset");
    EXPECT_EQ(history.Older(""), std::nullopt);
    EXPECT_EQ(history.Newer(), "help");
    EXPECT_EQ(history.Newer(), "version");
    EXPECT_EQ(history.Newer(), "dra");
    EXPECT_EQ(history.Newer(), std::nullopt);
    // A search goes further back each time and stays put when nothing older matches.
    history.Add("help me");
    EXPECT_EQ(history.SearchOlder("hel", "typed"), "help me");
    EXPECT_EQ(history.SearchOlder("hel", ""), "help");
    EXPECT_EQ(history.SearchOlder("hel", ""), std::nullopt);
    EXPECT_EQ(history.Newer(), "version");
    // Sending ends the walk: Up starts at the newest again.
    history.Add("help");
    EXPECT_EQ(history.Older(""), "help");
}

// ---- Escapes --------------------------------------------------------------------------------

TEST(EscapedText, TurnsEscapesIntoBytesAndNamesABadOne)
{
    struct Row {
        const char* m_text;
        std::string m_bytes;
        // Part of the error text; empty: the text is good.
        const char* m_error;
    } const rows[] = {
        {"plain text", "plain text", ""},
        {"\\x41\\x0d\\x0A\\xfF", "A\r\n\xff", ""},
        {"\\x00", std::string(1, '\0'), ""},
        {"\\r\\n\\t\\\\", "\r\n\t\\", ""},
        {"a\\\\x41", "a\\x41", ""},
        {"ab\\", "", "lone \\ (column 3)"},
        {"\\x4", "", "\\x4 at column 1 needs two hex digits"},
        {"go \\x4g", "", "\\x4g at column 4 needs two hex digits"},
        {"a\\q", "", "Unknown escape \\q at column 2"},
    };
    for (const Row& row : rows) {
        const CEscapedText::CResult result = CEscapedText::Parse(row.m_text);
        EXPECT_EQ(result.m_strBytes, row.m_bytes) << row.m_text;
        if (*row.m_error == '\0')
            EXPECT_EQ(result.m_strError, "") << row.m_text;
        else
            EXPECT_NE(result.m_strError.find(row.m_error), std::string::npos) << row.m_text << ": " << result.m_strError;
    }
}

// ---- Pacing ---------------------------------------------------------------------------------

// The board at the far end: reads what comes and answers each carriage return with a prompt
// after a delay, or never.
class CFarBoard {
public:
    CFarBoard(CPtyPair& pty, bool answers, milliseconds delay) : m_pty(pty), m_bAnswers(answers), m_delay(delay)
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~CFarBoard()
    {
        m_bQuit.store(true);
        m_thread.join();
    }
    std::string Received() const
    {
        std::lock_guard lock(m_mutex);
        return m_strReceived;
    }
    // What came once at least count bytes have, or the time is up.
    std::string WaitFor(std::size_t count, milliseconds limit = milliseconds(10000)) const
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, limit, [&] { return m_strReceived.size() >= count; });
        return m_strReceived;
    }
    // When each byte arrived, from the clock's start.
    std::vector<Clock::time_point> Arrivals() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }

    static constexpr const char* kPrompt = "\r\nboard> ";

private:
    void Run()
    {
        std::deque<Clock::time_point> answers;
        while (!m_bQuit.load()) {
            int wait = 20;
            if (!answers.empty())
                wait = std::clamp(static_cast<int>(std::chrono::duration_cast<milliseconds>(answers.front() - Clock::now()).count()), 0, 20);
            pollfd fd{m_pty.Master(), POLLIN, 0};
            if (::poll(&fd, 1, wait) > 0) {
                char buffer[256];
                const ssize_t n = ::read(m_pty.Master(), buffer, sizeof buffer);
                const Clock::time_point now = Clock::now();
                std::lock_guard lock(m_mutex);
                for (ssize_t i = 0; i < n; ++i) {
                    m_strReceived += buffer[i];
                    m_arrivals.push_back(now);
                    if (buffer[i] == '\r' && m_bAnswers)
                        answers.push_back(now + m_delay);
                }
                m_cv.notify_all();
            }
            while (!answers.empty() && answers.front() <= Clock::now()) {
                answers.pop_front();
                const std::string prompt = kPrompt;
                if (::write(m_pty.Master(), prompt.data(), prompt.size()) < 0)
                    return;
            }
        }
    }

    CPtyPair& m_pty;
    const bool m_bAnswers;
    const milliseconds m_delay;
    std::atomic<bool> m_bQuit{false};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::string m_strReceived;
    std::vector<Clock::time_point> m_arrivals;
    std::thread m_thread;
};

class PacedSendTest : public ::testing::Test {
protected:
    CPtyPair m_pty;
    CSerialPort m_port;
    CRecordingSink m_sink;
    CTerminalCounters m_counters;
    CRawSender m_sender{m_sink, m_counters};
    std::atomic<bool> m_bQuit{false};
    std::thread m_reader;

    // The port's reader plays the window's: what the board sends goes to the sender.
    void SetUp() override
    {
        ASSERT_FALSE(m_port.Open(m_pty.SlavePath(), 0, 0, true));
        m_reader = std::thread([this] {
            std::uint8_t buffer[256];
            while (!m_bQuit.load()) {
                std::uint32_t got = 0;
                m_port.Read(buffer, sizeof buffer, &got, nullptr, 20);
                if (got > 0)
                    m_sender.OnReceived(buffer, got);
            }
        });
    }
    void TearDown() override
    {
        m_bQuit.store(true);
        if (m_reader.joinable())
            m_reader.join();
    }
    std::size_t m_nEnded = 0;

    // Waits for the send's end notice and hands it to the sender.
    bool End(std::chrono::seconds limit = std::chrono::seconds(20))
    {
        if (!m_sink.WaitFor(m_nEnded + 1, limit))
            return false;
        return m_sender.OnEnd(m_sink.Messages()[m_nEnded++]);
    }
};

TEST_F(PacedSendTest, WaitingForThePromptFollowsTheBoard)
{
    const std::string text = "one\rtwo\rthree\r";
    struct Row {
        const char* m_name;
        bool m_bAnswers;
        int m_nDelayMs;
        bool m_bGoOn;
        CRawSender::EResult m_eResult;
        std::string m_strArrived;
        std::uint64_t m_nTimedOutLine;
        std::uint64_t m_nMissed;
        // The least the send can take: the board's delays before lines 2 and 3.
        int m_nLeastMs;
    } const rows[] = {
        {"answers at once", true, 0, false, CRawSender::EResult::Completed, text, 0, 0, 0},
        {"answers late, within the limit", true, 250, false, CRawSender::EResult::Completed, text, 0, 0, 500},
        {"stays silent, stop", false, 0, false, CRawSender::EResult::TimedOut, "one\r", 1, 0, 300},
        {"stays silent, go on", false, 0, true, CRawSender::EResult::Completed, text, 0, 2, 600},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_name);
        m_pty.ReceiveAvailable();
        CFarBoard board(m_pty, row.m_bAnswers, milliseconds(row.m_nDelayMs));
        CSendPacing pacing;
        pacing.m_strWaitFor = "board> ";
        pacing.m_nWaitLimitMs = row.m_bAnswers ? 5000 : 300;
        pacing.m_bGoOnAfterTimeout = row.m_bGoOn;
        const Clock::time_point start = Clock::now();
        ASSERT_EQ(m_sender.StartBytes(m_port, text, "lines", 0, pacing), std::error_code());
        ASSERT_TRUE(End());
        const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
        EXPECT_EQ(m_sender.Result(), row.m_eResult);
        EXPECT_EQ(m_sender.TimedOutLine(), row.m_nTimedOutLine);
        EXPECT_EQ(m_sender.MissedWaits(), row.m_nMissed);
        EXPECT_GE(took, row.m_nLeastMs);
        EXPECT_LT(took, 10 * row.m_nLeastMs + 5000);
        // Nothing after the line the board did not answer.
        EXPECT_EQ(board.WaitFor(row.m_strArrived.size()), row.m_strArrived);
        if (row.m_eResult == CRawSender::EResult::TimedOut) {
            const std::string failure = m_sender.FailureText("/dev/x");
            EXPECT_NE(failure.find("No \"board> \" came from the board within 300 ms after line 1 of lines."),
                      std::string::npos)
                << failure;
        }
    }
}

TEST_F(PacedSendTest, DelaysSpaceTheBytesAndLinesAndCountTheLines)
{
    struct Row {
        const char* m_name;
        int m_nCharMs;
        int m_nLineMs;
        std::string m_strText;
        std::uint64_t m_nLines;
        // The least time from the start to the last byte.
        int m_nLeastMs;
    } const rows[] = {
        {"no pacing", 0, 0, "a\r\nb\nc\rd", 3, 0},
        {"after each byte", 40, 0, "abcd", 0, 120},
        {"after each line end", 0, 150, "l1\r\nl2\nl3\r", 3, 300},
        {"both", 20, 100, "ab\rc", 1, 160},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_name);
        CFarBoard board(m_pty, false, milliseconds(0));
        CSendPacing pacing;
        pacing.m_nCharDelayMs = row.m_nCharMs;
        pacing.m_nLineDelayMs = row.m_nLineMs;
        const Clock::time_point start = Clock::now();
        ASSERT_EQ(m_sender.StartBytes(m_port, row.m_strText, "text", 0, pacing), std::error_code());
        ASSERT_TRUE(End());
        EXPECT_EQ(m_sender.Result(), CRawSender::EResult::Completed);
        EXPECT_EQ(m_sender.Lines(), row.m_nLines);
        // The far end has the bytes unchanged.
        EXPECT_EQ(board.WaitFor(row.m_strText.size()), row.m_strText);
        const std::vector<Clock::time_point> arrivals = board.Arrivals();
        ASSERT_EQ(arrivals.size(), row.m_strText.size());
        const auto took = std::chrono::duration_cast<milliseconds>(arrivals.back() - start).count();
        EXPECT_GE(took, row.m_nLeastMs);
        EXPECT_LT(took, 10 * row.m_nLeastMs + 2000);
    }
}

TEST_F(PacedSendTest, StopEndsAWaitAtOnce)
{
    CFarBoard board(m_pty, false, milliseconds(0));
    CSendPacing pacing;
    pacing.m_strWaitFor = ">";
    pacing.m_nWaitLimitMs = CSendPacing::kMaxWaitLimitMs;
    pacing.m_nLineDelayMs = CSendPacing::kMaxLineDelayMs;
    ASSERT_EQ(m_sender.StartBytes(m_port, "first\rsecond\r", "text", 0, pacing), std::error_code());
    ASSERT_EQ(board.WaitFor(6), "first\r");
    m_sender.RequestStop();
    // Well before the delay and the limit would have ended.
    ASSERT_TRUE(End(std::chrono::seconds(5)));
    EXPECT_EQ(m_sender.Result(), CRawSender::EResult::Stopped);
    EXPECT_EQ(m_sender.Sent(), 6u);
    EXPECT_EQ(m_sender.Lines(), 1u);
}

TEST(TerminalIoSettings, PacingAndTheCommandLineRoundTripAndBadValuesKeepTheDefault)
{
    CMemorySettingsStore store;
    CTerminalIoSettings settings;
    settings.m_pacing.m_nCharDelayMs = 5;
    settings.m_pacing.m_nLineDelayMs = 10000;
    settings.m_pacing.m_strWaitFor = "ok>";
    settings.m_pacing.m_nWaitLimitMs = 750;
    settings.m_pacing.m_bGoOnAfterTimeout = true;
    settings.m_bCommandLine = false;
    settings.m_bEscapes = true;
    settings.Save(store);
    CTerminalIoSettings loaded;
    loaded.Load(store);
    EXPECT_EQ(loaded, settings);

    store.WriteInt("TerminalCharDelay", 1001);
    store.WriteInt("TerminalLineDelay", -1);
    store.WriteInt("TerminalWaitLimit", 0);
    store.WriteInt("TerminalWaitTimeout", 2);
    store.WriteString("TerminalWaitFor", std::string(CSendPacing::kMaxWaitText + 1, '>'));
    loaded.Load(store);
    EXPECT_EQ(loaded.m_pacing, CSendPacing());
    EXPECT_FALSE(loaded.m_pacing.Paced());
}

// ---- Quick sends ----------------------------------------------------------------------------

TEST(QuickSends, EachSendIsOneValueAndAnUnreadableOneIsLeftOutWithAWarning)
{
    struct Row {
        const char* m_value;
        bool m_bReads;
        CQuickSend m_send;
    } const rows[] = {
        {"text\treset\treset\\r", true, {"reset", CQuickSend::EKind::Text, "reset\\r"}},
        {"text\tempty\t", true, {"empty", CQuickSend::EKind::Text, ""}},
        {"file\tboot\t/tmp/boot script.txt", true, {"boot", CQuickSend::EKind::File, "/tmp/boot script.txt"}},
        {"text\ttabbed\ta\tb", false, {}},
        {"file\tnothing\t", false, {}},
        {"text\t\tno name", false, {}},
        {"macro\tx\ty", false, {}},
        {"garbage", false, {}},
    };
    for (const Row& row : rows) {
        CQuickSend send;
        EXPECT_EQ(CQuickSends::Parse(row.m_value, send), row.m_bReads) << row.m_value;
        EXPECT_EQ(send, row.m_send) << row.m_value;
        if (row.m_bReads) {
            EXPECT_EQ(CQuickSends::Format(send), row.m_value);
        }
    }

    CMemorySettingsStore store;
    CQuickSends sends;
    ASSERT_TRUE(sends.Set(0, rows[0].m_send));
    ASSERT_TRUE(sends.Set(11, rows[2].m_send));
    EXPECT_FALSE(sends.Set(1, {"two\tparts", CQuickSend::EKind::Text, "x"}));
    EXPECT_FALSE(sends.Set(12, rows[0].m_send));
    sends.Save(store);
    store.WriteString("TerminalQuickSend5", "garbage");
    CQuickSends loaded;
    loaded.Load(store);
    EXPECT_EQ(loaded, sends);
    EXPECT_EQ(store.Warnings(),
              std::vector<std::string>{"Settings: TerminalQuickSend5=garbage is not a valid value; no quick send is used."});
}

// ---- Highlight rules ------------------------------------------------------------------------

TEST(HighlightRules, EachRuleIsOneValueTheDefaultsHoldUntilRulesAreSaved)
{
    struct Row {
        const char* m_value;
        bool m_bReads;
        CHighlightRule m_rule;
    } const rows[] = {
        {"line\t#8b0000\terror|fail", true, {"error|fail", 0x8B0000, true}},
        {"match\t#00ff00\tok\t>", true, {"ok\t>", 0x00FF00, false}},
        {"line\t#8b00\tx", false, {}},
        {"word\t#000000\tx", false, {}},
        {"line\t#0000zz\tx", false, {}},
        {"line\t#000000\t", false, {}},
        {"line #000000 x", false, {}},
    };
    for (const Row& row : rows) {
        CHighlightRule rule;
        EXPECT_EQ(CHighlightRules::Parse(row.m_value, rule), row.m_bReads) << row.m_value;
        EXPECT_EQ(rule, row.m_rule) << row.m_value;
        if (row.m_bReads) {
            EXPECT_EQ(CHighlightRules::Format(rule), row.m_value);
        }
    }
    CMemorySettingsStore store;
    CHighlightRules rules;
    rules.Load(store);
    EXPECT_EQ(rules.Rules(), (std::vector<CHighlightRule>{{"error|fail", 0x8B0000, true}, {"warn", 0xA52A2A, true}}));
    // Saved without any rule: none, not the defaults.
    rules.SetRules({});
    rules.Save(store);
    rules.Load(store);
    EXPECT_TRUE(rules.Rules().empty());
    rules.SetRules({rows[0].m_rule, rows[1].m_rule, rows[0].m_rule});
    rules.Save(store);
    store.WriteString("TerminalHighlight2", "nonsense");
    rules.Load(store);
    EXPECT_EQ(rules.Rules(), (std::vector<CHighlightRule>{rows[0].m_rule, rows[0].m_rule}));
    EXPECT_EQ(store.Warnings(),
              std::vector<std::string>{"Settings: TerminalHighlight2=nonsense is not a valid value; no rule is used."});
}

} // namespace
