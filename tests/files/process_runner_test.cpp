// The process runner with real children: start failures, complete delivery in runs of at most
// 256 bytes, standard error, arguments reaching the program unchanged (no shell), exit status,
// back-pressure, and Stop ending a child with its whole process group.

#include "files/command_line.h"
#include "files/process_runner.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace {
struct CRun {
    bool m_bError = false;
    std::string m_strText;
};

class CRecordingRunner : public CProcessRunner {
public:
    ~CRecordingRunner() override { Stop(); }

    std::vector<CRun> Runs() const
    {
        std::lock_guard lock(m_mutex);
        return m_runs;
    }
    std::string Text(bool error) const
    {
        std::string text;
        for (const CRun& run : Runs())
            if (run.m_bError == error)
                text += run.m_strText;
        return text;
    }
    // Waits until standard output holds count line feeds.
    bool WaitForLines(std::size_t count, std::chrono::seconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] {
            std::size_t lines = 0;
            for (const CRun& run : m_runs)
                lines += run.m_bError ? 0 : std::count(run.m_strText.begin(), run.m_strText.end(), '\n');
            return lines >= count;
        });
    }
    // Waits until at least count runs have been recorded.
    bool WaitForRuns(std::size_t count, std::chrono::seconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_runs.size() >= count; });
    }
    std::vector<std::string> m_starts;
    std::atomic<int> m_nExits{0};

protected:
    void OnStart(const std::string& commandLine) override { m_starts.push_back(commandLine); }
    void OnStdout(std::string_view text) override { Record(false, text); }
    void OnStderr(std::string_view text) override { Record(true, text); }
    void OnExit() override { ++m_nExits; }
    void OnFinished(const CExitStatus& status) override
    {
        std::lock_guard lock(m_mutex);
        m_finished.push_back(status);
    }

public:
    std::vector<CExitStatus> Finished() const
    {
        std::lock_guard lock(m_mutex);
        return m_finished;
    }

protected:
    std::vector<CExitStatus> m_finished;

    virtual void Record(bool error, std::string_view text)
    {
        {
            std::lock_guard lock(m_mutex);
            m_runs.push_back({error, std::string(text)});
        }
        m_cv.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<CRun> m_runs;
};

// A handle on a process that tells when it has gone, without polling.
class CProcessHandle {
public:
    explicit CProcessHandle(pid_t pid) : m_fd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))) {}
    ~CProcessHandle()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Valid() const { return m_fd >= 0; }
    bool WaitGone(int timeoutMs) const
    {
        pollfd pfd{m_fd, POLLIN, 0};
        return poll(&pfd, 1, timeoutMs) == 1;
    }

private:
    int m_fd;
};

// Starts a command line split as the tool settings are.
bool StartLine(CProcessRunner& runner, const std::string& line)
{
    return runner.Start(line, SplitCommandLine(line));
}

std::vector<pid_t> PidsOf(const std::string& text)
{
    std::vector<pid_t> pids;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            break;
        pids.push_back(static_cast<pid_t>(std::stol(text.substr(pos, end - pos))));
        pos = end + 1;
    }
    return pids;
}

TEST(ProcessRunnerStart, MissingProgramGivesExactlyOneUnableToStartRun)
{
    CRecordingRunner runner;
    EXPECT_FALSE(StartLine(runner, "/nonexistent/qx-builder \"a b\""));
    auto runs = runner.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].m_bError);
    EXPECT_EQ(runs[0].m_strText, "Unable to start /nonexistent/qx-builder \"a b\"\nNo such file or directory\n");
    EXPECT_TRUE(runner.m_starts.empty());
    EXPECT_FALSE(runner.IsActive());
    EXPECT_FALSE(runner.WaitUntilDone(0));
    EXPECT_EQ(runner.m_nExits, 0);
}

TEST(ProcessRunnerStart, EmptyAndNonExecutableProgramsFailTheSameWay)
{
    CTempDir dir;
    std::string plain = dir.Write("not-executable", "#!/bin/sh\necho hi\n");
    // The first line stays as it was; the system's reason follows on its own line.
    const std::pair<std::string, std::string> rows[] = {
        {std::string(), "No such file or directory"},
        {std::string("   "), "No such file or directory"},
        {plain, "Permission denied"},
        {dir.Path(), "Permission denied"},
    };
    for (const auto& [line, reason] : rows) {
        CRecordingRunner runner;
        EXPECT_FALSE(StartLine(runner, line)) << line;
        ASSERT_EQ(runner.Runs().size(), 1u) << line;
        EXPECT_EQ(runner.Runs()[0].m_strText, "Unable to start " + line + "\n" + reason + "\n");
    }
}

TEST(ProcessRunnerOutput, TenThousandBytesArriveWholeInRunsOfAtMost256)
{
    CTempDir dir;
    std::string script = dir.Write("burst", "#!/bin/sh\nhead -c 10000 /dev/zero | tr '\\0' x\n", true);
    CRecordingRunner runner;
    ASSERT_TRUE(StartLine(runner, script));
    ASSERT_TRUE(runner.WaitUntilDone(10000));
    std::size_t total = 0;
    for (const CRun& run : runner.Runs()) {
        EXPECT_FALSE(run.m_bError);
        EXPECT_GT(run.m_strText.size(), 0u);
        EXPECT_LE(run.m_strText.size(), CProcessRunner::kReadSize);
        total += run.m_strText.size();
    }
    EXPECT_EQ(total, 10000u);
    EXPECT_EQ(runner.Text(false), std::string(10000, 'x'));
    EXPECT_EQ(runner.m_nExits, 1);
    EXPECT_EQ(runner.ExitStatus(), (CExitStatus{true, false, 0}));
    EXPECT_EQ(runner.m_starts, std::vector<std::string>{script});
}

TEST(ProcessRunnerOutput, StandardErrorIsCapturedLikeStandardOutput)
{
    CTempDir dir;
    std::string script = dir.Write("errs", "#!/bin/sh\necho 'only to stderr' >&2\nexit 3\n", true);
    CRecordingRunner runner;
    ASSERT_TRUE(StartLine(runner, script));
    ASSERT_TRUE(runner.WaitUntilDone(10000));
    EXPECT_EQ(runner.Text(true), "only to stderr\n");
    EXPECT_EQ(runner.Text(false), "");
    EXPECT_EQ(runner.ExitStatus(), (CExitStatus{true, false, 3}));
}

TEST(ProcessRunnerOutput, MergedOutputKeepsThePrintedOrderInOnePipe)
{
    CTempDir dir;
    // Says whether its two streams are one pipe, then interleaves them.
    std::string script = dir.Write("mixed",
        "#!/bin/sh\n"
        "if [ \"$(readlink /proc/$$/fd/1)\" = \"$(readlink /proc/$$/fd/2)\" ]; then echo one pipe; else echo two pipes; fi\n"
        "echo out1; echo err1 >&2; echo out2; echo err2 >&2\n", true);
    struct Case {
        bool merged;
        const char* out;
        const char* err;
    };
    for (const Case& c : {Case{true, "one pipe\nout1\nerr1\nout2\nerr2\n", ""},
                          Case{false, "two pipes\nout1\nout2\n", "err1\nerr2\n"}}) {
        SCOPED_TRACE(c.merged ? "merged" : "separate");
        CRecordingRunner runner;
        runner.SetMergedOutput(c.merged);
        ASSERT_TRUE(StartLine(runner, script));
        ASSERT_TRUE(runner.WaitUntilDone(10000));
        EXPECT_EQ(runner.Text(false), c.out);
        EXPECT_EQ(runner.Text(true), c.err);
    }
}

TEST(ProcessRunnerOutput, ArgumentsReachTheProgramUnchangedWithoutAShell)
{
    CTempDir dir;
    CRecordingRunner runner;
    // Splitting follows the quoting rules; nothing is expanded or run by a shell.
    ASSERT_TRUE(runner.Start("printf \"<%s>\" $(touch pwned) \"a b\" `id` ; *", {"printf", "<%s>", "$(touch pwned)", "a b", "`id`", ";", "*"},
                             dir.Path()));
    ASSERT_TRUE(runner.WaitUntilDone(10000));
    EXPECT_EQ(runner.Text(false), "<$(touch pwned)><a b><`id`><;><*>");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("pwned")));

    CRecordingRunner split;
    ASSERT_TRUE(StartLine(split, "printf \"<%s>\" $(touch pwned) \"a b\""));
    ASSERT_TRUE(split.WaitUntilDone(10000));
    EXPECT_EQ(split.Text(false), "<$(touch><pwned)><a b>");
}

TEST(ProcessRunnerOutput, ChildStartsInTheGivenFolderAndThisProcessStaysWhereItIs)
{
    CTempDir dir;
    std::filesystem::create_directory(dir.Path("a b"));
    std::string before = std::filesystem::current_path().string();
    CRecordingRunner runner;
    ASSERT_TRUE(runner.Start("pwd", {"pwd"}, dir.Path("a b")));
    ASSERT_TRUE(runner.WaitUntilDone(10000));
    EXPECT_EQ(runner.Text(false), std::filesystem::canonical(dir.Path("a b")).string() + "\n");
    EXPECT_EQ(std::filesystem::current_path().string(), before);
}

TEST(ProcessRunnerOutput, StandardInputIsEmptyAndDeathBySignalIsReportedAsSuch)
{
    CTempDir dir;
    std::string script = dir.Write("sig", "#!/bin/sh\nkill -9 $$\n", true);
    CRecordingRunner runner;
    ASSERT_TRUE(StartLine(runner, script));
    ASSERT_TRUE(runner.WaitUntilDone(10000));
    EXPECT_EQ(runner.ExitStatus(), (CExitStatus{true, true, SIGKILL}));
}

TEST(ProcessRunnerStop, EndsTheChildAndItsGrandchildren)
{
    CTempDir dir;
    // The grandchild ignores the polite request, so the forced end is needed too.
    std::string script = dir.Write("tree",
                                   "#!/bin/sh\n(trap '' TERM; exec sleep 300) &\necho $!\nsleep 300 &\necho $!\necho $$\nwait\n",
                                   true);
    CRecordingRunner runner;
    ASSERT_TRUE(StartLine(runner, script));
    ASSERT_TRUE(runner.WaitForLines(3));
    std::vector<pid_t> pids = PidsOf(runner.Text(false));
    ASSERT_EQ(pids.size(), 3u);
    std::vector<std::unique_ptr<CProcessHandle>> handles;
    for (pid_t pid : pids) {
        handles.push_back(std::make_unique<CProcessHandle>(pid));
        ASSERT_TRUE(handles.back()->Valid());
    }
    EXPECT_TRUE(runner.IsActive());
    auto started = std::chrono::steady_clock::now();
    runner.Stop();
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_FALSE(runner.IsActive());
    for (std::size_t i = 0; i < handles.size(); ++i)
        EXPECT_TRUE(handles[i]->WaitGone(5000)) << "process " << pids[i] << " survived Stop";
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(runner.ExitStatus().m_bSignalled);
}

TEST(ProcessRunnerStop, ReturnsWhenAnEndedChildLeftAGrandchildHoldingThePipes)
{
    CTempDir dir;
    std::string script = dir.Write("leaver", "#!/bin/sh\nsleep 300 &\necho $!\n", true);
    CRecordingRunner runner;
    ASSERT_TRUE(StartLine(runner, script));
    ASSERT_TRUE(runner.WaitForLines(1));
    CProcessHandle grandchild(PidsOf(runner.Text(false)).at(0));
    // The child has ended; its readers still wait because the grandchild holds the pipes.
    EXPECT_FALSE(runner.WaitUntilDone(200));
    EXPECT_FALSE(runner.IsActive());
    runner.Stop();
    EXPECT_TRUE(grandchild.WaitGone(5000));
    runner.Stop(); // again: nothing left to do
}

TEST(ProcessRunnerStop, ASecondStartEndsTheFirstChildBeforeStartingAnother)
{
    CTempDir dir;
    std::string script = dir.Write("long", "#!/bin/sh\necho $$\nexec sleep 300\n", true);
    CRecordingRunner runner;
    ASSERT_TRUE(StartLine(runner, script));
    ASSERT_TRUE(runner.WaitForLines(1));
    CProcessHandle first(PidsOf(runner.Text(false)).at(0));
    ASSERT_TRUE(StartLine(runner, "echo second"));
    EXPECT_TRUE(first.WaitGone(0)) << "the first child must be gone when the second starts";
    ASSERT_TRUE(runner.WaitUntilDone(10000));
    EXPECT_EQ(runner.m_nExits, 2);
    EXPECT_NE(runner.Text(false).find("second\n"), std::string::npos);
}

class CSlowConsumer : public CRecordingRunner {
public:
    ~CSlowConsumer() override { Stop(); }
    std::atomic<int> m_nInFlight{0};
    std::atomic<int> m_nMaxInFlight{0};

protected:
    void Record(bool error, std::string_view text) override
    {
        int now = ++m_nInFlight;
        int max = m_nMaxInFlight;
        while (now > max && !m_nMaxInFlight.compare_exchange_weak(max, now)) {
        }
        CRecordingRunner::Record(error, text);
    }
};

TEST(ProcessRunnerOutput, BackPressureBoundsTheRunsInFlightAndLosesNothing)
{
    CTempDir dir;
    std::string script = dir.Write("big", "#!/bin/sh\nhead -c 200000 /dev/zero | tr '\\0' y\n", true);
    CSlowConsumer runner;
    runner.SetOutputWindow(4);
    ASSERT_TRUE(StartLine(runner, script));
    std::size_t consumed = 0;
    std::size_t bytes = 0;
    // Consume run by run, as the window does.
    while (bytes < 200000) {
        auto runs = runner.Runs();
        if (consumed < runs.size()) {
            bytes += runs[consumed++].m_strText.size();
            --runner.m_nInFlight;
            runner.OutputConsumed();
            continue;
        }
        ASSERT_TRUE(runner.WaitForRuns(consumed + 1));
    }
    ASSERT_TRUE(runner.WaitUntilDone(10000));
    EXPECT_EQ(bytes, 200000u);
    EXPECT_LE(runner.m_nMaxInFlight, 4);
}

TEST(ProcessRunnerStop, StopWhileAReaderWaitsForRoomReturns)
{
    CTempDir dir;
    std::string script = dir.Write("flood", "#!/bin/sh\nexec cat /dev/zero\n", true);
    CRecordingRunner runner;
    runner.SetOutputWindow(2);
    ASSERT_TRUE(StartLine(runner, script));
    // Two runs are taken and never consumed: the reader now waits for room.
    ASSERT_TRUE(runner.WaitForRuns(2));
    EXPECT_FALSE(runner.WaitForRuns(3, std::chrono::seconds(0)));
    runner.Stop();
    EXPECT_FALSE(runner.IsActive());
}

// The ended builder is collected when its output has been read, without waiting for a next
// Start or Stop, and OnFinished reports each end once: exit status, signal, Stop.
TEST(ProcessRunnerEnd, EndedChildIsCollectedAndFinishedOnceForEveryKindOfEnd)
{
    CTempDir dir;
    struct CRow {
        const char* m_strBody;
        bool m_bStop;
        CExitStatus m_expected;
    };
    const CRow rows[] = {
        {"echo $$\nexit 0\n", false, {true, false, 0, false}},
        {"echo $$\nexit 2\n", false, {true, false, 2, false}},
        {"echo $$\nkill -9 $$\n", false, {true, true, SIGKILL, false}},
        {"echo $$\nexec sleep 300\n", true, {true, true, SIGTERM, true}},
    };
    for (const CRow& row : rows) {
        std::string script = dir.Write("end", std::string("#!/bin/sh\n") + row.m_strBody, true);
        CRecordingRunner runner;
        ASSERT_TRUE(StartLine(runner, script));
        ASSERT_TRUE(runner.WaitForLines(1));
        const pid_t pid = PidsOf(runner.Text(false)).at(0);
        if (row.m_bStop)
            runner.Stop();
        ASSERT_TRUE(runner.WaitUntilDone(10000)) << row.m_strBody;
        // No zombie is left: the child is no longer ours to wait for.
        int status = 0;
        errno = 0;
        EXPECT_EQ(waitpid(pid, &status, WNOHANG), -1) << row.m_strBody;
        EXPECT_EQ(errno, ECHILD) << row.m_strBody;
        EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid))) << row.m_strBody;
        EXPECT_EQ(runner.Finished(), std::vector<CExitStatus>{row.m_expected}) << row.m_strBody;
        EXPECT_EQ(runner.ExitStatus(), row.m_expected) << row.m_strBody;
    }
}
} // namespace
