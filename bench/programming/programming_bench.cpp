// Prints the download job's throughput against a bare write loop on the same pseudo-terminal,
// the programming time of a 64 KiB image on a paced 460800-baud line against the ideal, the
// job/loop ratio of a 622 KB Intel HEX file through the real `qxprog program` path and through
// the window's (its posted-event sink and the session on an event loop), and the error of the
// time left shown over a paced run. Every in-process job runs through the window's sink.

#include "machine_load.h"
#include "qxprog_run.h"
#include "raw_line.h"

#include "base/line_timing.h"
#include "base/qt_message_sink.h"
#include "programming/board_commands.h"
#include "programming/board_protocol.h"
#include "programming/download_job.h"
#include "programming/programming_session.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

class CQuietPrompt : public IUserPrompt {
public:
    int ShowBox(const std::string& text, const std::string&, unsigned) override
    {
        std::lock_guard lock(m_mutex);
        m_strLast = text;
        return kAnswerOk;
    }
    std::string Last()
    {
        std::lock_guard lock(m_mutex);
        return m_strLast;
    }

private:
    std::mutex m_mutex;
    std::string m_strLast;
};

class CNullTerminal : public ITerminalSink {
public:
    void AppendTerminalText(std::string_view) override {}
    void DeleteLastChar() override {}
};

// The window's path: the job posts through the sink the main frame uses (one posted Qt event a
// message) and this thread's event loop hands each to the session, as the frame does.
struct CRig : ISessionObserver {
    CRig() { session.AddObserver(*this); }
    ~CRig() override { session.RemoveObserver(*this); }
    CQuietPrompt prompt;
    CNullTerminal terminal;
    CBoardCommands commands;
    // Called with every event the session reports.
    std::function<void(const CSessionEvent&)> hook;
    QEventLoop* m_pLoop = nullptr;
    CQtMessageSink sink{[this](const CPostedEvent& event) { session.OnPosted(event); }};
    CProgrammingSession session{terminal, commands, sink, prompt};
    CPortSettings& settings = session.PortSettings();

    void OnSessionEvent(const CSessionEvent& event) override
    {
        if (hook)
            hook(event);
        if (std::holds_alternative<session_event::CEnded>(event) && m_pLoop)
            m_pLoop->quit();
    }
    // Runs one job to its end on this thread's event loop.
    void Run(const std::string& path)
    {
        QEventLoop loop;
        m_pLoop = &loop;
        if (session.StartDownload(path))
            loop.exec();
        m_pLoop = nullptr;
    }
    void SendFileAlone()
    {
        CBoardCommandValues values = commands.Get();
        values.m_bUsePrePostPgmCmd = 0;
        commands.Set(values);
    }
};

std::string WriteTemp(const std::string& name, const std::string& content)
{
    std::string path = "/tmp/qxbench-" + std::to_string(::getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Times the data bytes as the far end receives them: from the first byte after the download
// command to the last.
std::future<double> TimeDataBytes(CBoardSimulator& sim, std::size_t size)
{
    return std::async(std::launch::async, [&sim, size] {
        sim.WaitForBytes(2, std::chrono::seconds(30));
        const auto first = Clock::now();
        sim.WaitForBytes(1 + size, std::chrono::seconds(120));
        return (size - 1) / Seconds(Clock::now() - first);
    });
}

double ThreadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// write(2) of run bytes at a time on the line opened the plainest way; cpu: the writing thread's
// processor time a byte, in microseconds.
double SystemLoop(const std::string& data, std::size_t run, double& cpu)
{
    CBoardSimOptions options;
    options.m_monitor.m_nRawLength = data.size();
    CBoardSimulator sim(options);
    sim.Start();
    int fd = OpenRaw(sim.SlavePath());
    std::future<double> rate = TimeDataBytes(sim, data.size());
    [[maybe_unused]] ssize_t n = ::write(fd, "L", 1);
    const double start = ThreadCpuSeconds();
    WriteInRuns(fd, data, run);
    cpu = (ThreadCpuSeconds() - start) * 1e6 / static_cast<double>(data.size());
    double result = rate.get();
    ::close(fd);
    return result;
}

// The port's Write of one byte at a time, nothing else.
double BareLoop(const std::string& data, double& cpu)
{
    CBoardSimOptions options;
    options.m_monitor.m_nRawLength = data.size();
    CBoardSimulator sim(options);
    sim.Start();
    CSerialPort port;
    port.Open(sim.SlavePath(), 0, 0, true);
    port.SetLine({.m_nBaud = 115200});
    std::future<double> rate = TimeDataBytes(sim, data.size());
    port.Write("L", nullptr, nullptr, kNoTimeLimit);
    const double start = ThreadCpuSeconds();
    for (char byte : data)
        port.Write(&byte, 1, nullptr, nullptr, 5000);
    cpu = (ThreadCpuSeconds() - start) * 1e6 / static_cast<double>(data.size());
    double result = rate.get();
    port.Close();
    return result;
}

double JobRun(const std::string& path, std::size_t size, std::string& outcome)
{
    CBoardSimOptions options;
    options.m_monitor.m_nRawLength = size;
    CBoardSimulator sim(options);
    sim.Start();
    CRig rig;
    rig.settings.SetPortName(sim.SlavePath());
    rig.settings.SetBaud("115200");
    std::future<double> rate = TimeDataBytes(sim, size);
    rig.Run(path);
    outcome = rig.prompt.Last();
    return rate.get();
}

void Throughput()
{
    const std::size_t size = 1 << 20;
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(i * 31 + 7);
    const std::string path = WriteTemp("raw.bin", data);
    // Alternating rounds, best of each: the machine is shared.
    const std::size_t run = CDownloadJob::RunBytes(115200, line_timing::kDefaultBitsPerCharacter);
    double systemRate = 0;
    double runRate = 0;
    double bareRate = 0;
    double jobRate = 0;
    double systemCpu = 1e9;
    double runCpu = 1e9;
    double bareCpu = 1e9;
    std::string outcome;
    for (int round = 0; round < 4; ++round) {
        double cpu = 0;
        systemRate = std::max(systemRate, SystemLoop(data, 1, cpu));
        systemCpu = std::min(systemCpu, cpu);
        runRate = std::max(runRate, SystemLoop(data, run, cpu));
        runCpu = std::min(runCpu, cpu);
        bareRate = std::max(bareRate, BareLoop(data, cpu));
        bareCpu = std::min(bareCpu, cpu);
        jobRate = std::max(jobRate, JobRun(path, size, outcome));
    }
    ::unlink(path.c_str());
    const double baseline = std::max(systemRate, bareRate);
    std::printf("(a) unpaced pseudo-terminal set to 115200 baud, 1 MiB file (best of 4 rounds)\n");
    std::printf("    write(2) loop, one byte a write   : %10.0f bytes/s  (writer's processor time %.2f us a byte)\n",
        systemRate, systemCpu);
    std::printf("    port Write loop, one byte a write : %10.0f bytes/s  (writer's processor time %.2f us a byte)\n",
        bareRate, bareCpu);
    std::printf("    write(2) loop, %3zu bytes a write  : %10.0f bytes/s  (writer's processor time %.3f us a byte)\n",
        run, runRate, runCpu);
    std::printf("    download job (%3zu bytes a write)  : %10.0f bytes/s  (%.2f of the faster one-byte loop, target >= 0.90;\n"
                "                                       %.2f of the loop in the same runs) [%s]\n",
        run, jobRate, jobRate / baseline, jobRate / runRate, outcome.c_str());
}

void PacedImage()
{
    const unsigned baud = 460800;
    std::vector<std::uint8_t> image(64 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + i / 251);
    const std::string hex = EncodeIntelHex(image, 0x8000000, 16);
    const std::string path = WriteTemp("image.hex", hex);
    CBoardSimOptions options;
    options.m_line.m_nBaud = baud;
    CBoardSimulator sim(options);
    sim.Start();
    CRig rig;
    rig.settings.SetPortName(sim.SlavePath());
    rig.settings.SetBaud("115200");
    rig.session.OpenPort(std::string("Port open error!"));
    const auto start = Clock::now();
    rig.Run(path);
    const double took = Seconds(Clock::now() - start);
    const std::size_t bytes = 1 + hex.size() + 1; // commands and file
    const double ideal = bytes * 10.0 / baud + 0.2;
    ::unlink(path.c_str());
    std::printf("(b) simulator pacing %u baud, 64 KiB image as Intel HEX (%zu bytes on the line)\n", baud, bytes);
    std::printf("    programming time: %.3f s, ideal %.3f s (%+.1f %%; target within 3 %%) [%s]%s\n", took, ideal,
        (took / ideal - 1) * 100, rig.prompt.Last().c_str(), sim.Image() == image ? "" : " IMAGE DIFFERS");
}

// `qxprog program --no-commands` of a 622 KB Intel HEX file to a board that reads in bulk, and
// the same file through the window's sink in this process, against write(2) of one byte at a
// time of the same file. The processor time beside the wall time: on a machine shared with
// other work the wall times move with the load, the processor times much less.
void QxprogPath()
{
    std::vector<std::uint8_t> image(226 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 253);
    const std::string hex = EncodeIntelHex(image, 0, 16);
    const std::string path = WriteTemp("big.hex", hex);
    char config[] = "/tmp/qxbench-configXXXXXX";
    if (::mkdtemp(config) == nullptr)
        return;
    ::setenv("XDG_CONFIG_HOME", config, 1);
    double best = 1e9;
    double cpu = 1e9;
    double windowBest = 1e9;
    double loopBest = 1e9;
    double loopCpu = 1e9;
    const std::size_t run = CDownloadJob::RunBytes(115200, line_timing::kDefaultBitsPerCharacter);
    double runLoopBest = 1e9;
    // The data's time as qxprog's summary line gives it (first data byte to the board's answer).
    double dataBest = 1e9;
    const std::string errPath = "/tmp/qxbench-" + std::to_string(::getpid()) + "-stderr";
    int status = -1;
    std::string outcome;
    for (int round = 0; round < 3; ++round) {
        {
            CBoardSimulator sim;
            sim.Start();
            CQxprogRun run;
            if (run.Run({"program", "--no-commands", "--port", sim.SlavePath(), path}, errPath)) {
                status = run.ExitStatus();
                best = std::min(best, run.Seconds());
                cpu = std::min(cpu, run.CpuSeconds());
                // "FILE: N bytes, addresses 0000-387FF, 2.4 s, 271226 bytes/s"
                std::ifstream err(errPath);
                std::string line;
                while (std::getline(err, line)) {
                    const std::size_t rate = line.rfind(" s, ");
                    const std::size_t at = rate == std::string::npos ? rate : line.rfind(", ", rate);
                    if (line.rfind(path + ": ", 0) == 0 && at != std::string::npos)
                        dataBest = std::min(dataBest, std::atof(line.c_str() + at + 2));
                }
            }
        }
        {
            CBoardSimulator sim;
            sim.Start();
            CRig rig;
            rig.settings.SetPortName(sim.SlavePath());
            rig.settings.SetBaud("115200");
            rig.SendFileAlone();
            const auto start = Clock::now();
            rig.Run(path);
            windowBest = std::min(windowBest, Seconds(Clock::now() - start));
            outcome = rig.prompt.Last();
        }
        {
            CBoardSimulator sim;
            sim.Start();
            int fd = OpenRaw(sim.SlavePath());
            const auto start = Clock::now();
            const double cpuStart = ThreadCpuSeconds();
            for (char byte : hex)
                while (::write(fd, &byte, 1) != 1 && errno == EINTR) {
                }
            loopCpu = std::min(loopCpu, ThreadCpuSeconds() - cpuStart);
            sim.WaitForDownloads(1, std::chrono::seconds(60));
            loopBest = std::min(loopBest, Seconds(Clock::now() - start));
            ::close(fd);
        }
        {
            CBoardSimulator sim;
            sim.Start();
            int fd = OpenRaw(sim.SlavePath());
            const auto start = Clock::now();
            WriteInRuns(fd, hex, run);
            sim.WaitForDownloads(1, std::chrono::seconds(60));
            runLoopBest = std::min(runLoopBest, Seconds(Clock::now() - start));
            ::close(fd);
        }
    }
    ::unlink(path.c_str());
    ::unlink(errPath.c_str());
    ::rmdir(config);
    const double pause = board::kPauseMs / 1000.0;
    std::printf("(c) %s program --no-commands, %zu-byte Intel HEX file, unpaced board (best of 3; load average %s)\n",
        CQxprogRun::Program(), hex.size(), CMachineLoad::LoadAverage().c_str());
    std::printf("    qxprog: %.2f s (exit %d), write(2) loop: %.2f s; job/loop ratio %.2f (target >= 0.95)\n", best,
        status, loopBest, loopBest / best);
    std::printf("    the same without the board's %.0f ms pause before the data, which the job keeps and the loop has\n"
                "    not: job/loop ratio %.2f\n", pause * 1000, loopBest / (best - pause));
    std::printf("    qxprog's data alone (its summary line: first data byte to the board's answer, no start-up, no\n"
                "    200 ms pause before the data): %.1f s; data/loop ratio %.2f\n", dataBest, loopBest / dataBest);
    std::printf("    window's sink and session in this process: %.2f s; job/loop ratio %.2f [%s]\n", windowBest,
        loopBest / windowBest, outcome.c_str());
    std::printf("    processor time: qxprog %.2f s (whole process), write(2) loop %.2f s; loop/qxprog %.2f\n", cpu,
        loopCpu, loopCpu / cpu);
    std::printf("    a write(2) loop in the job's runs (%zu bytes a write): %.2f s; qxprog/this loop: %.2f of it with\n"
                "    the pause, %.2f without\n", run, runLoopBest, runLoopBest / best, runLoopBest / (best - pause));
}

// The time left the program window shows, against when the data really ended, over a paced run.
void TimeLeftError()
{
    const unsigned baud = 115200;
    std::vector<std::uint8_t> image(16 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 5 + 3);
    const std::string hex = EncodeIntelHex(image, 0, 16);
    const std::string path = WriteTemp("paced.hex", hex);
    CBoardSimOptions options;
    options.m_line.m_nBaud = baud;
    CBoardSimulator sim(options);
    sim.Start();
    CRig rig;
    rig.settings.SetPortName(sim.SlavePath());
    rig.settings.SetBaud(std::to_string(baud));
    rig.session.OpenPort(std::string("Port open error!"));
    std::vector<std::pair<Clock::time_point, Clock::time_point>> predictions; // when, predicted end
    std::future<Clock::time_point> lastByte = std::async(std::launch::async, [&sim, &hex] {
        sim.WaitForBytes(1 + hex.size(), std::chrono::seconds(120));
        return Clock::now();
    });
    Clock::time_point first{};
    // Read as the window reads it: at every notification and on a timer in between.
    auto sample = [&] {
        const auto now = Clock::now();
        rig.session.Refresh(now);
        const CTransferProgress& progress = rig.session.Progress();
        if (!rig.session.IsDownloadRunning() || progress.Total() == 0)
            return;
        if (first == Clock::time_point{} && progress.Sent() > 0)
            first = now;
        if (progress.Sent() * 10 < progress.Total())
            return;
        if (const auto left = progress.TimeLeft(now)) {
            predictions.emplace_back(now, now + *left);
            if (std::getenv("QX_BENCH_TRACE") && predictions.size() % 100 == 1)
                std::printf("  %.3f s: sent %llu, %.0f bytes/s, %.3f s left\n", Seconds(now - first),
                    static_cast<unsigned long long>(progress.Sent()), progress.BytesPerSecond(), Seconds(*left));
        }
    };
    rig.hook = [&](const CSessionEvent& event) {
        // Not once the job has ended.
        if (!std::holds_alternative<session_event::CEnding>(event) &&
            !std::holds_alternative<session_event::CResultShown>(event) && !std::holds_alternative<session_event::CEnded>(event))
            sample();
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, sample);
    timer.start(5);
    rig.Run(path);
    timer.stop();
    const Clock::time_point end = lastByte.get();
    double worst = 0;
    double sum = 0;
    for (const auto& [at, predicted] : predictions) {
        const double error = std::abs(Seconds(predicted - end)) / Seconds(end - first);
        worst = std::max(worst, error);
        sum += error;
    }
    ::unlink(path.c_str());
    std::printf("(d) time left over a paced %u-baud run, %zu bytes, after the first 10 %% (%zu readings)\n", baud,
        hex.size(), predictions.size());
    std::printf("    error of the predicted end against the run: mean %.1f %%, worst %.1f %% (target within 5 %%) [%s]\n",
        predictions.empty() ? 0.0 : 100 * sum / static_cast<double>(predictions.size()), 100 * worst,
        rig.prompt.Last().c_str());
}

} // namespace

// Arguments: the parts to run (a, b, c, d); none: all. QX_BENCH_QXPROG: the qxprog that (c) runs.
int main(int argc, char** argv)
{
    // The event loop the window's sink posts to.
    QCoreApplication app(argc, argv);
    const std::string parts = argc > 1 ? argv[1] : "abcd";
    if (parts.find('a') != std::string::npos)
        Throughput();
    if (parts.find('b') != std::string::npos)
        PacedImage();
    if (parts.find('c') != std::string::npos)
        QxprogPath();
    if (parts.find('d') != std::string::npos)
        TimeLeftError();
    return 0;
}
