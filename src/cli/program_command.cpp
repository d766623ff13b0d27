// qxprog program: the download job of the window program, driven from a terminal.

#include "cli/cli_commands.h"
#include "cli/console_progress.h"
#include "cli/console_prompt.h"
#include "cli/console_terminal.h"
#include "cli/gang_programmer.h"
#include "cli/ini_settings_file.h"
#include "base/message_queue.h"
#include "cli/signal_watcher.h"

#include "base/line_timing.h"
#include "base/memory_settings_store.h"
#include "files/command_line.h"
#include "port/port_settings.h"
#include "programming/board_commands.h"
#include "programming/programming_session.h"
#include "programming/reset_sequence.h"
#include "programming/serial_numbers.h"
#include "serial/remote_port_name.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {
const char* kHelp =
    "Usage: qxprog program [OPTIONS] [--] FILE\n"
    "\n"
    "Sends FILE to the target board unchanged, as the Program command of the window\n"
    "program does: the download command, the file, the completion message, the run command,\n"
    "each answer with its time limit. The board's text goes to standard output; messages, the\n"
    "progress bar with bytes sent, bytes per second, elapsed time and time left (when standard\n"
    "error is a terminal) and a summary line after a completed download to standard error. Defaults come from\n"
    "the window program's settings ($XDG_CONFIG_HOME/Quillorex/Quillorex Programmer.conf,\n"
    "~/.config when XDG_CONFIG_HOME is not set), which are never written.\n"
    "\n"
    "Options:\n"
    "  --port NAME            serial port: a path, COMn (= /dev/ttyS<n-1>), a name under /dev,\n"
    "                         or a port on another machine: rfc2217://HOST:PORT (ser2net's\n"
    "                         telnet(rfc2217) accepter) or socket://HOST:PORT (bytes only);\n"
    "                         repeat it or give a glob (/dev/serial/by-id/usb-FTDI*) to program\n"
    "                         many boards at once: the file is read and checked once, the board's\n"
    "                         text is not shown, a table (a line per event when standard error is\n"
    "                         not a terminal) and a summary per port go to standard error, and the\n"
    "                         exit status is that of the first failing port in argument order\n"
    "  --json                 one JSON object on standard output: the file (name, size, sha256)\n"
    "                         and per port its name, by-id identity, result, reason, the board's\n"
    "                         last text, bytes, seconds, serial number and attempts\n"
    "  --loop                 production loop: program each port matching --port when it\n"
    "                         appears (checked every second), again once it has gone and come\n"
    "                         back; a running count of passes and failures, the totals at Ctrl+C\n"
    "                         (with --json a JSON line per board); the file is looked at before\n"
    "                         each board: a changed file is read and checked again (a line gives\n"
    "                         its new SHA-256), one that now fails the check ends the loop (11)\n"
    "  --log FILE             append a record per board and attempt to FILE (CSV with a header,\n"
    "                         JSON Lines when FILE ends in .jsonl, .ndjson or .json): UTC time,\n"
    "                         station, port, identity, file, SHA-256, serial number, attempt,\n"
    "                         result, reason, bytes, seconds; each is on the disk before the\n"
    "                         board goes on; a log that cannot be written stops the run (12)\n"
    "  --station NAME         the station the log names (default: the host name)\n"
    "  --retries N            program a board again, up to N times, when it did not answer,\n"
    "                         reported an error or sent no completion text (default 0)\n"
    "  --serial ADDR:FORMAT:START[:STEP]\n"
    "                         give each board its own number at ADDR (decimal or 0x hex):\n"
    "                         FORMAT le16, le32, be16, be32 or ascii:W (decimal, W digits); the\n"
    "                         data records holding it are rewritten with right checksums; an\n"
    "                         address the file's data records do not hold is refused (11)\n"
    "  --serial-file FILE     keeps the next number between runs (made with START when\n"
    "                         missing); a number is marked used before its board gets it\n"
    "  --serial-on-failure skip\n"
    "                         a failed board's number is not given again (by default the next\n"
    "                         board gets it)\n"
    "  --baud N               bits per second (any rate the line accepts)\n"
    "  --data-bits N          5, 6, 7 or 8\n"
    "  --parity N|O|E|M|S     none, odd, even, mark or space\n"
    "  --stop-bits 1|1.5|2\n"
    "  --handshake None|RTS/CTS|XON/XOFF\n"
    "  --no-commands          send the file alone, without download and run commands\n"
    "  --program-cmd TEXT     download command (empty: L)\n"
    "  --run-cmd TEXT         run command (empty: R)\n"
    "  --reset SEQ            drive the modem lines after opening the port and before the\n"
    "                         download command (before every attempt): a comma list of dtr or\n"
    "                         rts, '-' before it to drop the line, ':MS' after it to pause MS\n"
    "                         milliseconds (default 100), as in dtr,-dtr or rts:50,-rts; a port\n"
    "                         without modem lines (a pseudo-terminal) is an error (13)\n"
    "  --no-check             send an Intel HEX file (*.hex, *.ihx, or text starting with ':')\n"
    "                         without checking it first (records, checksums, one end record,\n"
    "                         no address written twice with different data)\n"
    "  --                     what follows is FILE, even when it starts with '-'\n"
    "  --help                 this text\n"
    "\n"
    "Exit status:\n"
    "  0    \"Programming has been completed!\"\n"
    "  1    wrong usage\n"
    "  2    the port cannot be opened\n"
    "  3    the file cannot be opened or read\n"
    "  4    the file is empty\n"
    "  5    not enough memory for the file\n"
    "  6    no answer to the download command within 500 ms\n"
    "  7    the board reported an error while the file was sent\n"
    "  8    no completion message within 1000 ms after the last byte\n"
    "  9    no answer to the run command within 500 ms\n"
    "  10   writing to the port failed or did not complete\n"
    "  11   the Intel HEX file has a fault (its line and the fault are named), or does not hold\n"
    "       the serial number's address; nothing was sent\n"
    "  12   the log or the serial-number file cannot be read or written (the run stops)\n"
    "  13   the port cannot drive the modem lines of the reset sequence\n"
    "  130  interrupted (Ctrl+C, SIGTERM, SIGHUP or SIGQUIT)\n";

// Turns the session's events into the progress line on stderr and the summary after the result.
class CProgressObserver : public ISessionObserver {
public:
    CProgressObserver(CProgrammingSession& session, CConsoleProgress& progress, const std::string& file)
        : m_session(session), m_progress(progress), m_strFile(file)
    {
    }

    void OnSessionEvent(const CSessionEvent& event) override
    {
        if (const auto* begin = std::get_if<session_event::CBegin>(&event)) {
            m_bBegun = true;
            m_progress.Begin(static_cast<std::uint64_t>(begin->m_nCount) + 2);
        } else if (std::holds_alternative<session_event::CStep>(event)) {
            Show();
        } else if (std::holds_alternative<session_event::CEnding>(event)) {
            // What the board said up to now has been shown; how the job ended comes next.
            m_progress.Clear();
        } else if (std::holds_alternative<session_event::CResultShown>(event)) {
            if (const std::string summary = m_session.SummaryLine(); !summary.empty())
                std::fprintf(stderr, "%s\n", WithPrintableName(summary, m_strFile).c_str());
        }
    }

    // No event for a while: the figures still move (a stalled line is said).
    void Refresh()
    {
        if (!m_bBegun || !m_progress.Enabled())
            return;
        m_session.Refresh(std::chrono::steady_clock::now());
        Show();
    }

private:
    void Show()
    {
        if (m_progress.Enabled())
            m_progress.Show(m_session.Position(), m_session.ProgressText(std::chrono::steady_clock::now()));
    }

    CProgrammingSession& m_session;
    CConsoleProgress& m_progress;
    const std::string& m_strFile;
    bool m_bBegun = false;
};

int Usage(const std::string& message)
{
    std::fprintf(stderr, "qxprog program: %s\n(see 'qxprog program --help')\n", message.c_str());
    return EXIT_USAGE;
}

} // namespace

int RunProgram(const std::vector<std::string>& args)
{
    std::optional<std::string> file;
    std::vector<std::string> ports;
    bool json = false;
    bool loop = false;
    std::optional<std::string> baud, dataBits, parity, stopBits, handshake, programCmd, runCmd;
    bool noCommands = false;
    bool noCheck = false;
    std::optional<std::string> log, station, retries, serial, serialFile, serialOnFailure, reset;
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
        // An empty value is no value: "--port ''" names no port.
        auto value = [&](std::optional<std::string>& target) {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return false;
            target = args[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--port") {
            std::optional<std::string> port;
            ok = value(port);
            if (port)
                ports.push_back(*port);
        } else if (arg == "--json")
            json = true;
        else if (arg == "--loop")
            loop = true;
        else if (arg == "--baud")
            ok = value(baud);
        else if (arg == "--data-bits")
            ok = value(dataBits);
        else if (arg == "--parity")
            ok = value(parity);
        else if (arg == "--stop-bits")
            ok = value(stopBits);
        else if (arg == "--handshake")
            ok = value(handshake);
        else if (arg == "--program-cmd")
            ok = value(programCmd);
        else if (arg == "--run-cmd")
            ok = value(runCmd);
        else if (arg == "--no-commands")
            noCommands = true;
        else if (arg == "--no-check")
            noCheck = true;
        else if (arg == "--reset")
            ok = value(reset);
        else if (arg == "--log")
            ok = value(log);
        else if (arg == "--station")
            ok = value(station);
        else if (arg == "--retries")
            ok = value(retries);
        else if (arg == "--serial")
            ok = value(serial);
        else if (arg == "--serial-file")
            ok = value(serialFile);
        else if (arg == "--serial-on-failure")
            ok = value(serialOnFailure);
        else
            return Usage("unknown option '" + arg + "'");
        if (!ok)
            return Usage("option '" + arg + "' needs a value");
    }
    if (!file)
        return Usage("no file given");

    CMemorySettingsStore store;
    CIniSettingsFile::LoadProgramSettings(store);
    CPortSettings settings;
    settings.LoadPortSettings(store);
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    PrintSettingsWarnings(store);

    for (const std::string& port : ports)
        if (CRemotePortName::IsRemote(port) && !CRemotePortName::Parse(port))
            return Usage("--port " + ShellQuote(port) + ": a remote port is named " + CRemotePortName::kExpectedForm);
    long long number = 0;
    if (ports.size() == 1)
        settings.SetPortName(ports.front());
    if (loop && ports.empty())
        return Usage("--loop needs --port");
    if (baud) {
        if (!ParseNumber(*baud, line_timing::kMinBaud, line_timing::kMaxBaud, number))
            return Usage("--baud takes a rate in bits per second");
        settings.m_strBaud = *baud;
        settings.m_line.m_nBaud = static_cast<std::uint32_t>(number);
    }
    if (dataBits) {
        if (!ParseNumber(*dataBits, 5, 8, number))
            return Usage("--data-bits takes 5, 6, 7 or 8");
        settings.SetDataBits(*dataBits);
    }
    if (parity) {
        if (parity->size() != 1 || std::string("NOEMSnoems").find((*parity)[0]) == std::string::npos)
            return Usage("--parity takes N, O, E, M or S");
        settings.SetParity(std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>((*parity)[0])))));
    }
    if (stopBits) {
        if (*stopBits != "1" && *stopBits != "1.5" && *stopBits != "2")
            return Usage("--stop-bits takes 1, 1.5 or 2");
        settings.SetStopBits(*stopBits);
    }
    if (handshake) {
        if (*handshake != "None" && *handshake != "RTS/CTS" && *handshake != "XON/XOFF")
            return Usage("--handshake takes None, RTS/CTS or XON/XOFF");
        settings.SetHandshake(*handshake);
    }
    CBoardCommandValues values = commands.Get();
    if (noCommands)
        values.m_bUsePrePostPgmCmd = 0;
    if (noCheck)
        values.m_bCheckHexFile = 0;
    if (programCmd)
        values.m_strProgramCmd = *programCmd;
    if (runCmd)
        values.m_strCmdAfterProgram = *runCmd;
    if (reset) {
        if (std::string why; !CResetSequence().Parse(*reset, why))
            return Usage(why);
        values.m_strResetSequence = *reset;
    }
    commands.Set(values);

    CGangRunOptions run;
    run.m_bJson = json;
    run.m_bLoop = loop;
    if (retries) {
        if (!ParseNumber(*retries, 0, 100, number))
            return Usage("--retries takes a number from 0 to 100");
        run.m_nRetries = static_cast<unsigned>(number);
    }
    run.m_strLog = log.value_or("");
    run.m_strStation = station.value_or("");
    CSerialNumbers serials;
    if (serial) {
        if (std::string why; !serials.Parse(*serial, why))
            return Usage(why);
        serials.SetCounterFile(serialFile.value_or(""));
        run.m_pSerials = &serials;
    } else if (serialFile || serialOnFailure) {
        return Usage("--serial-file and --serial-on-failure need --serial");
    }
    if (serialOnFailure) {
        if (*serialOnFailure != "skip")
            return Usage("--serial-on-failure takes skip");
        serials.SetSkipOnFailure(true);
    }
    // The production options run the boards as many ports do, a board on a port alone too.
    const bool production = log || station || retries || serial;
    const bool pattern = !CRemotePortName::IsRemote(settings.m_strPort) && settings.m_strPort.find_first_of("*?[") != std::string::npos;
    if (ports.size() > 1 || json || loop || production || pattern)
        return RunGangProgram(*file, ports.empty() ? std::vector<std::string>{settings.m_strPort} : ports, settings,
            commands, run);

    // Before any other thread exists, so that every thread inherits the blocked signals.
    CSignalWatcher signals;
    CMessageQueue queue;
    CConsoleProgress progress(stderr);
    CConsolePrompt prompt(stderr);
    prompt.SetWriter([&progress, &file](const std::string& lines) { progress.WriteOver(WithPrintableName(lines, *file)); });
    CConsoleTerminal terminal(stdout);
    int status = EXIT_USAGE;
    {
        CProgrammingSession session(terminal, commands, queue, prompt);
        session.PortSettings() = settings;
        signals.Start([&session] { session.RequestStop(); });
        CProgressObserver observer(session, progress, *file);
        session.AddObserver(observer);
        // Only a worker thread that cannot start drops the request (after its message).
        const bool started = session.StartDownload(*file);
        // The figures are looked at between events too, so a stalled line is said.
        const auto kRefresh = std::chrono::milliseconds(500);
        if (started)
            session.RunJob(queue, std::chrono::steady_clock::time_point::max(), kRefresh, [&] { observer.Refresh(); });
        session.RemoveObserver(observer);
        status = started ? CGangProgrammer::ExitStatus(session.LastResult()) : EXIT_NO_MEMORY;
        // No stop request may reach the session once it is gone; it closes the port.
        signals.Stop();
    }
    if (signals.Interrupted() && status != EXIT_PROGRAMMED)
        status = EXIT_INTERRUPTED;
    std::fflush(stdout);
    return status;
}
