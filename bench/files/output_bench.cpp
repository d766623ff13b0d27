// How long the output window takes to show 20 MB that a builder prints at full speed, against
// cat of the same bytes to /dev/null, and how responsive the window stays meanwhile (the
// largest delay of a 10 ms timer on the GUI thread). Prints its figures; asserts nothing.

#include "files/output_ctrl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <fcntl.h>
#include <time.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {
constexpr std::size_t kBytes = 20u * 1024u * 1024u;

// Build-log lines with some multi-byte characters, kBytes long; returns the length in bytes.
qint64 WriteLog(const std::string& path)
{
    std::string data;
    data.reserve(kBytes);
    for (int n = 0; data.size() < kBytes; ++n)
        data += "src/module_" + std::to_string(n % 997) + ".c:" + std::to_string(n) +
                ": warning: unused variable \xE2\x80\x98x\xE2\x80\x99 [-Wunused-variable] \xC2\xB5s\n";
    data.resize(kBytes);
    while ((static_cast<unsigned char>(data.back()) & 0xC0) == 0x80 || static_cast<unsigned char>(data.back()) >= 0xC0)
        data.back() = '.';
    std::ofstream(path, std::ios::binary) << data;
    return static_cast<qint64>(data.size());
}

// The runner alone: the same builder read in 256-byte runs by a hook that only counts.
class CCountingRunner : public CProcessRunner {
public:
    ~CCountingRunner() override { Stop(); }
    std::atomic<std::size_t> m_nBytes{0};

protected:
    void OnStdout(std::string_view text) override { m_nBytes += text.size(); }
};

double RunnerOnly(const std::string& path, std::size_t& bytes)
{
    CCountingRunner runner;
    QElapsedTimer timer;
    timer.start();
    runner.Start("cat " + path, {"cat", path});
    runner.WaitUntilDone(120000);
    bytes = runner.m_nBytes;
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double CatToDevNull(const std::string& path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>("cat"), const_cast<char*>(path.c_str()), nullptr};
    QElapsedTimer timer;
    timer.start();
    pid_t pid = -1;
    if (posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    char dirTemplate[] = "/tmp/qxbench.XXXXXX";
    std::string dir = mkdtemp(dirTemplate);
    std::string log = dir + "/build.log";
    const qint64 expected = WriteLog(log);

    double catMs = CatToDevNull(log);
    catMs = std::min(catMs, CatToDevNull(log));
    std::size_t runnerBytes = 0;
    const double runnerMs = RunnerOnly(log, runnerBytes);

    COutputCtrl output;
    output.resize(800, 400);
    output.show();
    // The first paint loads the font (as the program does at its start, not during a build).
    output.repaint();

    std::vector<double> gaps;
    QElapsedTimer tick;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        gaps.push_back(static_cast<double>(tick.nsecsElapsed()) / 1e6);
        tick.restart();
    });

    QElapsedTimer total;
    QEventLoop loop;
    QObject::connect(&output, &COutputCtrl::TextAppended, [&] {
        if (output.AppendedBytes() >= expected)
            loop.quit();
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    tick.start();
    probe.start();
    total.start();
    const double cpuBefore = ThreadCpuMs();
    output.Runner().Start("cat " + log, {"cat", log});
    loop.exec();
    const double windowMs = static_cast<double>(total.nsecsElapsed()) / 1e6;
    const double guiCpuMs = ThreadCpuMs() - cpuBefore;
    probe.stop();
    output.Runner().Stop();

    std::sort(gaps.begin(), gaps.end());
    const double maxGap = gaps.empty() ? 0 : gaps.back();
    const double p99 = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100];
    std::printf("output window, 20 MB from a builder at full speed\n");
    std::printf("  shown in the window:     %8.1f ms (%lld of %lld bytes)\n", windowMs,
                static_cast<long long>(output.AppendedBytes()), static_cast<long long>(expected));
    std::printf("  GUI thread's CPU:        %8.1f ms\n", guiCpuMs);
    std::printf("  cat to /dev/null:        %8.1f ms\n", catMs);
    std::printf("  runner alone (no window): %7.1f ms (%zu bytes in runs of 256)\n", runnerMs, runnerBytes);
    std::printf("  ratio window / cat:      %8.1f x\n", catMs > 0 ? windowMs / catMs : 0.0);
    std::printf("  ratio window / runner:   %8.1f x (aim: at most 2)\n", runnerMs > 0 ? windowMs / runnerMs : 0.0);
    std::printf("  10 ms timer while shown: %zu ticks, p99 interval %.1f ms (aim: under 20), max interval %.1f ms\n",
                gaps.size(), p99, maxGap);
    std::printf("  paints of the window:    %8d\n", output.PaintCount());
    std::printf("  largest intervals:       ");
    for (std::size_t i = gaps.size(); i > 0 && i + 5 > gaps.size(); --i)
        std::printf(" %.1f", gaps[i - 1]);
    std::printf(" ms\n");
    std::printf("  lines kept by the window: %d (limit %d)\n", output.RowCount(), COutputCtrl::kMaxLines);

    std::remove(log.c_str());
    rmdir(dir.c_str());
    return 0;
}
