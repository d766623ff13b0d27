// qxprog program with many ports, a port glob, --json or --loop: one file to many boards.

#include "cli/cli_commands.h"
#include "cli/console_prompt.h"
#include "cli/console_stream.h"
#include "cli/gang_programmer.h"
#include "cli/gang_table.h"
#include "cli/path_pattern.h"
#include "cli/signal_watcher.h"

#include "programming/intel_hex_checker.h"
#include "programming/programming_session.h"
#include "serial/remote_port_name.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {
// A remote name's brackets hold an IPv6 address, not a pattern.
bool IsPattern(const std::string& port)
{
    return !CRemotePortName::IsRemote(port) && port.find_first_of("*?[") != std::string::npos;
}

// The file's failure as the one-port command shows it; its exit status.
int FileFailed(EDownloadResult result, std::error_code code, const std::string& file, const std::string& fault = {})
{
    std::string text, caption;
    CProgrammingSession::ResultMessage(result, code, text, caption, std::string(), PrintableName(file), fault);
    CConsolePrompt(stderr).ShowBox(text, caption, kBoxOk | kBoxIconError);
    return CGangProgrammer::ExitStatus(result);
}

// The production loop: each port that appears is programmed once, again after it has gone.
int RunLoop(CGangProgrammer& gang, CGangTable& table, const std::vector<std::string>& patterns,
    const CSignalWatcher& signals)
{
    using Clock = std::chrono::steady_clock;
    std::map<std::string, std::size_t> present; // port -> its board in the gang
    std::map<std::string, Clock::time_point> retryAt;
    constexpr auto kRetryOpen = std::chrono::seconds(2);
    auto nextScan = Clock::now();
    auto nextDraw = Clock::now();
    while (!signals.Interrupted()) {
        const auto now = Clock::now();
        if (now >= nextScan) {
            nextScan = now + std::chrono::seconds(1);
            std::set<std::string> seen;
            for (const std::string& pattern : patterns)
                for (const std::string& path : MatchingPaths(pattern))
                    seen.insert(path);
            gang.Reap();
            const std::vector<CGangBoard> boards = gang.Snapshot();
            for (auto it = present.begin(); it != present.end();)
                it = !seen.count(it->first) && boards[it->second].Done() ? present.erase(it) : std::next(it);
            for (const std::string& path : seen) {
                const auto it = present.find(path);
                // A port that could not be opened (held by another program) is tried again; a
                // board that was programmed waits until it has gone and come back.
                const bool retry = it != present.end() && boards[it->second].Done()
                    && boards[it->second].m_eResult == EDownloadResult::PortOpenFailed;
                if (retry && !retryAt.count(path))
                    retryAt[path] = now + kRetryOpen;
                if (it == present.end() || (retry && now >= retryAt[path])) {
                    retryAt.erase(path);
                    present[path] = gang.Add(path);
                }
            }
        }
        if (now >= nextDraw) {
            nextDraw = now + std::chrono::milliseconds(100);
            std::vector<CGangBoard> running;
            for (const auto& [port, index] : present)
                running.push_back(gang.Snapshot()[index]);
            table.Draw(running);
        }
        gang.WaitForChange(std::min(nextScan, nextDraw));
    }
    gang.StopAll();
    return EXIT_INTERRUPTED;
}
} // namespace

int RunGangProgram(const std::string& file, const std::vector<std::string>& ports, const CPortSettings& settings,
    const CBoardCommands& commands, bool json, bool loop)
{
    // The file is read and checked once for every board.
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return FileFailed(EDownloadResult::FileOpenFailed, std::error_code(errno, std::generic_category()), file);
    std::stringstream read;
    read << in.rdbuf();
    const std::string content = read.str();
    if (content.empty())
        return FileFailed(EDownloadResult::FileEmpty, {}, file);
    if (commands.Get().m_bCheckHexFile && CIntelHexChecker::IsIntelHex(file, content)) {
        CIntelHexChecker checker;
        if (!checker.Check(content))
            return FileFailed(EDownloadResult::BadHexFile, {}, file, checker.Fault());
    }

    std::vector<std::string> boards;
    if (!loop) {
        for (const std::string& port : ports) {
            std::vector<std::string> found = IsPattern(port) ? MatchingPaths(port) : std::vector<std::string>{port};
            if (found.empty()) {
                std::fprintf(stderr, "qxprog program: no port matches %s\n", port.c_str());
                return EXIT_PORT_OPEN;
            }
            for (const std::string& path : found)
                if (std::find(boards.begin(), boards.end(), path) == boards.end())
                    boards.push_back(path);
        }
    }

    // Before any other thread exists, so that every thread inherits the blocked signals.
    CSignalWatcher signals;
    CGangTable table(stderr, IsTerminalStream(stderr));
    std::mutex outMutex;
    unsigned passes = 0, failures = 0;
    std::set<std::string> waiting; // loop ports that failed to open, until a job on them ends otherwise
    int status = EXIT_PROGRAMMED;
    {
        CGangProgrammer gang(settings, commands, file, [&](const CGangBoard& board, CGangProgrammer::EEvent event) {
            // A loop's port that another program holds is tried again: said once, counted neither way.
            if (loop && event == CGangProgrammer::EEvent::Ended && board.m_eResult == EDownloadResult::PortOpenFailed) {
                std::lock_guard lock(outMutex);
                if (waiting.insert(board.m_strPort).second) {
                    table.Event(board, event);
                    table.Line(board.m_strPort + ": " + CGangTable::StateWord(board) + "; trying again every 2 s");
                }
                return;
            }
            table.Event(board, event);
            // A board stopped by Ctrl+C neither passed nor failed.
            if (!loop || event != CGangProgrammer::EEvent::Ended || board.m_eResult == EDownloadResult::Stopped)
                return;
            std::lock_guard lock(outMutex);
            waiting.erase(board.m_strPort);
            ++(board.m_eState == CGangBoard::EState::Completed ? passes : failures);
            table.Line(board.m_strPort + ": " + CGangTable::StateWord(board) + "; passes " + std::to_string(passes)
                + ", failures " + std::to_string(failures));
            if (json) {
                std::printf("%s\n", CGangTable::BoardJson(board).c_str());
                std::fflush(stdout);
            }
        });
        signals.Start([&gang] { gang.StopAll(); });
        if (loop) {
            status = RunLoop(gang, table, ports, signals);
        } else {
            for (const std::string& port : boards)
                gang.Add(port);
            auto nextDraw = std::chrono::steady_clock::now();
            while (!gang.AllDone()) {
                if (std::chrono::steady_clock::now() >= nextDraw) {
                    nextDraw += std::chrono::milliseconds(100);
                    table.Draw(gang.Snapshot());
                }
                gang.WaitForChange(nextDraw);
            }
        }
        gang.Reap();
        signals.Stop();
        if (loop) {
            std::lock_guard lock(outMutex);
            std::fprintf(stderr, "Passes %u, failures %u\n", passes, failures);
        } else {
            const std::vector<CGangBoard> done = gang.Snapshot();
            table.Summary(done);
            for (const CGangBoard& board : done)
                if (board.m_eState != CGangBoard::EState::Completed) {
                    status = CGangProgrammer::ExitStatus(board.m_eResult);
                    break;
                }
            if (json) {
                std::printf("%s\n", CGangTable::RunJson(file, content, status, done).c_str());
            }
        }
    }
    if (signals.Interrupted() && status != EXIT_PROGRAMMED)
        status = EXIT_INTERRUPTED;
    std::fflush(stdout);
    return status;
}
