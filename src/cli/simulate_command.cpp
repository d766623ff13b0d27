// qxprog simulate: simulated boards, each on a pseudo-terminal, until interrupted.

#include "cli/cli_commands.h"

#include "base/line_timing.h"
#include "base/termination_signals.h"
#include "programming/board_protocol.h"
#include "sim/board_simulator.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {
const char* kHelpHead =
    "Usage: qxprog simulate [OPTIONS]\n"
    "\n"
    "Serves a simulated target board on a new pseudo-terminal and prints its path (for\n"
    "example /dev/pts/3) as the first line; open that path as the serial port. The board\n"
    "answers a carriage return with its prompt \"%s\", the download command with\n"
    "\"%s\", checks the Intel HEX records that follow (format,\n"
    "checksum, types 00-05, any address order), sends a text holding \"%s\" after the\n"
    "end-of-file record or one holding \"%s\" on a bad record, and answers the run command\n"
    "with \"%s\". Runs until interrupted (Ctrl+C, SIGTERM). With --boards N, N boards\n"
    "on N pseudo-terminals, their paths one per line.\n"
    "\n";
const char* kHelp =
    "Options:\n"
    "  --boards N             serve N boards (1 to 64)\n"
    "  --fault-board K        the faults below apply to board K (from 1) only\n"
    "  --baud N               pace the line at N bits per second (10 bits a byte)\n"
    "  --image-out FILE       write the received image (lowest to highest address, gaps\n"
    "                         0xFF) to FILE after every completed download (FILE.K for\n"
    "                         board K when there are several)\n"
    "  --program-cmd TEXT     download command (default L)\n"
    "  --run-cmd TEXT         run command (default R)\n"
    "  --no-answer CMD        keep silent on the download or run command, or EOF for the\n"
    "                         completion text (may be repeated)\n"
    "  --delay-answer CMD:MS  answer that command (or EOF) MS milliseconds late\n"
    "  --error-at-record N    answer record N (counted from 1) with \"Error\"\n"
    "  --fail-first N         keep silent on the first N download commands\n"
    "  --split-markers        send every answer in pieces that split its marker\n"
    "  --noise                put a bell and bytes 0x80-0xFF around every answer\n"
    "  --hangup-after N       close the line after N received bytes\n"
    "  --help                 this text\n";

int Usage(const std::string& message)
{
    std::fprintf(stderr, "qxprog simulate: %s\n(see 'qxprog simulate --help')\n", message.c_str());
    return EXIT_USAGE;
}
} // namespace

int RunSimulate(const std::vector<std::string>& args)
{
    CBoardSimOptions options;
    std::vector<std::string> silent;
    std::vector<std::pair<std::string, unsigned>> delays;
    unsigned boards = 1;
    unsigned faultBoard = 0;
    long long number = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::printf(kHelpHead, board::kPrompt, board::kLoadAnswer, board::kCompleted, board::kError,
                board::kRunAnswer);
            std::fputs(kHelp, stdout);
            return 0;
        }
        const bool flag = arg == "--split-markers" || arg == "--noise";
        if (!flag && i + 1 >= args.size())
            return Usage(arg.rfind("--", 0) == 0 ? "option '" + arg + "' needs a value" : "unknown argument '" + arg + "'");
        const std::string value = flag ? std::string() : args[i + 1];
        if (!flag)
            ++i;
        if (arg == "--split-markers") {
            options.m_nSplitPieces = 3;
        } else if (arg == "--noise") {
            options.m_bNoise = true;
        } else if (arg == "--baud") {
            if (!ParseNumber(value, line_timing::kMinBaud, line_timing::kMaxBaud, number))
                return Usage("--baud takes a rate in bits per second");
            options.m_line.m_nBaud = static_cast<std::uint32_t>(number);
        } else if (arg == "--boards") {
            if (!ParseNumber(value, 1, 64, number))
                return Usage("--boards takes a number from 1 to 64");
            boards = static_cast<unsigned>(number);
        } else if (arg == "--fault-board") {
            if (!ParseNumber(value, 1, 64, number))
                return Usage("--fault-board takes a board number from 1");
            faultBoard = static_cast<unsigned>(number);
        } else if (arg == "--image-out") {
            options.m_strImageOut = value;
        } else if (arg == "--program-cmd") {
            options.m_monitor.m_strProgramCmd = value.empty() ? board::kDefaultProgramCmd : value;
        } else if (arg == "--run-cmd") {
            options.m_monitor.m_strRunCmd = value.empty() ? board::kDefaultRunCmd : value;
        } else if (arg == "--no-answer") {
            silent.push_back(value);
        } else if (arg == "--delay-answer") {
            std::size_t colon = value.rfind(':');
            if (colon == std::string::npos || !ParseNumber(value.substr(colon + 1), 0, 600000, number))
                return Usage("--delay-answer takes CMD:MS");
            delays.emplace_back(value.substr(0, colon), static_cast<unsigned>(number));
        } else if (arg == "--error-at-record") {
            if (!ParseNumber(value, 1, 100000000, number))
                return Usage("--error-at-record takes a record number from 1");
            options.m_monitor.m_nErrorAtRecord = static_cast<unsigned>(number);
        } else if (arg == "--fail-first") {
            if (!ParseNumber(value, 1, 1000000, number))
                return Usage("--fail-first takes a number from 1");
            options.m_nSilentLoads = static_cast<unsigned>(number);
        } else if (arg == "--hangup-after") {
            if (!ParseNumber(value, 1, 1LL << 40, number))
                return Usage("--hangup-after takes a byte count from 1");
            options.m_nHangupAfter = static_cast<std::uint64_t>(number);
        } else {
            return Usage("unknown option '" + arg + "'");
        }
    }
    // Commands are matched once all options are known (--program-cmd may come later).
    for (const std::string& command : silent) {
        if (command == "EOF")
            options.m_bSilentCompletion = true;
        else if (command == options.m_monitor.m_strProgramCmd)
            options.m_bSilentLoad = true;
        else if (command == options.m_monitor.m_strRunCmd)
            options.m_bSilentRun = true;
        else
            return Usage("--no-answer takes the download command, the run command or EOF");
    }
    for (const auto& [command, ms] : delays) {
        if (command == "EOF")
            options.m_nDelayCompletionMs = ms;
        else if (command == options.m_monitor.m_strProgramCmd)
            options.m_nDelayLoadMs = ms;
        else if (command == options.m_monitor.m_strRunCmd)
            options.m_nDelayRunMs = ms;
        else
            return Usage("--delay-answer takes the download command, the run command or EOF");
    }

    // Blocked before the simulator's thread starts, so only sigwait below takes them.
    CTerminationSignals::Block(CTerminationSignals::ERequests::InterruptOrTerminate);

    if (faultBoard > boards)
        return Usage("--fault-board names a board beyond --boards");
    // The other boards keep the line's options and answer every command in time.
    CBoardSimOptions healthy;
    healthy.m_monitor.m_strProgramCmd = options.m_monitor.m_strProgramCmd;
    healthy.m_monitor.m_strRunCmd = options.m_monitor.m_strRunCmd;
    healthy.m_nSplitPieces = options.m_nSplitPieces;
    healthy.m_bNoise = options.m_bNoise;
    healthy.m_line = options.m_line;

    std::vector<std::unique_ptr<CBoardSimulator>> sims;
    std::vector<std::string> images;
    for (unsigned k = 1; k <= boards; ++k) {
        CBoardSimOptions board = faultBoard == 0 || faultBoard == k ? options : healthy;
        if (boards > 1 && !options.m_strImageOut.empty())
            board.m_strImageOut = options.m_strImageOut + "." + std::to_string(k);
        images.push_back(board.m_strImageOut);
        sims.push_back(std::make_unique<CBoardSimulator>(board));
        if (std::error_code error = sims.back()->Start()) {
            std::fprintf(stderr, "qxprog simulate: cannot open a pseudo-terminal: %s\n", error.message().c_str());
            return EXIT_PORT_OPEN;
        }
        std::printf("%s\n", sims.back()->SlavePath().c_str());
    }
    std::fflush(stdout);
    CTerminationSignals::Wait(CTerminationSignals::ERequests::InterruptOrTerminate);
    for (std::size_t k = 0; k < sims.size(); ++k) {
        sims[k]->Stop();
        if (sims[k]->ImageError())
            std::fprintf(stderr, "qxprog simulate: cannot write %s: %s\n", images[k].c_str(),
                sims[k]->ImageError().message().c_str());
    }
    return 0;
}
