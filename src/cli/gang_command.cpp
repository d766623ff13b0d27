// qxprog program with many ports, a port glob, --json or --loop: one file to many boards.

#include "cli/cli_commands.h"
#include "cli/console_prompt.h"
#include "cli/console_stream.h"
#include "cli/gang_programmer.h"
#include "cli/gang_table.h"
#include "cli/path_pattern.h"
#include "cli/signal_watcher.h"

#include "cli/host_name.h"
#include "cli/unit_log.h"
#include "programming/program_image.h"
#include "programming/programming_session.h"
#include "programming/serial_numbers.h"
#include "serial/remote_port_name.h"

#include <algorithm>
#include <map>
#include <set>

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

// The file as the boards get it.
struct CFileState {
    std::shared_ptr<const CProgramImage> m_pImage;
    std::string m_strSha256;
};

// Reads and checks the file, and that the serial number's address is in it; EXIT_PROGRAMMED, or
// the exit status after the failure was printed as the one-port command prints it.
int LoadFile(const std::string& file, bool check, const CSerialNumbers* serials, CFileState& state)
{
    auto image = std::make_shared<CProgramImage>();
    std::error_code code;
    std::string fault;
    const EDownloadResult result = CProgramImage::Load(file, check, *image, code, fault);
    if (result != EDownloadResult::Completed)
        return FileFailed(result, code, file, fault);
    if (serials) {
        CProgramImage patched;
        std::string why;
        if (!serials->Patch(*image, serials->Next(), patched, why)) {
            std::fprintf(stderr, "qxprog program: %s: %s; nothing was sent.\n", PrintableName(file).c_str(), why.c_str());
            return EXIT_BAD_HEX_FILE;
        }
    }
    state.m_strSha256 = CGangTable::Sha256(
        std::string_view(reinterpret_cast<const char*>(image->m_data.data()), image->m_data.size()));
    state.m_pImage = std::move(image);
    return EXIT_PROGRAMMED;
}

// The loop's look at the file before a board: read again when it changed (a line with the new
// SHA-256 says so) and the boards from now on get it. EXIT_PROGRAMMED, or the status of a file
// that can no longer be read or fails the check: then no board gets it.
int LookAtFile(const std::string& file, bool check, const CSerialNumbers* serials, CFileState& state,
    CGangProgrammer& gang, CGangTable& table)
{
    CProgramImage now;
    std::error_code code;
    std::string fault;
    if (CProgramImage::Load(file, false, now, code, fault) == EDownloadResult::Completed
        && now.m_data == state.m_pImage->m_data)
        return EXIT_PROGRAMMED;
    CFileState changed;
    if (const int status = LoadFile(file, check, serials, changed); status != EXIT_PROGRAMMED)
        return status;
    state = changed;
    gang.SetImage(state.m_pImage, state.m_strSha256);
    table.Line(PrintableName(file) + ": changed, read again; SHA-256 " + state.m_strSha256);
    return EXIT_PROGRAMMED;
}

// The production loop: each port that appears is programmed once, again after it has gone. The
// file is looked at before each board.
int RunLoop(CGangProgrammer& gang, CGangTable& table, const std::vector<std::string>& patterns,
    const CSignalWatcher& signals, const std::function<int()>& lookAtFile)
{
    using Clock = std::chrono::steady_clock;
    std::map<std::string, std::size_t> present; // port -> its board in the gang
    std::map<std::string, Clock::time_point> retryAt;
    constexpr auto kRetryOpen = std::chrono::seconds(2);
    auto nextScan = Clock::now();
    auto nextDraw = Clock::now();
    while (!signals.Interrupted() && gang.Halted().empty()) {
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
                    if (const int status = lookAtFile(); status != EXIT_PROGRAMMED) {
                        // The boards running have the file as it was checked: they finish.
                        while (!gang.AllDone() && !signals.Interrupted())
                            gang.WaitForChange(Clock::now() + std::chrono::milliseconds(100));
                        return status;
                    }
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
    return gang.Halted().empty() ? EXIT_INTERRUPTED : EXIT_RECORD_WRITE;
}
} // namespace

int RunGangProgram(const std::string& file, const std::vector<std::string>& ports, const CPortSettings& settings,
    const CBoardCommands& commands, const CGangRunOptions& options)
{
    const bool json = options.m_bJson;
    const bool loop = options.m_bLoop;
    const bool check = commands.Get().m_bCheckHexFile != 0;
    CSerialNumbers* serials = options.m_pSerials;
    if (serials) {
        if (std::string why; !serials->Open(why)) {
            std::fprintf(stderr, "qxprog program: %s\n", WithPrintableName(why, serials->CounterFile()).c_str());
            return EXIT_RECORD_WRITE;
        }
    }
    // The file is read and checked once; every board gets exactly these bytes.
    CFileState state;
    if (const int status = LoadFile(file, check, serials, state); status != EXIT_PROGRAMMED)
        return status;
    CUnitLog log;
    if (!options.m_strLog.empty()) {
        if (std::error_code code = log.Open(options.m_strLog)) {
            std::fprintf(stderr, "qxprog program: cannot write the log %s: %s; nothing was sent.\n",
                PrintableName(options.m_strLog).c_str(), code.message().c_str());
            return EXIT_RECORD_WRITE;
        }
    }
    const std::string station = options.m_strStation.empty() ? HostName() : options.m_strStation;

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
        CGangOptions gangOptions;
        gangOptions.m_nRetries = options.m_nRetries;
        gangOptions.m_pSerials = serials;
        if (!options.m_strLog.empty())
            gangOptions.m_attemptEnded = [&](const CGangBoard& board) -> std::string {
                // A loop's port that another program holds is tried again: no unit was there yet.
                if (loop && board.m_eResult == EDownloadResult::PortOpenFailed)
                    return {};
                const CGangAttempt& attempt = board.m_attempts.back();
                CUnitRecord record{std::chrono::system_clock::now(), station, board.m_strPort, board.m_strIdentity, file,
                    board.m_strSha256, board.m_strSerial, attempt.m_nAttempt,
                    CGangProgrammer::ResultWord(attempt.m_eResult), attempt.m_strReason, attempt.m_nBytes,
                    attempt.m_dSeconds};
                if (std::error_code code = log.Write(record))
                    return "cannot write the log " + PrintableName(log.Path()) + ": " + code.message();
                return {};
            };
        CGangProgrammer gang(settings, commands, gangOptions, [&](const CGangBoard& board, CGangProgrammer::EEvent event) {
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
            // A board stopped by Ctrl+C (or a run that cannot go on) neither passed nor failed.
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
        gang.SetImage(state.m_pImage, state.m_strSha256);
        signals.Start([&gang] { gang.StopAll(); });
        if (loop) {
            status = RunLoop(gang, table, ports, signals,
                [&] { return LookAtFile(file, check, serials, state, gang, table); });
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
            if (!gang.Halted().empty())
                status = EXIT_RECORD_WRITE;
            // What was sent: the file's bytes as read and checked (before any serial number).
            const std::vector<std::uint8_t>& sent = state.m_pImage->m_data;
            if (json) {
                std::printf("%s\n", CGangTable::RunJson(file,
                    std::string_view(reinterpret_cast<const char*>(sent.data()), sent.size()), status, done).c_str());
            }
        }
        if (const std::string why = gang.Halted(); !why.empty())
            std::fprintf(stderr, "qxprog program: %s; every board was stopped.\n", why.c_str());
    }
    if (signals.Interrupted() && status != EXIT_PROGRAMMED && status != EXIT_RECORD_WRITE)
        status = EXIT_INTERRUPTED;
    std::fflush(stdout);
    return status;
}
