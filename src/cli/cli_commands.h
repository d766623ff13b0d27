#pragma once
// The subcommands of qxprog. Each runs on the main thread and returns the exit status.

#include <string>
#include <vector>

class CBoardCommands;
class CPortSettings;
class CSerialNumbers;
class ISettingsStore;

// Exit status of `qxprog program`: 0 only when the board confirmed the whole handshake.
enum EProgramExit : int {
    EXIT_PROGRAMMED = 0,
    EXIT_USAGE = 1,
    EXIT_PORT_OPEN = 2,
    EXIT_FILE_OPEN = 3,
    EXIT_FILE_EMPTY = 4,
    EXIT_NO_MEMORY = 5,
    EXIT_NO_LOAD_ANSWER = 6,
    EXIT_BOARD_ERROR = 7,
    EXIT_NO_COMPLETED = 8,
    EXIT_NO_RUN_ANSWER = 9,
    EXIT_PORT_WRITE = 10,
    EXIT_BAD_HEX_FILE = 11,
    // The unit log or the serial-number file cannot be read or written.
    EXIT_RECORD_WRITE = 12,
    // The reset sequence's lines cannot be driven on the port.
    EXIT_PORT_RESET = 13,
    EXIT_INTERRUPTED = 130,
};

// What qxprog program does beyond one board: --json, --loop and the production options.
struct CGangRunOptions {
    bool m_bJson = false;
    bool m_bLoop = false;
    unsigned m_nRetries = 0;
    // --log FILE; empty: none.
    std::string m_strLog;
    // --station NAME; empty: the host name.
    std::string m_strStation;
    // --serial (parsed), with its counter file and failure rule set; null: none.
    CSerialNumbers* m_pSerials = nullptr;
};

int RunProgram(const std::vector<std::string>& args);
// qxprog program with more than one port, a port glob, --json or --loop.
int RunGangProgram(const std::string& file, const std::vector<std::string>& ports, const CPortSettings& settings,
    const CBoardCommands& commands, const CGangRunOptions& options);
int RunSimulate(const std::vector<std::string>& args);
int RunPorts(const std::vector<std::string>& args);
// Exit status: EPortProblem (0 usable, 2 missing, 3 no permission, 4 busy, 5 no UART, 6 other), 1 usage.
int RunDoctor(const std::vector<std::string>& args);
int RunBuild(const std::vector<std::string>& args);

// A name as messages print it: unchanged, or shell-quoted when it holds a control character (a
// newline would otherwise split the message).
std::string PrintableName(const std::string& name);
// The text with every occurrence of name printed as PrintableName gives it.
std::string WithPrintableName(std::string text, const std::string& name);

// Prints the settings' warnings (values that could not be read) to standard error.
void PrintSettingsWarnings(const ISettingsStore& store);

// Parses a whole decimal number in [min, max]; false otherwise.
bool ParseNumber(const std::string& text, long long min, long long max, long long& value);
