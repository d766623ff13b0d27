// qxprog: programs a board from the command line, simulates a board, lists the serial ports,
// runs the builder.

#include "cli/cli_commands.h"

#include "base/settings_store.h"
#include "files/command_line.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {
const char* kUsage =
    "Usage: qxprog COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  program FILE   send FILE to the board (download command, the file, run command),\n"
    "                 or to many boards at once (--port repeated or a glob, --loop)\n"
    "  simulate       serve simulated boards on pseudo-terminals\n"
    "  ports          list the serial ports of this machine\n"
    "  doctor [PORT]  check a serial port and say what to do when it cannot be used\n"
    "  build FILE     run the configured builder on FILE and report its result\n"
    "\n"
    "Run 'qxprog COMMAND --help' for the options of a command, 'qxprog --version' for the version.\n";
}

std::string PrintableName(const std::string& name)
{
    const bool control = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    return control ? ShellQuote(name) : name;
}

std::string WithPrintableName(std::string text, const std::string& name)
{
    const std::string shown = PrintableName(name);
    if (name.empty() || shown == name)
        return text;
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + shown.size()))
        text.replace(at, name.size(), shown);
    return text;
}

void PrintSettingsWarnings(const ISettingsStore& store)
{
    for (const std::string& warning : store.Warnings())
        std::fprintf(stderr, "qxprog: %s\n", warning.c_str());
}

bool ParseNumber(const std::string& text, long long min, long long max, long long& value)
{
    if (text.empty() || text.size() > 18)
        return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < min || v > max)
        return false;
    value = v;
    return true;
}

int main(int argc, char** argv)
{
    // A closed standard output must end in a failed write, not in a killed process.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return EXIT_USAGE;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version" || command == "-V") {
        std::printf("qxprog %s\n", QX_VERSION);
        return 0;
    }
    if (command == "program")
        return RunProgram(args);
    if (command == "simulate")
        return RunSimulate(args);
    if (command == "ports")
        return RunPorts(args);
    if (command == "doctor")
        return RunDoctor(args);
    if (command == "build")
        return RunBuild(args);
    std::fprintf(stderr, "qxprog: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return EXIT_USAGE;
}
