#include "cli/gang_programmer.h"

#include "base/message_queue.h"
#include "cli/cli_commands.h"
#include "cli/last_line_terminal.h"
#include "cli/reason_prompt.h"
#include "port/com_port_probe.h"
#include "programming/program_image.h"
#include "programming/programming_session.h"
#include "programming/serial_numbers.h"

#include <cstdlib>

namespace {
struct CResultName {
    EDownloadResult m_eResult;
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
    {EDownloadResult::ResetFailed, EXIT_PORT_RESET, "port-reset"},
    {EDownloadResult::Stopped, EXIT_INTERRUPTED, "interrupted"},
};

} // namespace

CGangProgrammer::CGangProgrammer(
    const CPortSettings& settings, const CBoardCommands& commands, CGangOptions options, Observer observer)
    : m_settings(settings), m_commands(commands.Get()), m_options(std::move(options)), m_observer(std::move(observer))
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
    // A port programmed before, or tried before, takes its old slot again: a loop that retries
    // a busy port for hours keeps one slot per port.
    std::size_t index = 0;
    auto it = m_slots.begin();
    for (; it != m_slots.end() && !(it->m_bJoined && it->m_board.m_strPort == port); ++it)
        ++index;
    if (it == m_slots.end())
        it = m_slots.emplace(m_slots.end());
    CSlot& slot = *it;
    slot.m_board = CGangBoard();
    slot.m_bJoined = false;
    slot.m_board.m_strPort = port;
    slot.m_board.m_strIdentity = Identity(port);
    slot.m_board.m_strSha256 = m_strSha256;
    slot.m_pImage = m_pImage;
    slot.m_thread = std::thread([this, &slot] { Serve(slot); });
    return index;
}

void CGangProgrammer::SetImage(std::shared_ptr<const CProgramImage> image, std::string sha256)
{
    std::lock_guard lock(m_mutex);
    m_pImage = std::move(image);
    m_strSha256 = std::move(sha256);
}

std::string CGangProgrammer::Halted() const
{
    std::lock_guard lock(m_mutex);
    return m_strHalted;
}

void CGangProgrammer::Halt(const std::string& why)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_strHalted.empty())
            m_strHalted = why;
    }
    StopAll();
}

bool CGangProgrammer::Stopping() const
{
    std::lock_guard lock(m_mutex);
    return m_bStop;
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

bool CGangProgrammer::TakeSerial(CSlot& slot, std::uint64_t& number)
{
    std::string why;
    if (!m_options.m_pSerials->Take(number, why)) {
        Halt(why);
        return false;
    }
    auto patched = std::make_shared<CProgramImage>();
    if (!m_options.m_pSerials->Patch(*slot.m_pImage, number, *patched, why)) {
        // Checked before the first board: only a number that outgrew its format comes here.
        std::string ignored;
        m_options.m_pSerials->Give(number, false, ignored);
        Halt(why);
        return false;
    }
    const std::string text = m_options.m_pSerials->Text(number);
    Publish(slot, [&](CGangBoard& board) { board.m_strSerial = text; });
    std::lock_guard lock(m_mutex);
    slot.m_pImage = std::move(patched);
    return true;
}

void CGangProgrammer::Serve(CSlot& slot)
{
    // The job posts a step per percent: the board's thread wakes about a hundred times a download.
    CMessageQueue queue;
    CLastLineTerminal terminal;
    CReasonPrompt prompt;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto since = [](Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); };
    EDownloadResult result = EDownloadResult::Stopped;
    std::optional<std::uint64_t> serial;
    {
        CProgrammingSession session(terminal, m_commands, queue, prompt);
        session.PortSettings() = m_settings;
        session.PortSettings().SetPortName(slot.m_board.m_strPort);
        {
            std::lock_guard lock(m_mutex);
            slot.m_pSession = &session;
        }
        // The figures others see change at most this often.
        const auto kPublish = std::chrono::milliseconds(50);
        auto published = start;
        CSessionObserverFunction observer([&](const CSessionEvent& event) {
            if (std::holds_alternative<session_event::CBegin>(event)) {
                Publish(slot, [&](CGangBoard& board) {
                    board.m_eState = CGangBoard::EState::Sending;
                    board.m_nTotal = session.Count();
                });
                Notify(slot, EEvent::Started);
            } else if (std::holds_alternative<session_event::CStep>(event)) {
                const auto now = Clock::now();
                if (now - published < kPublish)
                    return;
                published = now;
                Publish(slot, [&](CGangBoard& board) {
                    board.m_nBytes = session.Job().BytesSent();
                    board.m_dBytesPerSecond = session.Progress().BytesPerSecond();
                    board.m_strLastText = terminal.LastText();
                });
            }
        });
        session.AddObserver(observer);
        std::uint64_t number = 0;
        if (m_options.m_pSerials && !Stopping() && TakeSerial(slot, number))
            serial = number;
        std::shared_ptr<const CProgramImage> image;
        {
            std::lock_guard lock(m_mutex);
            image = slot.m_pImage;
        }
        // The same board again while another attempt may help; the port stays open between them.
        for (unsigned attempt = 1;; ++attempt) {
            const auto attemptStart = Clock::now();
            prompt.Clear();
            if (attempt > 1)
                Publish(slot, [&](CGangBoard& board) {
                    board.m_nAttempt = attempt;
                    board.m_eState = CGangBoard::EState::Opening;
                    board.m_nBytes = 0;
                    board.m_nTotal = 0;
                });
            const bool stop = Stopping() || (m_options.m_pSerials && !serial);
            const bool started = !stop && session.StartDownload(image->m_strPath, image);
            if (started)
                session.RunJob(queue);
            result = started ? session.LastResult() : stop ? EDownloadResult::Stopped : EDownloadResult::OutOfMemory;
            CGangAttempt done{attempt, result, prompt.Reason(), started ? session.Job().BytesSent() : 0,
                since(attemptStart)};
            Publish(slot, [&](CGangBoard& board) {
                board.m_eResult = result;
                board.m_strReason = done.m_strReason;
                board.m_nBytes = done.m_nBytes;
                board.m_strLastText = terminal.LastText();
                board.m_attempts.push_back(done);
            });
            const bool again = !stop && Retryable(result) && attempt <= m_options.m_nRetries && !Stopping();
            // An attempt stopped before it began (Ctrl+C, a run stopped) is no unit's record.
            if (m_options.m_attemptEnded && started) {
                CGangBoard board;
                {
                    std::lock_guard lock(m_mutex);
                    board = slot.m_board;
                }
                if (const std::string why = m_options.m_attemptEnded(board); !why.empty()) {
                    Halt(why);
                    break;
                }
            }
            if (!again)
                break;
            Notify(slot, EEvent::Retrying);
        }
        session.RemoveObserver(observer);
        std::lock_guard lock(m_mutex);
        slot.m_pSession = nullptr;
    }
    // Counted as used once completed; otherwise back for the next board (unless skipped).
    if (serial) {
        std::string why;
        if (!m_options.m_pSerials->Give(*serial, result == EDownloadResult::Completed, why))
            Halt(why);
    }
    // The port is closed (and its settings restored) before the board counts as done.
    Publish(slot, [&](CGangBoard& board) {
        board.m_eResult = result;
        board.m_eState = result == EDownloadResult::Completed ? CGangBoard::EState::Completed : CGangBoard::EState::Failed;
        board.m_dSeconds = since(start);
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

std::optional<std::string> CGangProgrammer::Identity(const std::string& port, const std::string& devRoot)
{
    // Named from a by-id folder: that name is the identity, whether the device is there or not.
    const std::size_t slash = port.rfind('/');
    if (slash != std::string::npos && slash >= 5 && port.compare(slash - 5, 5, "by-id") == 0)
        return port.substr(slash + 1);
    const std::string stable = StableName(port, "by-id", devRoot);
    if (stable.empty())
        return std::nullopt;
    return stable.substr(stable.rfind('/') + 1);
}

bool CGangProgrammer::Retryable(EDownloadResult result)
{
    return result == EDownloadResult::NoLoadAnswer || result == EDownloadResult::BoardError
        || result == EDownloadResult::NoCompletedMessage || result == EDownloadResult::NoRunAnswer;
}

const char* CGangProgrammer::ResultWord(EDownloadResult result)
{
    for (const CResultName& name : kResults)
        if (name.m_eResult == result)
            return name.m_strWord;
    return "unknown";
}

int CGangProgrammer::ExitStatus(EDownloadResult result)
{
    for (const CResultName& name : kResults)
        if (name.m_eResult == result)
            return name.m_nStatus;
    return EXIT_USAGE;
}
