// The real qxprog program as a child process: against the board simulator, with a real
// settings file under a temporary XDG_CONFIG_HOME, its exit status for every outcome.

#include "bytes.h"
#include "ser2net_server.h"
#include "temp_dir.h"

#include "cli/cli_commands.h"
#include "cli/ini_settings_file.h"
#include "cli/gang_table.h"
#include "sim/board_simulator.h"
#include "sim/intel_hex.h"
#include "pty_pair.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <regex>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One run of qxprog with its standard output and error in files (or stdout in a pipe).
class CChild {
public:
    CChild(const std::vector<std::string>& args, const std::string& configHome, const std::string& outDir,
        bool stdoutPipe = false, int stderrFd = -1)
    {
        static int counter = 0;
        const std::string base = outDir + "/run" + std::to_string(++counter);
        m_strOut = base + ".out";
        m_strErr = base + ".err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeFds[2] = {-1, -1};
        if (stdoutPipe) {
            EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, m_strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (stderrFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
        else
            posix_spawn_file_actions_addopen(&actions, 2, m_strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> argv = {QX_QXPROG_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (std::string& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0)
                env.emplace_back(*e);
        env.push_back("XDG_CONFIG_HOME=" + configHome);
        std::vector<char*> cenv;
        for (std::string& e : env)
            cenv.push_back(e.data());
        cenv.push_back(nullptr);
        m_tStart = Clock::now();
        EXPECT_EQ(posix_spawn(&m_pid, QX_QXPROG_PATH, &actions, nullptr, cargv.data(), cenv.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        if (stdoutPipe) {
            ::close(pipeFds[1]);
            m_fdOut = pipeFds[0];
        }
        m_fdPid = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    }
    ~CChild()
    {
        if (m_nStatus < 0) {
            ::kill(m_pid, SIGKILL);
            Wait(5s);
        }
        if (m_fdOut >= 0)
            ::close(m_fdOut);
        if (m_fdPid >= 0)
            ::close(m_fdPid);
    }

    // The exit status, or -1 when the program did not end in time (it is then killed).
    int Wait(std::chrono::milliseconds limit = 10s)
    {
        if (m_nStatus >= 0)
            return m_nStatus;
        pollfd p{m_fdPid, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0)
            ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_took = Clock::now() - m_tStart;
        m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        return m_nStatus;
    }
    std::string ReadLine(std::chrono::milliseconds limit)
    {
        std::string line;
        const auto deadline = Clock::now() + limit;
        char c = 0;
        while (Clock::now() < deadline) {
            pollfd p{m_fdOut, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            if (::read(m_fdOut, &c, 1) != 1 || c == '\n')
                break;
            line.push_back(c);
        }
        return line;
    }
    void Signal(int signal) { ::kill(m_pid, signal); }
    std::string Out() const { return ReadFile(m_strOut); }
    std::string Err() const { return ReadFile(m_strErr); }
    Clock::duration Took() const { return m_took; }

private:
    pid_t m_pid = -1;
    int m_fdPid = -1;
    int m_fdOut = -1;
    int m_nStatus = -1;
    std::string m_strOut, m_strErr;
    Clock::time_point m_tStart;
    Clock::duration m_took{};
};

class QxprogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir.Folder("config/Quillorex");
    }
    void WriteSettings(const std::string& body)
    {
        m_dir.Write("config/Quillorex/Quillorex Programmer.conf", body);
    }
    std::string WriteFile(const std::string& name, const std::string& content)
    {
        return m_dir.Write(name, content);
    }
    CBoardSimulator& Board(CBoardSimOptions options = {})
    {
        options.m_bKeepWire = true;
        m_boards.push_back(std::make_unique<CBoardSimulator>(options));
        EXPECT_FALSE(m_boards.back()->Start());
        return *m_boards.back();
    }
    std::unique_ptr<CChild> Run(const std::vector<std::string>& args, bool stdoutPipe = false, int stderrFd = -1)
    {
        return std::make_unique<CChild>(args, m_strConfig, m_strDir, stdoutPipe, stderrFd);
    }
    // Runs qxprog with standard error on a pseudo-terminal of the test's own (as the user's
    // terminal, not raw): what it drew there, until it closed it.
    std::string RunOnATerminal(const std::vector<std::string>& args, int& status)
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master, 0);
        EXPECT_EQ(::grantpt(master), 0);
        EXPECT_EQ(::unlockpt(master), 0);
        const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(terminal, 0);
        auto child = Run(args, false, terminal);
        ::close(terminal);
        std::string err;
        char buffer[4096];
        pollfd p{master, POLLIN, 0};
        for (ssize_t n = 0; ::poll(&p, 1, 10000) > 0 && (n = ::read(master, buffer, sizeof buffer)) > 0;)
            err.append(buffer, static_cast<std::size_t>(n));
        ::close(master);
        status = child->Wait();
        return err;
    }

    const CTempDir m_dir;
    const std::string m_strDir = m_dir.Path();
    const std::string m_strConfig = m_dir.Path("config");
    std::vector<std::unique_ptr<CBoardSimulator>> m_boards;
};

// The summary line after a completed download, its figures replaced by @SUMMARY@.
// A hang-up is seen by the write (EIO) or by the port's listener (ENODEV), whichever comes
// first: either names the same loss, so the texts are compared with the write's word.
std::string LossAsWriteError(std::string text)
{
    const std::string listener = ": No such device";
    const std::string write = ": Input/output error";
    for (std::size_t at = text.find(listener); at != std::string::npos; at = text.find(listener, at + write.size()))
        text.replace(at, listener.size(), write);
    return text;
}

std::string Summarised(const std::string& err)
{
    static const std::regex summary(R"([^\n]*: [0-9]+ bytes(, addresses [0-9A-F]+-[0-9A-F]+)?, [0-9]+\.[0-9]+ s, [0-9]+ bytes/s)");
    return std::regex_replace(err, summary, "@SUMMARY@");
}

// The line settings a port has now, as its owner sees them.
termios LineOf(const std::string& path)
{
    termios t{};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
}

TEST_F(QxprogTest, DefaultsComeFromTheSettingsFile)
{
    CBoardSimOptions options;
    options.m_monitor.m_strProgramCmd = "LD";
    options.m_monitor.m_strRunCmd = "GO";
    CBoardSimulator& board = Board(options);
    // As QSettings writes it: other groups, quoting, an escaped character.
    const std::string settings = "[General]\nPort=/dev/null\n\n[Settings]\nPort=" + board.SlavePath()
        + "\nBaud=115200\nParity=N\nProgramCmd=\"L\\x44\"\nCmdAfterProgram=GO\nUsePrePostPgmCmd=1\n"
        "LastBrowse=\"/home/a, b\"\n\n[MainWindow]\ngeometry=@ByteArray(x)\n";
    WriteSettings(settings);
    const std::vector<std::uint8_t> data = Bytes(500, 3);
    const std::string file = EncodeIntelHex(data, 0x4000, 16, true);
    auto child = Run({"program", WriteFile("a.hex", file)});
    ASSERT_EQ(child->Wait(), EXIT_PROGRAMMED) << child->Err();
    EXPECT_EQ(Summarised(child->Err()), "Programming has been completed!\n@SUMMARY@\n");
    EXPECT_EQ(child->Err().find(m_strDir + "/a.hex: " + std::to_string(file.size()) + " bytes, addresses 4000-41F3, "),
        std::string("Programming has been completed!\n").size());
    EXPECT_NE(child->Out().find("Intel format HEX file sending"), std::string::npos);
    EXPECT_NE(child->Out().find("Starting program"), std::string::npos);
    EXPECT_EQ(board.Image(), data);
    const std::vector<std::uint8_t> wire = board.Wire();
    EXPECT_EQ(Text(wire), "LD" + file + "GO");
    // The settings file is only read.
    EXPECT_EQ(ReadFile(m_strConfig + "/Quillorex/Quillorex Programmer.conf"), settings);
}

// Flags written as words mean what they say; a value that cannot be read is said once, with
// what is used instead.
TEST_F(QxprogTest, SettingsFlagsAsWordsAndOneWarningPerUnreadableValue)
{
    const std::string file = EncodeIntelHex(Bytes(200, 3), 0);
    CBoardSimulator& board = Board();
    WriteSettings("[Settings]\nBaud=abc\nUsePrePostPgmCmd=no\n");
    auto plain = Run({"program", "--port", board.SlavePath(), WriteFile("a.hex", file)});
    EXPECT_EQ(plain->Wait(), EXIT_PROGRAMMED) << plain->Err();
    EXPECT_EQ(Text(board.Wire()), file);
    EXPECT_EQ(Summarised(plain->Err()),
        "qxprog: Settings: Baud=abc is not a valid value; 19200 is used.\nProgramming has been completed!\n@SUMMARY@\n");

    WriteSettings("[Settings]\nCheckHexFile=false\n");
    auto unchecked = Run({"program", "--port", Board().SlavePath(), WriteFile("bad.hex", ":0300000041424338\r\n:00000001FF\r\n")});
    EXPECT_EQ(unchecked->Wait(), EXIT_BOARD_ERROR) << unchecked->Err();
}

TEST_F(QxprogTest, ExitStatusForEveryOutcome)
{
    WriteSettings("[Settings]\nBaud=115200\n");
    const std::string file = WriteFile("a.hex", EncodeIntelHex(Bytes(300, 3), 0));
    const std::string empty = WriteFile("empty.hex", "");
    // Larger than the pseudo-terminal holds, so the board's reaction comes while bytes remain.
    const std::string big = WriteFile("big.hex", EncodeIntelHex(Bytes(20000, 3), 0));
    struct Case {
        const char* name;
        CBoardSimOptions options;
        std::vector<std::string> args; // after the port
        int status;
        std::string err;
    };
    const std::string badHex = WriteFile("bad.hex", ":0300000041424338\r\n:00000001FF\r\n");
    CBoardSimOptions plain, silentLoad, errorAt, errorAtLast, silentEnd, silentRun, hangup;
    silentLoad.m_bSilentLoad = true;
    errorAt.m_monitor.m_nErrorAtRecord = 2;
    // a.hex holds 19 data records: the error comes once most or all of the file is out.
    errorAtLast.m_monitor.m_nErrorAtRecord = 19;
    silentEnd.m_bSilentCompletion = true;
    silentRun.m_bSilentRun = true;
    hangup.m_nHangupAfter = 100;
    const std::string sorry = "Check out follwings and try again:\n\t- Reset the target board.\n\t- Check the port configuration.\n\t- Check the communicatin cable.\n";
    const std::vector<Case> cases = {
        {"completed without commands", plain, {"--no-commands", file}, EXIT_PROGRAMMED, "Programming has been completed!\n@SUMMARY@\n"},
        {"Intel HEX fault", plain, {badHex}, EXIT_BAD_HEX_FILE,
            "The file is not a valid Intel HEX file. Nothing has been sent.\n\n" + badHex + "\nline 1: checksum 38, the record needs 37\n"},
        {"Intel HEX fault sent unchecked", plain, {"--no-check", badHex}, EXIT_BOARD_ERROR,
            "An error occured while programming.\nCheck out the terminal window.\n"},
        {"missing file", plain, {m_strDir + "/none.hex"}, EXIT_FILE_OPEN, "File open error!\n\n" + m_strDir + "/none.hex: No such file or directory\n"},
        {"empty file", plain, {empty}, EXIT_FILE_EMPTY, "The file is empty!\n\n" + empty + "\n"},
        {"no answer to the download command", silentLoad, {file}, EXIT_NO_LOAD_ANSWER, "The target board does not respond to the LOAD command.\n" + sorry},
        {"board error", errorAt, {big}, EXIT_BOARD_ERROR, "An error occured while programming.\nCheck out the terminal window.\n"},
        {"board error on the last data record", errorAtLast, {file}, EXIT_BOARD_ERROR, "An error occured while programming.\nCheck out the terminal window.\n"},
        {"no completion message", silentEnd, {file}, EXIT_NO_COMPLETED, "The target board does not send COMPLETED message.\n" + sorry},
        {"no answer to the run command", silentRun, {file}, EXIT_NO_RUN_ANSWER, "The target board does not respond to the RUN command.\n" + sorry},
        {"hang-up", hangup, {big}, EXIT_PORT_WRITE, "Port write error!\n\n@PORT@: Input/output error\n"},
        // A pseudo-terminal keeps 8 data bits without parity: said, and the file still goes.
        {"line settings refused", plain, {"--data-bits", "7", "--parity", "E", "--no-commands", file}, EXIT_PROGRAMMED,
            "The port did not accept the line settings.\n\n@PORT@ refused 115200 7E1; the line runs at 38400 8N1.\n"
            "Programming has been completed!\n@SUMMARY@\n"},
    };
    // The runs go side by side, each with a board of its own.
    std::vector<std::unique_ptr<CChild>> children;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        const std::string port = Board(c.options).SlavePath();
        std::vector<std::string> args = {"program", "--port", port};
        args.insert(args.end(), c.args.begin(), c.args.end());
        children.push_back(Run(args));
        std::string err = c.err;
        if (std::size_t at = err.find("@PORT@"); at != std::string::npos)
            err.replace(at, 6, port);
        expected.push_back(err);
    }
    children.push_back(Run({"program", "--port", m_strDir + "/no-port", file}));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(children[i]->Wait(), cases[i].status);
        EXPECT_EQ(LossAsWriteError(Summarised(children[i]->Err())), expected[i]);
    }
    EXPECT_EQ(children.back()->Wait(), EXIT_PORT_OPEN);
    // The reason, then what to do: the ports present now.
    const std::string first = "Port open error!\n\n" + m_strDir + "/no-port: No such file or directory\n\n";
    EXPECT_EQ(children.back()->Err().substr(0, first.size()), first);
    EXPECT_NE(children.back()->Err().find("present now"), std::string::npos) << children.back()->Err();
}

TEST_F(QxprogTest, UsageErrorsAndHelp)
{
    const std::vector<std::vector<std::string>> wrong = {
        {}, {"frobnicate"}, {"program"}, {"program", "a", "b"}, {"program", "a", "--baud", "fast"},
        {"program", "a", "--parity", "X"}, {"program", "a", "--stop-bits", "3"},
        {"program", "a", "--handshake", "rts"}, {"program", "a", "--data-bits", "9"},
        {"program", "a", "--port"}, {"simulate", "--no-answer", "Q"}, {"simulate", "--delay-answer", "L"},
        {"simulate", "--bogus"}, {"simulate", "--boards", "0"}, {"simulate", "--boards", "2", "--fault-board", "3"},
        {"program", "a", "--loop"}, {"ports", "extra"}, {"doctor", "a", "b"}, {"doctor", "--bogus"},
        // An empty name is no name.
        {"program", "--port", "", "a"}, {"doctor", ""}, {"build", "--builder", "", "a"},
        {"program", "a", "--", "b"}, {"build", "--", "a", "b"},
    };
    for (const auto& args : wrong) {
        auto child = Run(args);
        EXPECT_EQ(child->Wait(), EXIT_USAGE) << ::testing::PrintToString(args);
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"program", "--help"}, {"simulate", "--help"}, {"ports", "--help"},
             {"doctor", "--help"}}) {
        auto child = Run(args);
        EXPECT_EQ(child->Wait(), 0);
        EXPECT_EQ(child->Out().rfind("Usage: qxprog", 0), 0u) << child->Out();
    }
    auto ports = Run({"ports"});
    EXPECT_EQ(ports->Wait(), 0);
    auto version = Run({"--version"});
    EXPECT_EQ(version->Wait(), 0);
    EXPECT_EQ(version->Out(), "qxprog " QX_VERSION "\n");
}

TEST_F(QxprogTest, DoctorGivesTheVerdictAsExitStatus)
{
    CPtyPair free;
    CPtyPair held;
    // This test process holds the second line, as another program would.
    CSerialPort holder;
    ASSERT_FALSE(holder.Open(held.SlavePath(), 0, 0, true));
    struct Row {
        std::string port;
        int status;
        std::string text;
    };
    const Row rows[] = {
        {free.SlavePath(), 0, "[ok] It opens and locks: the port can be used."},
        {m_strDir + "/no-port", 2, "[!!] " + m_strDir + "/no-port does not exist."},
        {held.SlavePath(), 4, "It is held by process " + std::to_string(::getpid())},
        // Exists, but no terminal: the verdict matches the failed line.
        {"/dev/null", 7, "[!!] It is not a serial port: it opens, but is no terminal device"},
        {WriteFile("plain", "x"), 7, "[!!] It is not a serial port: a regular file."},
    };
    for (const Row& row : rows) {
        auto child = Run({"doctor", "--", row.port});
        EXPECT_EQ(child->Wait(), row.status) << row.port;
        EXPECT_NE(child->Out().find(row.text), std::string::npos) << child->Out();
        EXPECT_EQ(child->Out().rfind("     Port " + row.port, 0), 0u) << child->Out();
    }
}

// A file name with a newline cannot split a message: it is printed as a shell reads it back.
TEST_F(QxprogTest, ANameWithANewlineIsPrintedQuoted)
{
    const std::string file = WriteFile("a\nb.hex", EncodeIntelHex(Bytes(100, 3), 0));
    const std::string shown = "'" + m_strDir + "/a'$'\\n''b.hex'";
    auto done = Run({"program", "--port", Board().SlavePath(), file});
    EXPECT_EQ(done->Wait(), EXIT_PROGRAMMED) << done->Err();
    EXPECT_NE(done->Err().find("\n" + shown + ": "), std::string::npos) << done->Err();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"program", "--port", Board().SlavePath()},
             std::vector<std::string>{"program", "--json", "--port", Board().SlavePath()}}) {
        std::vector<std::string> missing = args;
        missing.push_back(m_strDir + "/c\nd.hex");
        auto failed = Run(missing);
        EXPECT_EQ(failed->Wait(), EXIT_FILE_OPEN);
        EXPECT_EQ(failed->Err(), "File open error!\n\n'" + m_strDir + "/c'$'\\n''d.hex': No such file or directory\n");
    }
}

TEST_F(QxprogTest, TerminationSignalsStopCleanlyAndRestoreThePort)
{
    // The line as the far end's owner left it; qxprog sets raw mode and its own rate meanwhile.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(::strsignal(sig));
        CBoardSimOptions paced;
        paced.m_line.m_nBaud = 115200;
        CBoardSimulator& board = Board(paced);
        const termios before = LineOf(board.SlavePath());
        const std::string file = WriteFile("big.hex", EncodeIntelHex(Bytes(40000, 3), 0));
        auto child = Run({"program", "--port", board.SlavePath(), "--baud", "115200", file});
        ASSERT_TRUE(board.WaitForBytes(2000, 30s));
        const auto interrupted = Clock::now();
        child->Signal(sig);
        EXPECT_EQ(child->Wait(), EXIT_INTERRUPTED);
        EXPECT_LT(Clock::now() - interrupted, 2s);
        EXPECT_EQ(child->Err(), "");
        EXPECT_LT(board.ReceivedBytes(), 100000u);
        const termios after = LineOf(board.SlavePath());
        EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
    }
}

// qxprog build: the window's command line and working folder from the settings file, the
// output streamed, the result line, and the exit status for every way a builder ends.
TEST_F(QxprogTest, BuildRunsTheConfiguredBuilderAndExitsWithItsStatus)
{
    ::mkdir((m_strDir + "/my work").c_str(), 0755);
    const std::string target = WriteFile("my work/blink.c", "int main;\n");
    auto script = [&](const std::string& name, const std::string& body) {
        const std::string path = WriteFile(name, "#!/bin/sh\n" + body);
        ::chmod(path.c_str(), 0755);
        return path;
    };
    const std::string ok = script("ok build", "printf '<%s> in %s\\n' \"$@\" \"$PWD\"\n"
                                              "echo 'blink.c:3:5: warning: unused' >&2\n");
    const std::string failing = script("fail", "echo 'blink.c:1:1: error: x'\necho 'blink.c:2:1: error: y' >&2\n"
                                               "echo 'make: *** [all] Error 1'\nexit 2\n");
    const std::string crashing = script("crash", "kill -SEGV $$\n");
    WriteSettings("[Settings]\nBuilder=" + ok + "\n");

    auto built = Run({"build", target});
    ASSERT_EQ(built->Wait(), 0) << built->Err();
    // Printed as a shell reads it back.
    const std::string line = "'" + ok + "' '" + m_strDir + "/my work/blink'";
    EXPECT_EQ(built->Out().rfind(line + "\n<" + m_strDir + "/my work/blink> in " + m_strDir + "/my work\n", 0), 0u)
        << built->Out();
    EXPECT_NE(built->Out().find("\nBuild finished (exit code 0, "), std::string::npos) << built->Out();
    EXPECT_NE(built->Out().find(" s): 0 errors, 1 warning\n"), std::string::npos) << built->Out();
    EXPECT_EQ(built->Err(), "blink.c:3:5: warning: unused\n");

    struct CCase {
        std::string m_strBuilder;
        int m_nStatus;
        const char* m_strOut;
        const char* m_strErr;
    };
    const CCase cases[] = {
        {failing, 2, "Build failed (exit code 2, ", "2 errors, 0 warnings\n"},
        {crashing, 128 + SIGSEGV, "Builder ended by signal 11: 0 errors, 0 warnings\n", nullptr},
        {m_strDir + "/missing builder", 127, nullptr, "cannot start"},
        {m_strDir + "/my work/blink.c", 127, nullptr, "Permission denied"},
    };
    for (const CCase& c : cases) {
        auto child = Run({"build", "--builder", c.m_strBuilder, target});
        EXPECT_EQ(child->Wait(), c.m_nStatus) << c.m_strBuilder << child->Out() << child->Err();
        if (c.m_strOut) {
            EXPECT_NE(child->Out().find(c.m_strOut), std::string::npos) << child->Out();
        }
        if (c.m_strErr) {
            EXPECT_NE((child->Out() + child->Err()).find(c.m_strErr), std::string::npos) << child->Err();
        }
    }

    // A relative builder path is taken from the current folder, not from the file's; the reason
    // a builder cannot start is said once.
    const std::string relative = std::filesystem::relative(ok, std::filesystem::current_path()).string();
    ASSERT_NE(relative.find('/'), std::string::npos);
    auto fromHere = Run({"build", "--builder", relative, "--", target});
    EXPECT_EQ(fromHere->Wait(), 0) << fromHere->Err();
    auto missing = Run({"build", "--builder", "./no-such/builder", target});
    EXPECT_EQ(missing->Wait(), 127);
    const std::string reason = missing->Out() + missing->Err();
    EXPECT_EQ(reason.find("No such file or directory"), reason.rfind("No such file or directory")) << reason;
    EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;

    // A hostile file name, pasted back from the printed line, is only a name.
    const std::string hostile = WriteFile("\"$(touch pwned)\nx\".c", "");
    auto quoted = Run({"build", "--builder", ok, hostile});
    ASSERT_EQ(quoted->Wait(), 0) << quoted->Err();
    const std::string printed = quoted->Out().substr(0, quoted->Out().find('\n'));
    EXPECT_EQ(printed, "'" + ok + "' '" + m_strDir + "/\"$(touch pwned)'$'\\n''x\"'");

    // No builder set: nothing can be started.
    WriteSettings("[Settings]\nBuilder=\n");
    auto none = Run({"build", target});
    EXPECT_EQ(none->Wait(), 127);
    EXPECT_EQ(none->Err().rfind("qxprog build: Set Builder path in the option dialog first\n", 0), 0u) << none->Err();
    EXPECT_EQ(Run({"build"})->Wait(), EXIT_USAGE);

    // Interrupted: the builder's process group is ended and the result says so.
    const std::string slow = script("slow", "echo started\nexec sleep 300\n");
    auto interrupted = Run({"build", "--builder", slow, target}, true);
    EXPECT_EQ(interrupted->ReadLine(5s).rfind(slow + ' ', 0), 0u);
    EXPECT_EQ(interrupted->ReadLine(5s), "started");
    interrupted->Signal(SIGTERM);
    EXPECT_EQ(interrupted->Wait(), EXIT_INTERRUPTED);
    EXPECT_EQ(interrupted->ReadLine(5s), "Build stopped: 0 errors, 0 warnings");
}

TEST_F(QxprogTest, ProgramsTheSimulateCommand)
{
    const std::string image = m_strDir + "/image.bin";
    auto sim = Run({"simulate", "--image-out", image, "--split-markers", "--noise", "--program-cmd", "LOAD"}, true);
    const std::string path = sim->ReadLine(5s);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    const std::vector<std::uint8_t> data = Bytes(2000, 3);
    auto child = Run({"program", "--port", path, "--program-cmd", "LOAD",
        WriteFile("a.hex", EncodeIntelHex(data, 0x10000, 32, true))});
    EXPECT_EQ(child->Wait(), EXIT_PROGRAMMED) << child->Err();
    const std::string written = ReadFile(image);
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), data);
    sim->Signal(SIGINT);
    EXPECT_EQ(sim->Wait(), 0);
}

// The start of ports[k]'s row in the summary: the names are padded to the longest, and
// pseudo-terminal numbers may differ in digits.
std::string SummaryRow(const std::vector<std::string>& ports, std::size_t k, const std::string& text)
{
    std::size_t width = 0;
    for (const std::string& port : ports)
        width = std::max(width, port.size());
    return ports[k] + std::string(width - ports[k].size(), ' ') + "  " + text;
}

TEST_F(QxprogTest, SimulatesManyBoardsWithOneFaulty)
{
    const std::string image = m_strDir + "/image.bin";
    auto sim = Run({"simulate", "--boards", "4", "--fault-board", "3", "--error-at-record", "2", "--image-out", image},
        true);
    std::vector<std::string> args = {"program", WriteFile("a.hex", EncodeIntelHex(Bytes(3000, 7), 0x100, 32, true))};
    std::vector<std::string> ports;
    for (int k = 0; k < 4; ++k) {
        ports.push_back(sim->ReadLine(5s));
        ASSERT_EQ(ports.back().rfind("/dev/pts/", 0), 0u) << ports.back();
        args.insert(args.end(), {"--port", ports.back()});
    }
    auto child = Run(args);
    EXPECT_EQ(child->Wait(), EXIT_BOARD_ERROR) << child->Err();
    EXPECT_NE(child->Err().find(SummaryRow(ports, 2, "FAILED (board-error, exit status 7)")), std::string::npos)
        << child->Err();
    for (int k = 1; k <= 4; ++k) {
        const std::string written = ReadFile(image + "." + std::to_string(k));
        EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()),
            k == 3 ? std::vector<std::uint8_t>() : Bytes(3000, 7))
            << k;
    }
    sim->Signal(SIGINT);
    EXPECT_EQ(sim->Wait(), 0);
}

TEST_F(QxprogTest, ProgressBarOnATerminal)
{
    CBoardSimulator& board = Board();
    int status = -1;
    const std::string err = RunOnATerminal(
        {"program", "--port", board.SlavePath(), WriteFile("a.hex", EncodeIntelHex(Bytes(3000, 3), 0))}, status);
    EXPECT_EQ(status, EXIT_PROGRAMMED);
    EXPECT_NE(err.find("] 0%"), std::string::npos) << err;
    EXPECT_NE(err.find("] 100%"), std::string::npos) << err;
    // The file's name, bytes sent of total and the time follow the bar.
    const std::string total = std::to_string(EncodeIntelHex(Bytes(3000), 0).size());
    EXPECT_NE(err.find("] 0% a.hex: 0 of " + total + " bytes, "), std::string::npos) << err;
    EXPECT_NE(err.find("] 100% a.hex: " + total + " of " + total + " bytes, "), std::string::npos) << err;
    // The summary after the final message.
    EXPECT_NE(err.find(m_strDir + "/a.hex: " + total + " bytes, addresses 0000-0BB7, "), std::string::npos) << err;
    // The bar's line is cleared before the final message.
    EXPECT_NE(err.find("\r\033[KProgramming has been completed!"), std::string::npos) << err;
    // Redrawn per percent, not per byte.
    EXPECT_LT(std::count(err.begin(), err.end(), '%'), 110);
}

// One board's part of the --json object: its name, identity and result.
std::string JsonPort(const std::string& port, const std::string& identity, const std::string& result)
{
    return "{\"name\":\"" + port + "\",\"identity\":" + identity + ",\"result\":\"" + result + "\"";
}

// Four boards at once, the third one failing in each way a board fails: the others are
// programmed byte-exact, the exit status and the JSON name the failing one.
TEST_F(QxprogTest, ManyBoardsAtOnceAndTheFirstFailureDecides)
{
    WriteSettings("[Settings]\nBaud=115200\n");
    const std::vector<std::uint8_t> data = Bytes(20000, 5);
    const std::string text = EncodeIntelHex(data, 0);
    const std::string file = WriteFile("a.hex", text);
    struct Case {
        const char* result;
        CBoardSimOptions fault;
        int status;
        const char* reason;
    };
    CBoardSimOptions plain, silentLoad, errorAt, hangup, silentEnd;
    silentLoad.m_bSilentLoad = true;
    errorAt.m_monitor.m_nErrorAtRecord = 3;
    hangup.m_nHangupAfter = 100;
    silentEnd.m_bSilentCompletion = true;
    const std::vector<Case> cases = {
        {"completed", plain, EXIT_PROGRAMMED, ""},
        {"no-load-answer", silentLoad, EXIT_NO_LOAD_ANSWER, "The target board does not respond to the LOAD command."},
        {"board-error", errorAt, EXIT_BOARD_ERROR, "An error occured while programming."},
        {"port-write", hangup, EXIT_PORT_WRITE, "Port write error! @PORT@: Input/output error"},
        {"no-completed", silentEnd, EXIT_NO_COMPLETED, "The target board does not send COMPLETED message."},
    };
    struct Run_ {
        std::vector<CBoardSimulator*> boards;
        std::vector<std::string> ports;
        std::unique_ptr<CChild> child;
    };
    std::vector<Run_> runs;
    for (std::size_t c = 0; c < cases.size(); ++c) {
        Run_ run;
        std::vector<std::string> args = {"program", file, "--json"};
        // The boards of the first case are named through by-id links and found by a glob.
        const std::string byId = m_dir.Folder("by-id" + std::to_string(c) + "/by-id");
        for (int b = 0; b < 4; ++b) {
            run.boards.push_back(&Board(b == 2 ? cases[c].fault : plain));
            run.ports.push_back(run.boards.back()->SlavePath());
            if (c == 0) {
                run.ports.back() = byId + "/usb-Quillorex_Board_" + std::to_string(b);
                ASSERT_EQ(::symlink(run.boards.back()->SlavePath().c_str(), run.ports.back().c_str()), 0);
            } else {
                args.insert(args.end(), {"--port", run.ports.back()});
            }
        }
        if (c == 0)
            args.insert(args.end(), {"--port", byId + "/usb-Quillorex_Board_*"});
        run.child = Run(args);
        runs.push_back(std::move(run));
    }
    for (std::size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(cases[c].result);
        Run_& run = runs[c];
        // Twenty boards at once: a sanitizer build takes several times the usual ten seconds.
        ASSERT_EQ(run.child->Wait(90s), cases[c].status) << run.child->Err();
        const std::string out = LossAsWriteError(run.child->Out());
        EXPECT_EQ(out.rfind("{\"file\":{\"name\":\"" + file + "\",\"size\":" + std::to_string(text.size())
                      + ",\"sha256\":\"" + CGangTable::Sha256(text) + "\"},\"status\":" + std::to_string(cases[c].status)
                      + ",\"ports\":[",
                      0),
            0u)
            << out;
        std::string reason = cases[c].reason;
        if (std::size_t at = reason.find("@PORT@"); at != std::string::npos)
            reason.replace(at, 6, run.ports[2]);
        for (int b = 0; b < 4; ++b) {
            const bool failing = b == 2 && cases[c].status != EXIT_PROGRAMMED;
            const std::string identity = c == 0 ? "\"usb-Quillorex_Board_" + std::to_string(b) + "\"" : "null";
            EXPECT_NE(out.find(JsonPort(run.ports[b], identity, failing ? cases[c].result : "completed")),
                std::string::npos)
                << out;
            if (!failing) {
                EXPECT_EQ(run.boards[b]->Image(), data) << b;
            }
        }
        // Not a terminal: a line per event, then the summary naming the failed board and why.
        const std::string err = LossAsWriteError(run.child->Err());
        EXPECT_NE(err.find(run.ports[0] + ": started\n"), std::string::npos) << err;
        if (cases[c].status == EXIT_PROGRAMMED) {
            EXPECT_NE(err.find("Programmed 4 of 4 boards\n"), std::string::npos) << err;
        } else {
            EXPECT_NE(out.find("\"reason\":\"" + reason + "\""), std::string::npos) << out;
            EXPECT_NE(err.find(run.ports[2] + ": failed (" + cases[c].result + "): " + reason + "\n"),
                std::string::npos)
                << err;
            EXPECT_NE(err.find("Programmed 3 of 4 boards\n"), std::string::npos) << err;
            EXPECT_NE(err.find(SummaryRow(run.ports, 2, "FAILED (") + cases[c].result + ", exit status "
                          + std::to_string(cases[c].status) + "): " + reason + "\n"),
                std::string::npos)
                << err;
        }
    }
}

// Four boards behind one ser2net and a local one, programmed at once; the doctor through the
// same server, and the names a remote port must have.
TEST_F(QxprogTest, BoardsBehindSer2netProgramWithLocalOnesAndTheDoctorReachesThem)
{
    if (!CSer2netServer::Available())
        GTEST_SKIP() << "ser2net is not installed (scripts/setup installs it)";
    WriteSettings("[Settings]\nBaud=115200\n");
    const std::vector<std::uint8_t> data = Bytes(8000, 3);
    const std::string file = WriteFile("a.hex", EncodeIntelHex(data, 0));
    std::vector<std::string> paths;
    for (int b = 0; b < 4; ++b)
        paths.push_back(Board().SlavePath());
    CSer2netServer server(paths);
    ASSERT_EQ(server.Error(), "");
    std::vector<std::string> args = {"program", file};
    for (int b = 0; b < 4; ++b)
        args.insert(args.end(), {"--port", server.Url(static_cast<std::size_t>(b))});
    args.insert(args.end(), {"--port", Board().SlavePath()});
    auto child = Run(args);
    ASSERT_EQ(child->Wait(60s), EXIT_PROGRAMMED) << child->Err();
    for (const auto& board : m_boards)
        EXPECT_EQ(board->Image(), data);
    EXPECT_NE(child->Err().find("Programmed 5 of 5 boards"), std::string::npos) << child->Err();

    auto doctor = Run({"doctor", server.Url()});
    EXPECT_EQ(doctor->Wait(), 0) << doctor->Out();
    EXPECT_NE(doctor->Out().find("[ok] Connected and RFC 2217 negotiated in "), std::string::npos) << doctor->Out();
    EXPECT_NE(doctor->Out().find(" ms: BINARY both ways, SUPPRESS-GO-AHEAD both ways, COM-PORT-OPTION.\n"), std::string::npos)
        << doctor->Out();
    EXPECT_NE(doctor->Out().find("[ok] The server acknowledged 115200 8N1 None in "), std::string::npos) << doctor->Out();

    server.Kill();
    auto refused = Run({"doctor", server.Url()});
    EXPECT_EQ(refused->Wait(), 2) << refused->Out();
    EXPECT_NE(refused->Out().find("[!!] It cannot be used: Connection refused"), std::string::npos) << refused->Out();
    EXPECT_NE(refused->Out().find("is ser2net running there, with a connection whose accepter is telnet(rfc2217),tcp,"
                  + std::to_string(server.Port()) + "?"),
        std::string::npos)
        << refused->Out();

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"program", file, "--port", "rfc2217://host"},
             std::vector<std::string>{"program", file, "--port", "/dev/null", "--port", "socket://[::1]"}}) {
        auto usage = Run(bad);
        EXPECT_EQ(usage->Wait(), EXIT_USAGE) << usage->Err();
        EXPECT_NE(usage->Err().find("a remote port is named rfc2217://HOST:PORT or socket://HOST:PORT"), std::string::npos)
            << usage->Err();
    }
}

TEST_F(QxprogTest, InterruptingManyBoardsRestoresEveryPort)
{
    // Far more than a paced board takes before every board has started (under a sanitizer too).
    const std::string hex = EncodeIntelHex(Bytes(80000, 3), 0);
    const std::string file = WriteFile("big.hex", hex);
    std::vector<std::string> args = {"program", "--baud", "115200", file, "--json"};
    std::vector<CBoardSimulator*> boards;
    std::vector<termios> before;
    for (int b = 0; b < 4; ++b) {
        CBoardSimOptions paced;
        paced.m_line.m_nBaud = 115200;
        boards.push_back(&Board(paced));
        before.push_back(LineOf(boards.back()->SlavePath()));
        args.insert(args.end(), {"--port", boards.back()->SlavePath()});
    }
    auto child = Run(args);
    for (CBoardSimulator* board : boards)
        ASSERT_TRUE(board->WaitForBytes(2000, 30s));
    child->Signal(SIGINT);
    EXPECT_EQ(child->Wait(), EXIT_INTERRUPTED);
    const std::string out = child->Out();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    for (std::size_t b = 0; b < boards.size(); ++b) {
        SCOPED_TRACE(b);
        EXPECT_NE(out.find(JsonPort(boards[b]->SlavePath(), "null", "interrupted")), std::string::npos) << out;
        EXPECT_LT(boards[b]->ReceivedBytes(), hex.size());
        const termios after = LineOf(boards[b]->SlavePath());
        EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before[b]));
        EXPECT_EQ(after.c_lflag, before[b].c_lflag);
        EXPECT_EQ(after.c_iflag, before[b].c_iflag);
    }
}

// The production loop over by-id names: a board is programmed when its name appears, again only
// after it has gone, and Ctrl+C ends the loop with the totals.
TEST_F(QxprogTest, LoopProgramsEachBoardThatAppears)
{
    const std::vector<std::uint8_t> data = Bytes(2000, 9);
    const std::string file = WriteFile("a.hex", EncodeIntelHex(data, 0));
    const std::string byId = m_dir.Folder("serial/by-id");
    CBoardSimOptions silent;
    silent.m_bSilentLoad = true;
    CBoardSimulator& good = Board();
    CBoardSimulator& bad = Board(silent);
    const std::string goodName = byId + "/usb-Quillorex_A";
    const std::string badName = byId + "/usb-Quillorex_B";
    auto child = Run({"program", file, "--loop", "--json", "--port", byId + "/usb-Quillorex_*"}, true);
    struct Step {
        const std::string* add;
        CBoardSimulator* board;
        const std::string* remove;
        std::string line;
    };
    const std::vector<Step> steps = {
        {&goodName, &good, nullptr, JsonPort(goodName, "\"usb-Quillorex_A\"", "completed")},
        // The scan that finds the new board has seen the old one gone.
        {&badName, &bad, &goodName, JsonPort(badName, "\"usb-Quillorex_B\"", "no-load-answer")},
        // Gone and back: programmed again.
        {&goodName, &good, &badName, JsonPort(goodName, "\"usb-Quillorex_A\"", "completed")},
    };
    for (const Step& step : steps) {
        if (step.remove) {
            ASSERT_EQ(::unlink(step.remove->c_str()), 0);
        }
        if (step.add) {
            ASSERT_EQ(::symlink(step.board->SlavePath().c_str(), step.add->c_str()), 0);
        }
        EXPECT_EQ(child->ReadLine(10s).rfind(step.line, 0), 0u) << step.line;
    }
    EXPECT_EQ(good.CompletedDownloads(), 2u);
    EXPECT_EQ(good.Image(), data);
    child->Signal(SIGINT);
    EXPECT_EQ(child->Wait(), EXIT_INTERRUPTED);
    EXPECT_EQ(child->ReadLine(1s), "");
    const std::string err = child->Err();
    EXPECT_NE(err.find(badName + ": no-load-answer; passes 1, failures 1\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Passes 2, failures 1\n"), std::string::npos) << err;
}

// A board whose port another program holds is tried again until it opens, and the failed opens
// count neither as passes nor as failures.
TEST_F(QxprogTest, LoopRetriesAPortHeldByAnotherProgram)
{
    const std::vector<std::uint8_t> data = Bytes(500, 5);
    const std::string file = WriteFile("a.hex", EncodeIntelHex(data, 0));
    CBoardSimulator& board = Board();
    auto holder = std::make_unique<CSerialPort>();
    ASSERT_FALSE(holder->Open(board.SlavePath(), 0, 0, true));
    int errPipe[2];
    ASSERT_EQ(::pipe2(errPipe, O_CLOEXEC), 0);
    auto child = Run({"program", file, "--loop", "--json", "--port", board.SlavePath()}, true, errPipe[1]);
    ::close(errPipe[1]);
    // Standard error line by line, up to the one holding text.
    std::string err;
    auto waitFor = [&](const std::string& text) {
        char buffer[512];
        pollfd p{errPipe[0], POLLIN, 0};
        for (ssize_t n = 0; err.find(text) == std::string::npos && ::poll(&p, 1, 10000) > 0
             && (n = ::read(errPipe[0], buffer, sizeof buffer)) > 0;)
            err.append(buffer, static_cast<std::size_t>(n));
        return err.find(text) != std::string::npos;
    };
    EXPECT_TRUE(waitFor(board.SlavePath() + ": port-open; trying again every 2 s\n")) << err;
    holder.reset();
    EXPECT_EQ(child->ReadLine(10s).rfind(JsonPort(board.SlavePath(), "null", "completed"), 0), 0u);
    EXPECT_TRUE(waitFor(board.SlavePath() + ": completed; passes 1, failures 0\n")) << err;
    EXPECT_EQ(board.Image(), data);
    child->Signal(SIGINT);
    EXPECT_EQ(child->Wait(), EXIT_INTERRUPTED);
    EXPECT_TRUE(waitFor("Passes 1, failures 0\n")) << err;
    // Said once, however often it was tried.
    EXPECT_EQ(err.find("trying again"), err.rfind("trying again")) << err;
    ::close(errPipe[0]);
}

TEST_F(QxprogTest, ManyBoardsDrawATableOnATerminal)
{
    std::vector<std::string> args = {"program", WriteFile("a.hex", EncodeIntelHex(Bytes(30000, 3), 0)), "--baud", "460800"};
    for (int b = 0; b < 2; ++b) {
        CBoardSimOptions paced;
        paced.m_line.m_nBaud = 460800;
        args.insert(args.end(), {"--port", Board(paced).SlavePath()});
    }
    int status = -1;
    const std::string err = RunOnATerminal(args, status);
    EXPECT_EQ(status, EXIT_PROGRAMMED);
    // Redrawn in place: the cursor goes up over the three lines of the last table.
    EXPECT_NE(err.find("\033[3A\r\033[J"), std::string::npos) << err;
    EXPECT_NE(err.find("  BYTES/S  STATE"), std::string::npos) << err;
    EXPECT_NE(err.find("sending"), std::string::npos) << err;
    // The rows follow the boards between the first and the last byte, not only at the ends.
    const std::regex between(R"(\s([1-9]|[1-9][0-9])%\s+[0-9]+\s+sending)");
    EXPECT_TRUE(std::regex_search(err, between)) << err;
    EXPECT_NE(err.find("Programmed 2 of 2 boards"), std::string::npos) << err;
    // No event lines: the table shows the events.
    EXPECT_EQ(err.find(": started"), std::string::npos) << err;
}

// Lines of a text file, without their line ends.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Two boards, the second silent on its first download command: each gets the file with its own
// serial number at 0x7FF0, the counter file holds the next number, and the log has a record
// per board and attempt.
TEST_F(QxprogTest, SerialNumbersLogAndRetriesOnTwoBoards)
{
    const std::vector<std::uint8_t> data = Bytes(0x200, 1);
    const std::string text = EncodeIntelHex(data, 0x7F00);
    const std::string file = WriteFile("a.hex", text);
    CBoardSimOptions retry;
    retry.m_nSilentLoads = 1;
    CBoardSimulator& first = Board();
    CBoardSimulator& second = Board(retry);
    const std::string next = m_strDir + "/next.txt";
    const std::string log = m_strDir + "/units.csv";
    auto child = Run({"program", file, "--port", first.SlavePath(), "--port", second.SlavePath(), "--serial",
        "0x7FF0:le32:1000", "--serial-file", next, "--log", log, "--retries", "1", "--station", "bench, 1", "--json"});
    ASSERT_EQ(child->Wait(30s), EXIT_PROGRAMMED) << child->Err();
    std::map<std::uint32_t, std::string> serialOf;
    for (CBoardSimulator* board : {&first, &second}) {
        const std::vector<std::uint8_t> image = board->Image();
        ASSERT_EQ(image.size(), data.size());
        const std::size_t at = 0x7FF0 - 0x7F00;
        const std::uint32_t number = static_cast<std::uint32_t>(image[at] | image[at + 1] << 8 | image[at + 2] << 16 | image[at + 3] << 24);
        std::vector<std::uint8_t> expected = data;
        for (std::size_t i = 0; i < 4; ++i)
            expected[at + i] = static_cast<std::uint8_t>(number >> (8 * i));
        EXPECT_EQ(image, expected);
        serialOf[number] = board->SlavePath();
    }
    ASSERT_EQ(serialOf.size(), 2u);
    EXPECT_EQ(serialOf.begin()->first, 1000u);
    EXPECT_EQ(serialOf.rbegin()->first, 1001u);
    EXPECT_EQ(ReadFile(next), "1002\n");
    EXPECT_EQ(second.CompletedDownloads(), 1u);

    // The header, then a record per attempt: the second board's first one failed.
    const std::vector<std::string> lines = Lines(ReadFile(log));
    ASSERT_EQ(lines.size(), 4u) << ReadFile(log);
    EXPECT_EQ(lines[0], "time,station,port,identity,file,sha256,serial,attempt,result,reason,bytes,seconds");
    const std::string sha = CGangTable::Sha256(text);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z,.*)"))) << lines[i];
    auto expect = [&](const std::string& port, int attempt, const std::string& tail) {
        const std::uint32_t serial = serialOf.begin()->second == port ? 1000 : 1001;
        const std::string record = "Z,\"bench, 1\"," + port + ",," + file + "," + sha + "," + std::to_string(serial) + ","
            + std::to_string(attempt) + "," + tail;
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(record) == 23; }), 1)
            << record;
    };
    expect(first.SlavePath(), 1, "completed,Programming has been completed!,");
    expect(second.SlavePath(), 1, "no-load-answer,The target board does not respond to the LOAD command.,0,");
    expect(second.SlavePath(), 2, "completed,Programming has been completed!,");

    const std::string out = child->Out();
    EXPECT_NE(out.find("\"serial\":\"1000\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"attempts\":[{\"attempt\":1,\"result\":\"no-load-answer\""), std::string::npos) << out;
    const std::string err = child->Err();
    EXPECT_NE(err.find(second.SlavePath() + ": attempt 1 failed (no-load-answer)"), std::string::npos) << err;
    EXPECT_NE(err.find("; 2 attempts\n"), std::string::npos) << err;
    EXPECT_NE(err.find("; serial 1000"), std::string::npos) << err;
}

// What is refused before a byte is sent: a serial number's address the file does not hold, a
// log or counter file that cannot be written, a reset sequence on a port without modem lines,
// and wrong usage.
TEST_F(QxprogTest, ProductionOptionsRefusedBeforeAnythingIsSent)
{
    const std::string file = WriteFile("a.hex", EncodeIntelHex(Bytes(0x100, 1), 0x7F00));
    const std::string bin = WriteFile("a.bin", "\x01\x02\x03\x04");
    m_dir.Folder("folder.txt");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{file, "--serial", "0x7FFE:le32:1"}, EXIT_BAD_HEX_FILE,
            "the serial number's address 0x8000 is not in the file's data records (4 bytes from 0x7FFE are needed); "
            "nothing was sent."},
        {{bin, "--serial", "0:le16:1"}, EXIT_BAD_HEX_FILE, "a serial number needs an Intel HEX file"},
        {{file, "--log", "/dev/full"}, EXIT_RECORD_WRITE,
            "cannot write the log /dev/full: No space left on device; nothing was sent."},
        {{file, "--log", m_strDir + "/no/units.csv"}, EXIT_RECORD_WRITE,
            "cannot write the log " + m_strDir + "/no/units.csv: No such file or directory"},
        {{file, "--serial", "0x7F00:le16:1", "--serial-file", m_strDir + "/folder.txt"}, EXIT_RECORD_WRITE,
            "cannot read the serial-number file " + m_strDir + "/folder.txt: Is a directory"},
        {{file, "--serial", "0x7F00:le16:1", "--serial-file", WriteFile("bad.txt", "12a\n")}, EXIT_RECORD_WRITE,
            "does not hold a number ('12a')"},
        {{file, "--serial", "0x7F00:le17:1"}, EXIT_USAGE, "the format 'le17' is none of"},
        {{file, "--serial-file", "next.txt"}, EXIT_USAGE, "--serial-file and --serial-on-failure need --serial"},
        {{file, "--retries", "x"}, EXIT_USAGE, "--retries takes a number"},
        {{file, "--reset", "dtr,-dtr"}, EXIT_PORT_RESET, "Port reset error! The port cannot drive the modem lines"},
        {{file, "--reset", "dtr,cts"}, EXIT_USAGE, "--reset: 'cts' names no line"},
        {{file, "--serial", "0x7F00:le16:1", "--serial-on-failure", "keep"}, EXIT_USAGE, "--serial-on-failure takes skip"},
    };
    for (const Case& c : cases) {
        CBoardSimulator& board = Board();
        std::vector<std::string> args = {"program", "--port", board.SlavePath()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto child = Run(args);
        EXPECT_EQ(child->Wait(), c.status) << c.message << "\n" << child->Err();
        EXPECT_NE(child->Err().find(c.message), std::string::npos) << child->Err();
        EXPECT_EQ(board.ReceivedBytes(), 0u) << c.message;
    }
}

// The loop looks at the file before each board: a rebuilt file goes to the next board (a line
// gives its SHA-256), a file that now fails the check ends the loop and no board gets it.
TEST_F(QxprogTest, LoopReadsAChangedFileAgainAndStopsOnABadOne)
{
    const std::vector<std::uint8_t> before = Bytes(1000, 9);
    const std::vector<std::uint8_t> after = Bytes(1200, 40);
    const std::string file = WriteFile("a.hex", EncodeIntelHex(before, 0));
    const std::string byId = m_dir.Folder("serial/by-id");
    CBoardSimulator& a = Board();
    CBoardSimulator& b = Board();
    const std::string aName = byId + "/usb-Quillorex_A";
    const std::string bName = byId + "/usb-Quillorex_B";
    const std::string log = m_strDir + "/units.jsonl";
    auto child = Run({"program", file, "--loop", "--json", "--log", log, "--port", byId + "/usb-Quillorex_*"}, true);
    ASSERT_EQ(::symlink(a.SlavePath().c_str(), aName.c_str()), 0);
    EXPECT_NE(child->ReadLine(10s).find("\"sha256\":\"" + CGangTable::Sha256(EncodeIntelHex(before, 0)) + "\""),
        std::string::npos);
    EXPECT_EQ(a.Image(), before);
    // Rebuilt: the next board gets the new file.
    WriteFile("a.hex", EncodeIntelHex(after, 0));
    ASSERT_EQ(::unlink(aName.c_str()), 0);
    ASSERT_EQ(::symlink(b.SlavePath().c_str(), bName.c_str()), 0);
    const std::string newSha = CGangTable::Sha256(EncodeIntelHex(after, 0));
    EXPECT_NE(child->ReadLine(10s).find("\"sha256\":\"" + newSha + "\""), std::string::npos);
    EXPECT_EQ(b.Image(), after);
    // Broken: the loop ends with the check's message, and the board that came gets nothing.
    std::string broken = EncodeIntelHex(after, 0);
    broken[broken.find('\n') + 2] = 'G';
    WriteFile("a.hex", broken);
    ASSERT_EQ(::unlink(bName.c_str()), 0);
    ASSERT_EQ(::symlink(a.SlavePath().c_str(), aName.c_str()), 0);
    EXPECT_EQ(child->Wait(), EXIT_BAD_HEX_FILE);
    EXPECT_EQ(a.CompletedDownloads(), 1u);
    EXPECT_EQ(a.Image(), before);
    const std::string err = child->Err();
    EXPECT_NE(err.find(file + ": changed, read again; SHA-256 " + newSha + "\n"), std::string::npos) << err;
    EXPECT_NE(err.find("line 2: 'G' is not a hex digit"), std::string::npos) << err;
    // Two units, each logged with the file it got.
    const std::vector<std::string> lines = Lines(ReadFile(log));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("\"sha256\":\"" + newSha + "\""), std::string::npos) << lines[1];
}

struct IniCase {
    const char* text;
    const char* value;
};

TEST(IniSettingsFile, ValuesAsQSettingsWritesThem)
{
    const IniCase cases[] = {
        {"COM1", "COM1"},
        {"\"a, b\"", "a, b"},
        {"a, b", "a, b"},
        {"\"  padded \"", "  padded "},
        {"\"say \\\"hi\\\"\"", "say \"hi\""},
        {"C:\\\\tools\\\\x.exe", "C:\\tools\\x.exe"},
        {"tab\\there", "tab\there"},
        {"caf\\xe9", "caf\xc3\xa9"},
        {"@@home", "@home"},
        {"", ""},
    };
    for (const IniCase& c : cases)
        EXPECT_EQ(CIniSettingsFile::UnescapeValue(c.text), c.value) << c.text;
    EXPECT_EQ(CIniSettingsFile::UnescapeKey("FLCWidth%250"), "FLCWidth%0");
    EXPECT_EQ(CIniSettingsFile::UnescapeKey("a\\b"), "a/b");
}

TEST(IniSettingsFile, PathHonoursXdgConfigHome)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(CIniSettingsFile::DefaultPath(), "/tmp/xdg/Quillorex/Quillorex Programmer.conf");
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/root";
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(CIniSettingsFile::DefaultPath(), "/home/u/.config/Quillorex/Quillorex Programmer.conf");
    ::setenv("HOME", home.c_str(), 1);
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    CIniSettingsFile missing;
    EXPECT_TRUE(missing.Load("/tmp/no-such-dir/x.conf"));
    EXPECT_TRUE(missing.Group("Settings").empty());
}

} // namespace
