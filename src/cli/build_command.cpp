// qxprog build: the Build command of the window program, from a terminal.

#include "cli/cli_commands.h"
#include "cli/ini_settings_file.h"
#include "cli/signal_watcher.h"

#include "base/event.h"
#include "base/memory_settings_store.h"
#include "files/build_diagnostics.h"
#include "files/command_line.h"
#include "files/file_list.h"
#include "files/process_runner.h"
#include "files/tool_commands.h"
#include "files/tool_settings.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

namespace {
const char* kHelp =
    "Usage: qxprog build [--builder PATH] [--] FILE\n"
    "\n"
    "Runs the builder on FILE as the Build command of the window program does: the same\n"
    "command line (builder, then FILE, without its extension when \"Remove extension\" is on)\n"
    "and the same working folder (FILE's folder when \"Change working directory\" is on), from\n"
    "the window program's settings, which are never written. No shell is involved. The command\n"
    "line (each argument in single quotes where a shell needs them, so it can be pasted into\n"
    "one), the builder's output (standard output and standard error as they come) and then the\n"
    "result line with the count of errors and warnings are printed.\n"
    "\n"
    "Options:\n"
    "  --builder PATH   the builder to run instead of the one in the settings; a relative\n"
    "                   path with a '/' is taken from the current folder, a bare name is\n"
    "                   looked up in PATH\n"
    "  --               what follows is FILE, even when it starts with '-'\n"
    "  --help           this text\n"
    "\n"
    "Exit status:\n"
    "  the builder's exit status (0 when it succeeded)\n"
    "  1      wrong usage\n"
    "  128+N  the builder was ended by signal N\n"
    "  127    the builder could not be started (no builder set, not found, not executable)\n"
    "  130    interrupted (Ctrl+C, SIGTERM, SIGHUP or SIGQUIT): the builder is stopped\n";

constexpr int kExitCannotStart = 127;

int Usage(const std::string& message)
{
    std::fprintf(stderr, "qxprog build: %s\n(see 'qxprog build --help')\n", message.c_str());
    return EXIT_USAGE;
}

// Streams the builder's output as it comes and counts its diagnostics per stream.
class CConsoleBuildRunner : public CProcessRunner {
public:
    ~CConsoleBuildRunner() override { Stop(); }

    CEvent m_evtFinished{true, false};
    CBuildDiagnostics m_out;
    CBuildDiagnostics m_err;
    std::string m_strStartFailure;
    // Start's own failure text comes on the starting thread, output on the readers.
    std::thread::id m_startThread = std::this_thread::get_id();

protected:
    void OnStdout(std::string_view text) override
    {
        if (std::this_thread::get_id() == m_startThread) {
            m_strStartFailure.append(text);
            return;
        }
        m_out.Feed(text);
        Write(stdout, text);
    }
    void OnStderr(std::string_view text) override
    {
        m_err.Feed(text);
        Write(stderr, text);
    }
    void OnFinished(const CExitStatus&) override { m_evtFinished.Set(); }

private:
    static void Write(std::FILE* stream, std::string_view text)
    {
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
    }
};
} // namespace

int RunBuild(const std::vector<std::string>& args)
{
    std::optional<std::string> file;
    std::optional<std::string> builder;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && (arg == "--help" || arg == "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (!options || arg.rfind("--", 0) != 0) {
            if (file)
                return Usage("one file only");
            file = arg;
            continue;
        }
        if (arg == "--") {
            options = false;
            continue;
        }
        if (arg == "--builder") {
            if (i + 1 >= args.size())
                return Usage("option '--builder' needs a value");
            builder = args[++i];
            if (builder->empty())
                return Usage("option '--builder' needs a value");
        } else {
            return Usage("unknown option '" + arg + "'");
        }
    }
    if (!file || file->empty())
        return Usage("no file given");

    CMemorySettingsStore store;
    CIniSettingsFile::LoadProgramSettings(store);
    CToolSettings tools;
    tools.LoadToolSettings(store);
    PrintSettingsWarnings(store);
    CToolSettingsValues values = tools.Get();
    // A path typed on the command line means the current folder, whatever folder the builder
    // then runs in.
    if (builder && builder->find('/') != std::string::npos && (*builder)[0] != '/') {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(*builder, error);
        values.m_strBuilder = error ? *builder : absolute.lexically_normal().string();
    } else if (builder) {
        values.m_strBuilder = *builder;
    }
    if (values.m_strBuilder.empty()) {
        std::fputs("qxprog build: Set Builder path in the option dialog first\n"
                   "(or name one with --builder PATH)\n",
                   stderr);
        return kExitCannotStart;
    }

    // The list holds full paths, so the row is made from the absolute path.
    std::error_code ec;
    const std::string path = std::filesystem::absolute(*file, ec).lexically_normal().string();
    CBuildCommand command = MakeBuildCommand(values, CFileList::SplitPath(ec ? *file : path));
    // A folder that cannot be entered leaves the builder in the current directory, as in the
    // window.
    std::error_code dirError;
    if (!command.m_strWorkingDir.empty() && !std::filesystem::is_directory(command.m_strWorkingDir, dirError))
        command.m_strWorkingDir.clear();

    // Before any other thread exists, so that every thread inherits the blocked signals.
    CSignalWatcher signals;
    CConsoleBuildRunner runner;
    signals.Start([&runner] { runner.m_evtFinished.Set(); });

    std::printf("%s\n", ShellQuoteArgs(command.m_args).c_str());
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    if (!runner.Start(command.m_strCommandLine, command.m_args, command.m_strWorkingDir)) {
        std::fprintf(stderr, "qxprog build: cannot start %s: %s\n", ShellQuote(command.m_args.front()).c_str(),
            std::strerror(runner.StartError()));
        signals.Stop();
        return kExitCannotStart;
    }
    // Wakes on the builder's end or on a termination request.
    runner.m_evtFinished.Wait();
    const bool interrupted = signals.Interrupted();
    if (interrupted)
        runner.Stop();
    runner.WaitUntilDone(CProcessRunner::kStopGraceMs * 10);
    signals.Stop();

    const CExitStatus status = runner.ExitStatus();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    runner.m_out.Finish();
    runner.m_err.Finish();
    CDiagnosticCounts counts = runner.m_out.Counts();
    counts += runner.m_err.Counts();
    std::printf("%s\n", CBuildDiagnostics::ResultLine(status, seconds, counts).c_str());
    std::fflush(stdout);
    if (interrupted || status.m_bStopped)
        return EXIT_INTERRUPTED;
    if (status.m_bSignalled)
        return 128 + status.m_nCode;
    return status.m_nCode;
}
