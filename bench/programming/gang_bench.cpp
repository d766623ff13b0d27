// Prints the wall time of `qxprog program` sending one file to 1, 4 and 16 simulated boards at
// once on paced 460800-baud lines, and the ratio of 16 boards to one: the line should be the
// limit, not the program, so the ratio stays near 1.

#include "sim/board_simulator.h"
#include "sim/intel_hex.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;
constexpr unsigned kBaud = 460800;

// Seconds from start to exit of qxprog programming boards boards; negative when one failed.
double ProgramBoards(const std::string& file, std::size_t boards)
{
    std::vector<std::unique_ptr<CBoardSimulator>> sims;
    std::vector<std::string> args = {QXPROG_PATH, "program", file, "--baud", std::to_string(kBaud)};
    for (std::size_t i = 0; i < boards; ++i) {
        CBoardSimOptions options;
        options.m_nBaud = kBaud;
        sims.push_back(std::make_unique<CBoardSimulator>(options));
        if (sims.back()->Start())
            return -1;
        args.insert(args.end(), {"--port", sims.back()->SlavePath()});
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, QXPROG_PATH, &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -seconds;
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
    std::printf("qxprog program, %zu-byte Intel HEX file, %u baud per board (ideal %.2f s)\n", text.size(), kBaud,
        text.size() * 10.0 / kBaud);
    double one = 0;
    for (std::size_t boards : {1u, 4u, 16u}) {
        const double seconds = ProgramBoards(file, boards);
        if (boards == 1)
            one = seconds;
        std::printf("%2zu boards: %.2f s%s\n", boards, seconds < 0 ? -seconds : seconds,
            seconds < 0 ? " (a board failed)" : "");
        if (boards == 16 && one > 0 && seconds > 0)
            std::printf("16 boards / 1 board: %.2f (target at most 1.20)\n", seconds / one);
    }
    std::remove(file.c_str());
    return 0;
}
