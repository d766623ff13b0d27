// The main window's figures: the time from the start of the process to the first shown window,
// the same with a list file of 100 000 paths, and the GUI thread's work to absorb 4 MiB and 64 MiB
// of board text arriving at full pseudo-terminal speed (MiB/s, GUI-thread CPU per MiB, the wait
// of a posted event and the longest single event meanwhile, the terminal's size and the
// resident memory afterwards). Run under a display (xvfb-run -a) for real painting; with
// --screenshot FILE it also saves a picture of the window in the middle of a simulated download.
// Prints its figures; asserts nothing.

#include "app/main_frame.h"
#include "base/commands.h"
#include "base/qt_settings_store.h"
#include "base/user_prompt.h"
#include "files/qx_prog_view.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"
#include "terminal/terminal_ctrl.h"
#include "serial/serial_wnd.h"
#include "sim/intel_hex.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace {
class CAutoPrompt : public IUserPrompt {
public:
    int ShowBox(const std::string& text, const std::string&, unsigned) override
    {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return kAnswerOk;
    }
};

// Seconds since the process started (the kernel's start time, 10 ms resolution).
double SecondsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t at = text.rfind(')');
    if (at == std::string::npos)
        return -1;
    // Fields after the command name; the start time is field 22 (the 20th after it).
    const char* p = text.c_str() + at + 2;
    unsigned long long start = 0;
    for (int field = 3; field <= 22; ++field) {
        if (field == 22)
            start = std::strtoull(p, nullptr, 10);
        p = std::strchr(p, ' ');
        if (!p)
            return -1;
        ++p;
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9 - double(start) / double(sysconf(_SC_CLK_TCK));
}

double ThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class CEventProbe : public QObject {
public:
    bool eventFilter(QObject*, QEvent*) override
    {
        if (m_last.isValid())
            m_worstMs = std::max(m_worstMs, m_last.nsecsElapsed() / 1e6);
        m_last.restart();
        return false;
    }
    QElapsedTimer m_last;
    double m_worstMs = 0;
};

class CPingEvent : public QEvent {
public:
    explicit CPingEvent(std::chrono::steady_clock::time_point sent) : QEvent(Type()), m_sent(sent) {}
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    std::chrono::steady_clock::time_point m_sent;
};

class CPingReceiver : public QObject {
public:
    void customEvent(QEvent* event) override
    {
        if (event->type() != CPingEvent::Type())
            return;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                                    static_cast<CPingEvent*>(event)->m_sent)
                              .count();
        m_worstMs = std::max(m_worstMs, ms);
        m_totalMs += ms;
        ++m_count;
    }
    double m_worstMs = 0;
    double m_totalMs = 0;
    int m_count = 0;
};

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    // A running event loop, checked every 5 ms, as the program's own loop runs.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(5);
    if (!done())
        loop.exec();
    return done();
}

std::string MakeHex(std::size_t bytes)
{
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<std::uint8_t>(i * 31);
    return EncodeIntelHex(data, 0);
}

// The board's last complete line in the terminal.
bool LastLineIs(const CTerminalCtrl& terminal, std::string_view text)
{
    const CLineStore& lines = terminal.Lines();
    return lines.LineCount() >= 2 && lines.Line(lines.LineCount() - 2) == text;
}

// MiB of board text (82-byte lines) written to the far end of a pseudo-terminal as fast as it
// takes it, through the real path (port, listener, parser, terminal) into a 1024x768 window.
// rules: how many highlight rules the terminal paints with (-1: the defaults).
void AbsorbBench(QTemporaryDir& dir, std::size_t mebibytes, int scrollback = CTerminalCtrl::kMaxLines, int rules = -1)
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::printf("absorb: no pseudo-terminal\n");
        return;
    }
    termios tio{};
    ::tcgetattr(master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master, TCSANOW, &tio);
    const std::string slave = ::ptsname(master);

    CQtSettingsStore store;
    store.WriteString("Port", slave);
    store.WriteInt("TerminalScrollback", scrollback);
    if (rules >= 0) {
        // Whole lines and matches, some matching every line of the flood, as a busy log might.
        const char* const kinds[] = {"line\t#8b0000\terror|fail", "line\t#a52a2a\twarn", "match\t#0000ff\t[0-9A-F]{8}",
                                     "match\t#008000\t^:", "line\t#808080\tdebug.*trace"};
        store.WriteInt("TerminalHighlightCount", rules);
        for (int i = 0; i < rules; ++i)
            store.WriteString("TerminalHighlight" + std::to_string(i + 1), kinds[i % 5]);
        std::printf("absorb with %d highlight rules:\n", rules);
    } else {
        store.Settings().remove(QStringLiteral("Settings/TerminalHighlightCount"));
    }
    QDir::setCurrent(dir.path());
    CToolSettings tools;
    tools.LoadToolSettings(store);
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    CAutoPrompt prompt;
    CMainFrame frame(store, tools, commands, prompt, {});
    frame.Create();
    frame.ActivateFrame();
    frame.resize(1024, 768);
    WaitUntil([&] { return frame.windowHandle() && frame.windowHandle()->isExposed(); }, 5000);
    CTerminalCtrl& terminal = frame.Terminal();

    // The lines are made as they are written, so the flood itself takes no memory to speak of.
    const std::size_t total = mebibytes * 1024 * 1024;
    const std::string end = "\r\n#END#\r\n";
    auto makeLine = [](int line, char* row, std::size_t size) {
        // 80 characters and CR LF.
        return std::size_t(std::snprintf(
            row, size, "quilLOREX> dump %08d: 0123456789abcdef 0123456789abcdef 0123456789abcdef 012\r\n", line));
    };

    // Responsiveness, two ways: the longest stretch the GUI thread spends on one event (an event
    // filter sees every event start), and how long an event posted from another thread every
    // 10 ms waits before it is handled (the wait of the queue that paint requests share). Qt
    // runs its timers at idle priority while posted events wait, so a timer would only show
    // that the queue was never empty.
    CEventProbe probe;
    qApp->installEventFilter(&probe);
    CPingReceiver ping;
    std::atomic<bool> pinging{true};
    std::atomic<int> posted{0};
    std::thread pinger([&] {
        while (pinging) {
            ++posted;
            QCoreApplication::postEvent(&ping, new CPingEvent(std::chrono::steady_clock::now()));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const long rssBefore = ResidentKiB();
    const int paintsBefore = terminal.PaintCount();
    const double cpuBefore = ThreadCpuSeconds();
    const double processBefore = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    std::thread writer([&] {
        std::string chunk;
        std::size_t sent = 0;
        int line = 0;
        while (sent < total) {
            chunk.clear();
            char row[96];
            while (chunk.size() < 4096 && sent + chunk.size() < total - end.size())
                chunk.append(row, makeLine(line++, row, sizeof row));
            if (sent + chunk.size() >= total - end.size()) {
                chunk.resize(total - end.size() - sent);
                chunk += end;
            }
            for (std::size_t at = 0; at < chunk.size();) {
                ssize_t n = ::write(master, chunk.data() + at, chunk.size() - at);
                if (n <= 0)
                    return;
                at += std::size_t(n);
            }
            sent += chunk.size();
        }
    });
    const bool done = WaitUntil([&] { return LastLineIs(terminal, "#END#"); }, 600000);
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    const double process = ProcessCpuSeconds() - processBefore;
    qApp->removeEventFilter(&probe);
    pinging = false;
    pinger.join();
    writer.join();
    const double mib = double(mebibytes);
    std::printf("absorb %zu MiB (scrollback %d): %s in %.3f s wall (%.1f MiB/s), GUI thread CPU %.3f s (%.4f s per MiB), "
                "%d paints; the whole process (with the writer and the listener) %.3f s CPU\n",
                mebibytes, scrollback, done ? "shown" : "NOT shown", seconds, mib / seconds, cpu, cpu / mib,
                terminal.PaintCount() - paintsBefore, process);
    std::printf("  responsiveness: posted ping waited %.1f ms at worst, %.1f ms on average (%d of %d pings); "
                "longest single event %.1f ms\n",
                ping.m_worstMs, ping.m_count ? ping.m_totalMs / ping.m_count : 0.0, ping.m_count, posted.load(),
                probe.m_worstMs);
    std::printf("  terminal afterwards: %zu lines kept (scrollback %d), %zu KiB of line arena; resident memory %ld MiB "
                "(%+ld MiB during the flood)\n",
                terminal.Lines().LineCount(), terminal.Scrollback(), terminal.Lines().ArenaBytes() / 1024,
                ResidentKiB() / 1024, (ResidentKiB() - rssBefore) / 1024);
    frame.close();
    ::close(master);
}

void Screenshot(QTemporaryDir& dir, const QString& path)
{
    CQtSettingsStore store;
    QDir::setCurrent(dir.path());
    CToolSettings tools;
    tools.LoadToolSettings(store);
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    CAutoPrompt prompt;
    CMainFrame frame(store, tools, commands, prompt, {QStringLiteral("--simulate")});
    frame.Create();
    frame.ActivateFrame();
    WaitUntil([&] { return frame.windowHandle() && frame.windowHandle()->isExposed(); }, 5000);
    const char* names[] = {"blinky.hex", "monitor_test.hex", "uart_echo.hex"};
    for (const char* name : names) {
        std::ofstream(dir.filePath(QString::fromLatin1(name)).toStdString()) << MakeHex(2048);
        frame.View().AddFile(dir.filePath(QString::fromLatin1(name)).toStdString());
    }
    frame.View().selectRow(0);
    // The board's prompt in the terminal, then a download caught half-way.
    const char cr = '\r';
    frame.Serial().Write(&cr, 1);
    WaitUntil([&] { return frame.Terminal().PlainText().contains(QLatin1String("quilLOREX>")); }, 3000);
    bool grabbed = false;
    QObject::connect(&frame, &CMainFrame::downloadProgress, [&](int pos, int, int upper, bool) {
        if (!grabbed && upper > 0 && pos >= upper * 45 / 100) {
            grabbed = true;
            frame.grab().save(path);
        }
    });
    frame.ExecuteCommand(cmd::ID_TOOLS_PROGRAM);
    WaitUntil([&] { return !frame.IsDownloadRunning(); }, 60000);
    std::printf("screenshot: %s\n", grabbed ? qPrintable(path) : "not taken");
    frame.close();
}
// A list file of 100 000 paths (existing files in 100 folders): the time from building the
// main window to its first shown frame, and the time to write the list back at the end.
void LongListBench(const QTemporaryDir& dir)
{
    constexpr int kFolders = 100;
    constexpr int kPerFolder = 1000;
    const std::string root = (dir.path() + QStringLiteral("/longlist")).toStdString();
    std::filesystem::create_directories(root);
    std::string list;
    for (int f = 0; f < kFolders; ++f) {
        const std::string folder = root + "/board" + std::to_string(f);
        std::filesystem::create_directory(folder);
        for (int i = 0; i < kPerFolder; ++i) {
            // Names out of order, so the list has to be sorted.
            const std::string path = folder + "/fw" + std::to_string((i * 7919) % kPerFolder) + ".hex";
            std::ofstream(path) << ":00000001FF\n";
            list += path + "\r\n";
        }
    }
    std::ofstream(root + "/lastfiles.lst", std::ios::binary) << list;

    CQtSettingsStore store;
    store.WriteString("Port", "/nonexistent/qx-bench-port");
    CToolSettings tools;
    tools.LoadToolSettings(store);
    tools.SetStartDir(root + "/");
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    CAutoPrompt prompt;
    QElapsedTimer shown;
    shown.start();
    CMainFrame frame(store, tools, commands, prompt, {});
    frame.Create();
    frame.ActivateFrame();
    WaitUntil([&] { return frame.windowHandle() && frame.windowHandle()->isExposed(); }, 60000);
    const qint64 shownMs = shown.elapsed();
    auto* view = frame.findChild<CQxProgView*>(QStringLiteral("FileList"));
    std::printf("first shown window with %d files in the list: %lld ms after building the window (%d rows)\n",
                kFolders * kPerFolder, static_cast<long long>(shownMs), view ? view->Files().Count() : -1);
    QElapsedTimer saved;
    saved.start();
    frame.close();
    std::printf("writing the list of %d files at close: %lld ms\n", kFolders * kPerFolder,
                static_cast<long long>(saved.elapsed()));
}
} // namespace

int main(int argc, char* argv[])
{
    // A settings folder of its own: the user's settings stay untouched.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    QTemporaryDir dir;

    QString screenshot;
    for (int i = 1; i + 1 < argc; ++i)
        if (QLatin1String(argv[i]) == QLatin1String("--screenshot"))
            screenshot = QString::fromLocal8Bit(argv[i + 1]);
    if (!screenshot.isEmpty()) {
        Screenshot(dir, screenshot);
        return 0;
    }

    {
        // A line to open, as on a real start.
        int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        CQtSettingsStore store;
        store.WriteString("Port", ::ptsname(master));
        CToolSettings tools;
        tools.LoadToolSettings(store);
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
        CAutoPrompt prompt;
        CMainFrame frame(store, tools, commands, prompt, {});
        frame.Create();
        frame.ActivateFrame();
        WaitUntil([&] { return frame.windowHandle() && frame.windowHandle()->isExposed(); }, 10000);
        std::printf("first shown window (%s): %lld ms after main, %.0f ms after the process started\n",
                    qPrintable(QGuiApplication::platformName()), static_cast<long long>(sinceMain.elapsed()),
                    SecondsSinceProcessStart() * 1000.0);
        frame.close();
        ::close(master);
    }
    LongListBench(dir);
    // Highlight rules are tested on the rows painted only: the two rates should be alike.
    AbsorbBench(dir, 16, CTerminalCtrl::kMaxLines, 0);
    AbsorbBench(dir, 16, CTerminalCtrl::kMaxLines, 5);
    AbsorbBench(dir, 4);
    AbsorbBench(dir, 64);
    // The largest scrollback: memory grows with what is kept, and stops there.
    AbsorbBench(dir, 64, 1000000);
    AbsorbBench(dir, 256, 1000000);
    return 0;
}
