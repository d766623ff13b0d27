// Prints what a board behind ser2net on 127.0.0.1 costs against a local one: the wall time of
// `qxprog program` sending one file to a simulated board paced at 460800 baud, once on its
// pseudo-terminal and once through ser2net (rfc2217://), with the ratio (aim: at most 1.02),
// then 8 boards behind one ser2net against one (aim: at most 1.2). Each figure is the best of
// three runs; the load average says what else the machine was doing.

#include "machine_load.h"
#include "qxprog_run.h"
#include "ser2net_server.h"

#include "sim/board_simulator.h"
#include "sim/intel_hex.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr unsigned kBaud = 460800;
constexpr int kRuns = 3;

// The best wall time of qxprog programming every board (through ser2net when remote); 0 when a
// run failed.
double Program(const std::string& file, std::size_t boards, bool remote)
{
    std::vector<std::unique_ptr<CBoardSimulator>> sims;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < boards; ++i) {
        CBoardSimOptions options;
        options.m_line.m_nBaud = kBaud;
        sims.push_back(std::make_unique<CBoardSimulator>(options));
        if (sims.back()->Start())
            return 0;
        paths.push_back(sims.back()->SlavePath());
    }
    std::unique_ptr<CSer2netServer> server;
    if (remote) {
        server = std::make_unique<CSer2netServer>(paths);
        if (!server->Error().empty()) {
            std::fprintf(stderr, "%s\n", server->Error().c_str());
            return 0;
        }
    }
    std::vector<std::string> args = {"program", file, "--baud", std::to_string(kBaud)};
    for (std::size_t i = 0; i < boards; ++i)
        args.insert(args.end(), {"--port", remote ? server->Url(i) : paths[i]});
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        CQxprogRun qxprog;
        const std::string err = file + ".err";
        if (!qxprog.Run(args, err) || !qxprog.Succeeded()) {
            std::fprintf(stderr, "qxprog failed (exit status %d); its messages are in %s\n", qxprog.ExitStatus(), err.c_str());
            return 0;
        }
        best = run == 0 ? qxprog.Seconds() : std::min(best, qxprog.Seconds());
    }
    return best;
}

} // namespace

int main()
{
    if (!CSer2netServer::Available()) {
        std::fprintf(stderr, "ser2net is not installed (scripts/setup installs it)\n");
        return 1;
    }
    // The settings of whoever runs the benchmark stay out of it.
    const std::string dir = "/tmp/qxbench-remote-" + std::to_string(::getpid());
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    std::vector<std::uint8_t> data(32 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::string text = EncodeIntelHex(data, 0);
    const std::string file = dir + ".hex";
    std::ofstream(file, std::ios::binary) << text;
    std::printf("%s program, %zu-byte Intel HEX file, %u baud (ideal %.2f s), best of %d; load average %s\n",
        CQxprogRun::Program(), text.size(), kBaud, text.size() * 10.0 / kBaud, kRuns, CMachineLoad::LoadAverage().c_str());
    const double local = Program(file, 1, false);
    const double remote = Program(file, 1, true);
    std::printf("1 board, pseudo-terminal:   %6.3f s\n", local);
    std::printf("1 board, through ser2net:   %6.3f s  (%.3f x local; aim <= 1.02)\n", remote, local > 0 ? remote / local : 0);
    const double eight = Program(file, 8, true);
    std::printf("8 boards, through ser2net:  %6.3f s  (%.3f x one; aim <= 1.2)\n", eight, remote > 0 ? eight / remote : 0);
    std::remove(file.c_str());
    return local > 0 && remote > 0 && eight > 0 ? 0 : 1;
}
