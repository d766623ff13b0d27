// Prints the wall time of `qxprog program` sending one file to 1, 4 and 16 simulated boards at
// once on paced 460800-baud lines, and the ratio of 16 boards to one: the line should be the
// limit, not the program, so the ratio stays near 1. Beside each time: the processor time qxprog
// used, the simulators' (they run in this process) and how busy the machine's cores were (other
// work shares them). Then the same boards written by bare write(2) loops, a thread per board in
// this process, one byte a write and in the job's runs: what the machine allows without any
// program around.

#include "machine_load.h"
#include "qxprog_run.h"
#include "raw_line.h"

#include "base/line_timing.h"
#include "programming/download_job.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr unsigned kBaud = 460800;

struct CFigures {
    double m_dSeconds = 0;
    double m_dQxprogCpu = 0;
    double m_dBenchCpu = 0; // this process: the simulators (and the loops)
    double m_dBusy = 0;     // the machine's cores, all work
    bool m_bOk = false;
};

double ProcessCpu()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<std::unique_ptr<CBoardSimulator>> StartBoards(std::size_t boards)
{
    std::vector<std::unique_ptr<CBoardSimulator>> sims;
    for (std::size_t i = 0; i < boards; ++i) {
        CBoardSimOptions options;
        options.m_line.m_nBaud = kBaud;
        sims.push_back(std::make_unique<CBoardSimulator>(options));
        if (sims.back()->Start())
            return {};
    }
    return sims;
}

// qxprog programming the boards at once (with a unit log when log is not empty).
CFigures ProgramBoards(const std::string& file, std::size_t boards, const std::string& log = {})
{
    CFigures figures;
    std::vector<std::unique_ptr<CBoardSimulator>> sims = StartBoards(boards);
    std::vector<std::string> args = {"program", file, "--baud", std::to_string(kBaud)};
    if (!log.empty())
        args.insert(args.end(), {"--log", log});
    for (const auto& sim : sims)
        args.insert(args.end(), {"--port", sim->SlavePath()});
    const double cpu = ProcessCpu();
    const CMachineLoad machine;
    CQxprogRun run;
    if (sims.empty() || !run.Run(args))
        return figures;
    figures.m_dBusy = machine.BusySeconds();
    figures.m_dBenchCpu = ProcessCpu() - cpu;
    figures.m_dSeconds = run.Seconds();
    figures.m_dQxprogCpu = run.CpuSeconds();
    figures.m_bOk = run.Succeeded();
    return figures;
}

// The file written to every board at once by write(2)s of run bytes, a thread per board.
CFigures LoopBoards(const std::string& text, std::size_t boards, std::size_t run)
{
    CFigures figures;
    std::vector<std::unique_ptr<CBoardSimulator>> sims = StartBoards(boards);
    if (sims.empty())
        return figures;
    const double cpu = ProcessCpu();
    const CMachineLoad machine;
    const auto start = Clock::now();
    std::vector<std::thread> loops;
    for (const auto& sim : sims)
        loops.emplace_back([&text, run, path = sim->SlavePath()] {
            const int fd = OpenRaw(path);
            WriteInRuns(fd, text, run);
            ::close(fd);
        });
    for (std::thread& loop : loops)
        loop.join();
    figures.m_bOk = true;
    for (const auto& sim : sims)
        figures.m_bOk = sim->WaitForDownloads(1, std::chrono::seconds(60)) && figures.m_bOk;
    figures.m_dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.m_dBusy = machine.BusySeconds();
    figures.m_dBenchCpu = ProcessCpu() - cpu;
    return figures;
}

void Print(std::size_t boards, const CFigures& f, bool withQxprog)
{
    std::printf("%2zu board%s %6.2f s", boards, boards == 1 ? ": " : "s:", f.m_dSeconds);
    if (withQxprog)
        std::printf("   qxprog %5.2f s", f.m_dQxprogCpu);
    std::printf("   %s %5.2f s   machine busy %4.2f of %u cores%s\n", withQxprog ? "simulators" : "loops+simulators",
        f.m_dBenchCpu, f.m_dSeconds > 0 ? f.m_dBusy / f.m_dSeconds : 0.0, CMachineLoad::Cores(),
        f.m_bOk ? "" : " (a board failed)");
}
} // namespace

int main()
{
    // The settings of whoever runs the benchmark stay out of it.
    const std::string dir = "/tmp/qxbench-gang-" + std::to_string(::getpid());
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    std::vector<std::uint8_t> data(32 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::string text = EncodeIntelHex(data, 0);
    const std::string file = dir + ".hex";
    std::ofstream(file, std::ios::binary) << text;
    std::printf("%s program, %zu-byte Intel HEX file, %u baud per board (ideal %.2f s); load average %s\n",
        CQxprogRun::Program(), text.size(), kBaud, text.size() * 10.0 / kBaud, CMachineLoad::LoadAverage().c_str());
    std::printf("wall time, processor time of qxprog and of the simulators, the machine's busy cores (all work):\n");
    double one = 0;
    double sixteen = 0;
    for (std::size_t boards : {1u, 4u, 16u}) {
        const CFigures figures = ProgramBoards(file, boards);
        if (boards == 1)
            one = figures.m_dSeconds;
        sixteen = figures.m_dSeconds;
        Print(boards, figures, true);
        if (boards == 16 && one > 0 && figures.m_bOk)
            std::printf("16 boards / 1 board: %.2f (target at most 1.20)\n", figures.m_dSeconds / one);
    }
    // The unit log: a record written and synced to the disk per board.
    const std::string log = dir + "-units.csv";
    std::printf("with --log (a record per board, each fsync'ed):\n");
    const CFigures logged = ProgramBoards(file, 16, log);
    Print(16, logged, true);
    if (sixteen > 0 && logged.m_bOk)
        std::printf("16 boards with a log / without: %.3f (target at most 1.02)\n", logged.m_dSeconds / sixteen);
    std::remove(log.c_str());
    const std::size_t jobRun = CDownloadJob::RunBytes(kBaud, line_timing::kDefaultBitsPerCharacter);
    for (std::size_t run : {std::size_t{1}, jobRun}) {
        std::printf("bare write(2) loops, %zu byte%s a write, a thread per board (no program, no pause before the data):\n",
            run, run == 1 ? "" : "s");
        for (std::size_t boards : {1u, 16u}) {
            const CFigures figures = LoopBoards(text, boards, run);
            if (boards == 1)
                one = figures.m_dSeconds;
            Print(boards, figures, false);
            if (boards == 16 && one > 0)
                std::printf("16 loops / 1 loop: %.2f\n", figures.m_dSeconds / one);
        }
    }
    std::printf("load average %s\n", CMachineLoad::LoadAverage().c_str());
    std::remove(file.c_str());
    return 0;
}
