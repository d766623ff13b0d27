#include "programming/download_job.h"

#include "app/message_sink.h"
#include "app/messages.h"
#include "app/system_error.h"
#include "app/user_prompt.h"
#include "files/tool_settings.h"
#include "programming/output_drain.h"
#include "serial/serial_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

namespace {
// A write waits at most this long plus the time a full driver queue takes to drain at the
// line's rate: longer only when the line does not move at all (handshake held off).
constexpr unsigned kWriteBaseMs = 1000;
constexpr unsigned kDriverQueueBytes = 4096;
constexpr int kFallbackBaud = 9600;

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

std::error_code LastSystemError()
{
    return {errno, std::system_category()};
}
} // namespace

CDownloadJob::CDownloadJob(CReceiveParser& parser, IDownloadHost& host, const CToolSettings& tools,
    IMessageSink& sink, IUserPrompt& prompt)
    : m_parser(parser), m_state(parser.State()), m_host(host), m_tools(tools), m_sink(sink),
      m_prompt(prompt)
{
}

CDownloadJob::~CDownloadJob()
{
    if (m_downloadThread.joinable()) {
        RequestStop();
        m_downloadThread.join();
    }
}

bool CDownloadJob::StartDownload(const std::string& path)
{
    if (m_bRunning)
        return false;
    if (m_downloadThread.joinable())
        m_downloadThread.join();
    m_strDownloadFile = path;
    m_strJobFile = path;
    m_bStop.store(false);
    m_evtStop.Reset();
    m_bRunning = true;
    try {
        m_downloadThread = std::thread([this] { RunDownload(); });
    } catch (const std::system_error& error) {
        m_bRunning = false;
        m_strDownloadFile.clear();
        ShowSystemError(m_prompt, error.code());
        return false;
    }
    return true;
}

void CDownloadJob::OnDownloadEnd()
{
    if (m_downloadThread.joinable())
        m_downloadThread.join();
    m_strDownloadFile.clear();
    m_parser.EndJob();
    m_bRunning = false;
}

void CDownloadJob::RequestStop()
{
    m_bStop.store(true);
    m_evtStop.Set();
    // Wakes a wait for the board; the job looks at the stop flag after every wait.
    m_state.m_evtBoard.Set();
}

void CDownloadJob::RunDownload()
{
    const EDownloadResult result = Run();
    m_nResult.store(result);
    m_sink.Post(WM_DOWNLOAD_END, 0, 0);
}

EDownloadResult CDownloadJob::Run()
{
    CSerialPort& port = m_host.DownloadPort();
    if (Stopping())
        return EDownloadResult::Stopped;
    if (!port.IsOpen() && !m_host.OpenDownloadPort(kTextPortOpenError))
        return EDownloadResult::PortOpenFailed;

    // Non-blocking, so a named pipe in the list cannot hold the job before its first box.
    CFileDescriptor file(::open(m_strJobFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::error_code code = file.Get() < 0 || !S_ISDIR(info.st_mode)
            ? LastSystemError() : std::make_error_code(std::errc::is_a_directory);
        if (Stopping())
            return EDownloadResult::Stopped;
        ShowSystemError(m_prompt, code, kTextFileOpenError);
        return EDownloadResult::FileOpenFailed;
    }
    if (info.st_size == 0) {
        if (Stopping())
            return EDownloadResult::Stopped;
        m_prompt.MessageBox(kTextFileEmpty, kAppTitle, MB_OK);
        return EDownloadResult::FileEmpty;
    }

    // The buffer lives in this scope only, so it is freed on every path.
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        if (Stopping())
            return EDownloadResult::Stopped;
        ShowSystemError(m_prompt, std::make_error_code(std::errc::not_enough_memory));
        return EDownloadResult::OutOfMemory;
    } catch (const std::length_error&) {
        if (Stopping())
            return EDownloadResult::Stopped;
        ShowSystemError(m_prompt, std::make_error_code(std::errc::not_enough_memory));
        return EDownloadResult::OutOfMemory;
    }
    std::size_t count = 0;
    while (count < buffer.size()) {
        ssize_t n = ::read(file.Get(), buffer.data() + count, buffer.size() - count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            // A file that cannot be read is reported like one that cannot be opened.
            std::error_code code = LastSystemError();
            if (Stopping())
                return EDownloadResult::Stopped;
            ShowSystemError(m_prompt, code, kTextFileOpenError);
            return EDownloadResult::FileOpenFailed;
        }
        if (n == 0)
            break;
        count += static_cast<std::size_t>(n);
    }
    buffer.resize(count);
    m_sink.Post(WM_DOWNLOAD_BEGIN, count, 0);

    m_state.m_evtBoard.Reset();
    m_state.m_bBoardError.store(0);

    int baud = port.GetBaudRate();
    if (baud <= 0)
        baud = kFallbackBaud;
    m_nWriteTimeoutMs = kWriteBaseMs
        + static_cast<unsigned>(static_cast<std::uint64_t>(kDriverQueueBytes) * 10 * 1000 / static_cast<unsigned>(baud));
    m_nBaud = static_cast<unsigned>(baud);

    if (m_tools.Get().m_bUsePrePostPgmCmd == 0) {
        m_sink.Post(WM_DOWNLOAD_STEP, 0, 0);
        m_state.m_nWaitState.store(WAIT_COMPLETED);
    } else {
        std::string command = m_tools.Get().m_strProgramCmd;
        if (command.empty())
            command = "L";
        m_state.m_nWaitState.store(WAIT_LOAD);
        if (!WriteToPort(command.data(), command.size()))
            return Stopping() ? EDownloadResult::Stopped : EDownloadResult::WriteFailed;
        m_sink.Post(WM_DOWNLOAD_STEP, 0, 0);
        switch (WaitForBoard(kLoadAnswerMs)) {
        case EWait::Stopped:
            return EDownloadResult::Stopped;
        case EWait::TimedOut:
            m_prompt.MessageBox(kTextNoLoadAnswer, kAppTitle, MB_OK);
            return EDownloadResult::NoLoadAnswer;
        case EWait::Signalled:
            m_state.m_nWaitState.store(WAIT_COMPLETED);
            break;
        }
    }

    if (!Pause(kPauseMs))
        return EDownloadResult::Stopped;

    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (m_state.m_bBoardError.load() != 0) {
            m_sink.Post(WM_DOWNLOAD_FAILED, 0, 0);
            return EDownloadResult::BoardError;
        }
        if (Stopping())
            return EDownloadResult::Stopped;
        if (!WriteToPort(&buffer[i], 1))
            return Stopping() ? EDownloadResult::Stopped : EDownloadResult::WriteFailed;
        m_sink.Post(WM_DOWNLOAD_STEP, 0, 0);
    }

    switch (WaitForBoard(kCompletedMs)) {
    case EWait::Stopped:
        return EDownloadResult::Stopped;
    case EWait::TimedOut:
        m_prompt.MessageBox(kTextNoCompletedMessage, kAppTitle, MB_OK);
        return EDownloadResult::NoCompletedMessage;
    case EWait::Signalled:
        m_state.m_nWaitState.store(WAIT_RUN);
        break;
    }

    const CToolSettingsValues after = m_tools.Get();
    if (after.m_bUsePrePostPgmCmd != 0) {
        std::string command = after.m_strCmdAfterProgram;
        if (command.empty())
            command = "R";
        if (!WriteToPort(command.data(), command.size()))
            return Stopping() ? EDownloadResult::Stopped : EDownloadResult::WriteFailed;
        switch (WaitForBoard(kRunAnswerMs)) {
        case EWait::Stopped:
            return EDownloadResult::Stopped;
        case EWait::TimedOut:
            m_prompt.MessageBox(kTextNoRunAnswer, kAppTitle, MB_OK);
            return EDownloadResult::NoRunAnswer;
        case EWait::Signalled:
            m_state.m_nWaitState.store(WAIT_NONE);
            break;
        }
    }

    m_sink.Post(WM_DOWNLOAD_STEP, 0, 0);
    if (Stopping())
        return EDownloadResult::Stopped;
    m_prompt.MessageBox(kTextCompleted, kAppTitle, MB_OK);
    return EDownloadResult::Completed;
}

bool CDownloadJob::WriteToPort(const void* data, std::size_t size)
{
    if (Stopping())
        return false;
    CSerialPort& port = m_host.DownloadPort();
    std::uint32_t written = 0;
    std::error_code code = port.Write(data, static_cast<std::uint32_t>(size), &written, nullptr, m_nWriteTimeoutMs);
    if (!code && written != size)
        code = std::make_error_code(std::errc::io_error);
    if (!code)
        return true;
    if (!Stopping())
        ShowSystemError(m_prompt, code, kTextPortWriteError);
    return false;
}

CDownloadJob::EWait CDownloadJob::WaitForBoard(unsigned limitMs)
{
    // The limit starts once the written bytes have left the port, not when the driver took them.
    if (!WaitOutputDrained(m_host.DownloadPort(), m_nBaud, m_evtStop) || Stopping())
        return EWait::Stopped;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    const bool signalled = m_state.m_evtBoard.WaitUntil(deadline);
    if (Stopping())
        return EWait::Stopped;
    return signalled ? EWait::Signalled : EWait::TimedOut;
}

bool CDownloadJob::Pause(unsigned ms)
{
    m_evtStop.Wait(ms);
    return !Stopping();
}
