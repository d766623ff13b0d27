#include "cli/gang_programmer.h"

#include "cli/cli_commands.h"
#include "base/messages.h"
#include "programming/programming_session.h"
#include "programming/terminal_sink.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <deque>

namespace {
struct CResultName {
    EDownloadResult m_nResult;
    int m_nStatus;
    const char* m_strWord;
};

constexpr CResultName kResults[] = {
    {EDownloadResult::Completed, EXIT_PROGRAMMED, "completed"},
    {EDownloadResult::PortOpenFailed, EXIT_PORT_OPEN, "port-open"},
    {EDownloadResult::FileOpenFailed, EXIT_FILE_OPEN, "file-open"},
    {EDownloadResult::FileEmpty, EXIT_FILE_EMPTY, "file-empty"},
    {EDownloadResult::OutOfMemory, EXIT_NO_MEMORY, "no-memory"},
    {EDownloadResult::NoLoadAnswer, EXIT_NO_LOAD_ANSWER, "no-load-answer"},
    {EDownloadResult::BoardError, EXIT_BOARD_ERROR, "board-error"},
    {EDownloadResult::NoCompletedMessage, EXIT_NO_COMPLETED, "no-completed"},
    {EDownloadResult::NoRunAnswer, EXIT_NO_RUN_ANSWER, "no-run-answer"},
    {EDownloadResult::WriteFailed, EXIT_PORT_WRITE, "port-write"},
    {EDownloadResult::BadHexFile, EXIT_BAD_HEX_FILE, "bad-hex-file"},
    {EDownloadResult::Stopped, EXIT_INTERRUPTED, "interrupted"},
};

// A board's message queue. The job posts a step per byte; its taker is woken for every
// kStepBatch steps only (any other message wakes it at once), so that many boards at once cost
// a wake-up per batch instead of per byte. Holds at most a batch of steps more than the
// one-port queue.
class CBatchingQueue : public IMessageSink {
public:
    static constexpr std::size_t kStepBatch = 256;

    void Post(CPostedMessage message) override
    {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            wake = message.m_nMsg != WM_DOWNLOAD_STEP || ++m_nSteps % kStepBatch == 0;
            m_bWake = m_bWake || wake;
            m_queue.push_back(std::move(message));
        }
        if (wake)
            m_cv.notify_one();
    }
    // Everything posted so far; waits for a wake-up when nothing is (wait false: never waits).
    std::deque<CPostedMessage>& TakeAll(bool wait)
    {
        m_taken.clear();
        std::unique_lock lock(m_mutex);
        if (wait)
            m_cv.wait(lock, [this] { return m_bWake; });
        m_bWake = false;
        m_taken.swap(m_queue);
        return m_taken;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CPostedMessage> m_queue;
    std::deque<CPostedMessage> m_taken;
    std::size_t m_nSteps = 0;
    bool m_bWake = false;
};

// Keeps the board's last line instead of showing the text: many boards share one screen.
class CLastLineTerminal : public ITerminalSink {
public:
    void AppendTerminalText(std::string_view run) override
    {
        for (char c : run) {
            if (c == '\r' || c == '\n') {
                if (!m_strLine.empty())
                    m_strLast = std::move(m_strLine);
                m_strLine.clear();
            } else if (m_strLine.size() < kMaxLine) {
                m_strLine.push_back(c);
            }
        }
    }
    void DeleteLastChar() override
    {
        if (!m_strLine.empty())
            m_strLine.pop_back();
    }
    std::string LastText() const { return m_strLine.empty() ? m_strLast : m_strLine; }

private:
    static constexpr std::size_t kMaxLine = 256;
    std::string m_strLine;
    std::string m_strLast;
};

// Keeps the first box of the job (its outcome) as the board's reason.
class CReasonPrompt : public IUserPrompt {
public:
    int MessageBox(const std::string& text, const std::string&, unsigned type) override
    {
        std::lock_guard lock(m_mutex);
        if (m_strReason.empty())
            m_strReason = Reason(text);
        return (type & 0xF) == MB_YESNO ? IDYES : IDOK;
    }
    std::string Reason() const
    {
        std::lock_guard lock(m_mutex);
        return m_strReason;
    }
    // The first line, then the lines after a blank one (the system's detail), on one line.
    static std::string Reason(const std::string& text)
    {
        std::vector<std::string> lines(1);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r')
                continue;
            if (text[i] == '\n')
                lines.emplace_back();
            else
                lines.back().push_back(text[i]);
        }
        std::string reason = lines.front();
        std::size_t blank = 1;
        while (blank < lines.size() && !lines[blank].empty())
            ++blank;
        for (std::size_t i = blank + 1; i < lines.size(); ++i)
            if (!lines[i].empty())
                reason += " " + lines[i];
        return reason;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_strReason;
};
} // namespace

CGangProgrammer::CGangProgrammer(
    const CPortSettings& settings, const CBoardCommands& commands, std::string file, Observer observer)
    : m_settings(settings), m_commands(commands.Get()), m_strFile(std::move(file)), m_observer(std::move(observer))
{
    CBoardCommandValues values = m_commands.Get();
    values.m_bCheckHexFile = 0;
    m_commands.Set(values);
}

CGangProgrammer::~CGangProgrammer()
{
    StopAll();
    for (CSlot& slot : m_slots)
        if (slot.m_thread.joinable())
            slot.m_thread.join();
}

std::size_t CGangProgrammer::Add(const std::string& port)
{
    std::lock_guard lock(m_mutex);
    CSlot& slot = m_slots.emplace_back();
    slot.m_board.m_strPort = port;
    slot.m_board.m_strIdentity = Identity(port);
    slot.m_thread = std::thread([this, &slot] { Serve(slot); });
    return m_slots.size() - 1;
}

void CGangProgrammer::StopAll()
{
    std::lock_guard lock(m_mutex);
    m_bStop = true;
    for (CSlot& slot : m_slots)
        if (slot.m_pSession)
            slot.m_pSession->RequestStop();
    m_changed.notify_all();
}

std::vector<CGangBoard> CGangProgrammer::Snapshot() const
{
    std::lock_guard lock(m_mutex);
    std::vector<CGangBoard> boards;
    for (const CSlot& slot : m_slots)
        boards.push_back(slot.m_board);
    return boards;
}

bool CGangProgrammer::AllDone() const
{
    std::lock_guard lock(m_mutex);
    for (const CSlot& slot : m_slots)
        if (!slot.m_board.Done())
            return false;
    return true;
}

void CGangProgrammer::WaitForChange(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_until(lock, deadline);
}

void CGangProgrammer::Reap()
{
    std::vector<std::thread*> ended;
    {
        std::lock_guard lock(m_mutex);
        for (CSlot& slot : m_slots)
            if (slot.m_board.Done() && !slot.m_bJoined) {
                slot.m_bJoined = true;
                ended.push_back(&slot.m_thread);
            }
    }
    // Slots are never removed, so the threads stay where they are.
    for (std::thread* thread : ended)
        thread->join();
}

void CGangProgrammer::Publish(CSlot& slot, const std::function<void(CGangBoard&)>& change)
{
    {
        std::lock_guard lock(m_mutex);
        change(slot.m_board);
    }
    m_changed.notify_all();
}

void CGangProgrammer::Serve(CSlot& slot)
{
    CBatchingQueue queue;
    CLastLineTerminal terminal;
    CReasonPrompt prompt;
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    EDownloadResult result = EDownloadResult::OutOfMemory;
    {
        CProgrammingSession session(terminal, m_commands, queue, prompt);
        session.PortSettings() = m_settings;
        session.PortSettings().SetPort(slot.m_board.m_strPort);
        bool stop = false;
        {
            std::lock_guard lock(m_mutex);
            slot.m_pSession = &session;
            stop = m_bStop;
        }
        const bool started = !stop && session.StartDownload(m_strFile);
        // Redrawn at most this often; the job posts a step per byte.
        const auto kPublish = std::chrono::milliseconds(50);
        auto published = start;
        bool ended = !started;
        while (!ended) {
            for (const CPostedMessage& message : queue.TakeAll(true)) {
                const CProgrammingSession::EEvent event = session.HandleMessage(message);
                const auto now = std::chrono::steady_clock::now();
                if (event == CProgrammingSession::EEvent::Begin) {
                    Publish(slot, [&](CGangBoard& board) {
                        board.m_nState = CGangBoard::EState::Sending;
                        board.m_nTotal = session.Count();
                    });
                    Notify(slot, EEvent::Started);
                } else if (event == CProgrammingSession::EEvent::Step && now - published >= kPublish) {
                    published = now;
                    Publish(slot, [&](CGangBoard& board) {
                        board.m_nBytes = session.Job().BytesSent();
                        board.m_dBytesPerSecond = session.Progress().BytesPerSecond();
                        board.m_strLastText = terminal.LastText();
                    });
                } else if (event == CProgrammingSession::EEvent::End) {
                    ended = true;
                }
            }
        }
        if (started) {
            // What the board said up to the end, then how the job ended.
            for (const CPostedMessage& message : queue.TakeAll(false))
                session.HandleMessage(message);
            session.ShowResult();
            session.EndDownload();
        }
        result = started ? session.LastResult() : stop ? EDownloadResult::Stopped : EDownloadResult::OutOfMemory;
        const std::uint64_t bytes = started ? session.Job().BytesSent() : 0;
        std::lock_guard lock(m_mutex);
        slot.m_pSession = nullptr;
        slot.m_board.m_nBytes = bytes;
    }
    // The port is closed (and its settings restored) before the board counts as done.
    Publish(slot, [&](CGangBoard& board) {
        board.m_nResult = result;
        board.m_nState = result == EDownloadResult::Completed ? CGangBoard::EState::Completed : CGangBoard::EState::Failed;
        board.m_strReason = prompt.Reason();
        board.m_strLastText = terminal.LastText();
        board.m_dSeconds = seconds();
    });
    Notify(slot, EEvent::Ended);
}

void CGangProgrammer::Notify(CSlot& slot, EEvent event)
{
    CGangBoard board;
    {
        std::lock_guard lock(m_mutex);
        board = slot.m_board;
    }
    std::lock_guard lock(m_observerMutex);
    if (m_observer)
        m_observer(board, event);
}

std::optional<std::string> CGangProgrammer::Identity(const std::string& port, const std::string& byIdFolder)
{
    const std::size_t slash = port.rfind('/');
    if (slash != std::string::npos && slash >= 5 && port.compare(slash - 5, 5, "by-id") == 0)
        return port.substr(slash + 1);
    struct stat device {};
    if (::stat(port.c_str(), &device) != 0)
        return std::nullopt;
    DIR* dir = ::opendir(byIdFolder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> name;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat link {};
        if (entry->d_name[0] == '.' || ::stat((byIdFolder + "/" + entry->d_name).c_str(), &link) != 0)
            continue;
        if (link.st_dev == device.st_dev && link.st_ino == device.st_ino) {
            name = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return name;
}

const char* CGangProgrammer::ResultWord(EDownloadResult result)
{
    for (const CResultName& name : kResults)
        if (name.m_nResult == result)
            return name.m_strWord;
    return "unknown";
}

int CGangProgrammer::ExitStatus(EDownloadResult result)
{
    for (const CResultName& name : kResults)
        if (name.m_nResult == result)
            return name.m_nStatus;
    return EXIT_USAGE;
}
