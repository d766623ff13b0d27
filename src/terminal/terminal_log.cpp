#include "terminal/terminal_log.h"

#include "base/local_time.h"
#include "base/system_error.h"

#include <cstdio>
#include <optional>
#include <ctime>

namespace {
// A notice carries the event and the log's generation, so a notice of an earlier log is never
// taken for the current one.
int EventParam(CTerminalLog::EEvent event)
{
    return static_cast<int>(event);
}
} // namespace

CTerminalLog::CTerminalLog(IMessageSink& sink, std::size_t queueLimit, std::function<Clock::time_point()> clock)
    : m_sink(sink), m_nQueueLimit(queueLimit), m_clock(std::move(clock))
{
}

CTerminalLog::~CTerminalLog()
{
    Stop();
    Join();
}

std::error_code CTerminalLog::Start(const std::string& path, EMode mode)
{
    if (m_bTaking)
        Stop();
    Join();
    if (std::error_code error = m_file.Create(path))
        return error;
    m_strPath = path;
    m_eMode = mode;
    m_strLine.clear();
    m_bLineOpen = false;
    m_nWritten.store(0);
    {
        std::lock_guard lock(m_mutex);
        m_strQueue.clear();
        m_bClosing = false;
        m_bWriterDone = false;
        m_eFailure = EEvent::None;
        m_error = {};
        m_nNotLogged = 0;
        ++m_nGeneration;
    }
    try {
        m_writer = std::thread(&CTerminalLog::Writer, this);
    } catch (const std::system_error& e) {
        m_file.Close();
        return e.code();
    }
    m_bTaking = true;
    return {};
}

void CTerminalLog::Stop()
{
    if (!m_bTaking)
        return;
    // A line still open is written as it stands.
    if (m_eMode == EMode::Lines && m_bLineOpen)
        EndLine();
    m_bTaking = false;
    std::lock_guard lock(m_mutex);
    m_bClosing = true;
    m_cv.notify_one();
}

void CTerminalLog::Join()
{
    if (m_writer.joinable())
        m_writer.join();
}

void CTerminalLog::OnReceived(const std::uint8_t* data, std::size_t size)
{
    if (m_bTaking && m_eMode == EMode::Bytes && size != 0)
        Queue(std::string_view(reinterpret_cast<const char*>(data), size));
}

void CTerminalLog::AppendTerminalText(std::string_view run)
{
    if (!m_bTaking || m_eMode != EMode::Lines)
        return;
    // One clock reading per run: its bytes arrived together.
    std::optional<Clock::time_point> now;
    auto open = [&] {
        if (!now)
            now = m_clock();
        m_bLineOpen = true;
        m_lineStart = *now;
    };
    // The terminal takes CR LF inside a run as one line end, and CR or LF alone as one each.
    bool lastWasCr = false;
    for (char ch : run) {
        if (ch == '\n' && lastWasCr) {
            lastWasCr = false;
            continue;
        }
        lastWasCr = ch == '\r';
        if (ch == '\r' || ch == '\n') {
            if (!m_bLineOpen)
                open();
            EndLine();
            continue;
        }
        if (m_bLineOpen && m_strLine.size() >= kMaxLineLength)
            EndLine();
        if (!m_bLineOpen)
            open();
        m_strLine.push_back(ch);
    }
}

void CTerminalLog::DeleteLastChar()
{
    // A line already written stays as it was; the open line loses its last character.
    if (m_bTaking && m_eMode == EMode::Lines && !m_strLine.empty())
        m_strLine.pop_back();
}

void CTerminalLog::EndLine()
{
    std::string line = Timestamp(m_lineStart);
    line += m_strLine;
    line += '\n';
    m_strLine.clear();
    m_bLineOpen = false;
    Queue(line);
}

void CTerminalLog::Queue(std::string_view bytes)
{
    std::unique_lock lock(m_mutex);
    if (m_eFailure != EEvent::None) {
        m_nNotLogged += bytes.size();
        return;
    }
    if (m_strQueue.size() + bytes.size() > m_nQueueLimit) {
        // The disk falls behind the board: stop here rather than hold ever more, so the file
        // is every byte up to this point, without a gap.
        m_eFailure = EEvent::TooSlow;
        m_nNotLogged += bytes.size();
        m_bClosing = true;
        m_cv.notify_one();
        const unsigned generation = m_nGeneration;
        lock.unlock();
        m_bTaking = false;
        m_sink.Post(CWorkerNotice{this, EventParam(EEvent::TooSlow), generation});
        return;
    }
    m_strQueue.append(bytes);
    m_cv.notify_one();
}

void CTerminalLog::Writer()
{
    std::string batch;
    std::error_code error;
    unsigned generation = 0;
    {
        std::lock_guard lock(m_mutex);
        generation = m_nGeneration;
    }
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [this] { return !m_strQueue.empty() || m_bClosing; });
            if (m_strQueue.empty())
                break;
            batch.swap(m_strQueue);
            m_strQueue.clear();
        }
        std::size_t at = 0;
        while (at < batch.size()) {
            const std::size_t n = m_file.WriteSome(batch.data() + at, batch.size() - at, error);
            if (error)
                break;
            at += n;
            m_nWritten.fetch_add(static_cast<std::uint64_t>(n));
        }
        if (error) {
            std::lock_guard lock(m_mutex);
            m_nNotLogged += (batch.size() - at) + m_strQueue.size();
            m_strQueue.clear();
            break;
        }
        batch.clear();
    }
    // The file system may report a failed write only when the file is closed.
    if (std::error_code closeError = m_file.Close(); closeError && !error)
        error = closeError;
    EEvent event = EEvent::Ended;
    {
        std::lock_guard lock(m_mutex);
        m_bWriterDone = true;
        if (error) {
            m_error = error;
            m_eFailure = EEvent::Failed;
            event = EEvent::Failed;
        }
    }
    m_sink.Post(CWorkerNotice{this, EventParam(event), generation});
}

CTerminalLog::EEvent CTerminalLog::HandleMessage(const CPostedEvent& posted)
{
    const auto* notice = std::get_if<CWorkerNotice>(&posted);
    if (!notice || notice->m_pFrom != this)
        return EEvent::None;
    {
        std::lock_guard lock(m_mutex);
        if (notice->m_nGeneration != m_nGeneration)
            return EEvent::None;
    }
    const auto event = static_cast<EEvent>(notice->m_nWhat);
    switch (event) {
    case EEvent::Ended:
        Join();
        return EEvent::Ended;
    case EEvent::Failed:
        // The writer has left: what the owner still hands over is not taken.
        m_bTaking = false;
        Join();
        return EEvent::Failed;
    case EEvent::TooSlow:
        return EEvent::TooSlow;
    default:
        return EEvent::None;
    }
}

std::string CTerminalLog::FailureText() const
{
    std::lock_guard lock(m_mutex);
    const std::string kept = std::to_string(m_nWritten.load());
    const std::string lost = std::to_string(m_nNotLogged);
    if (m_eFailure == EEvent::TooSlow)
        return std::string(kTextLogTooSlow) + "\r\n\r\n" + m_strPath + "\r\n\r\nLogging has stopped: more than " +
               std::to_string(m_nQueueLimit / 1024) +
               " KiB waited for the disk. The file keeps every byte received until then; the " + lost +
               " bytes after them are not in it.\r\nLog to a faster disk, then start logging again.";
    return FormatSystemError(m_error, kTextLogWriteError, m_strPath) + "\r\n\r\nLogging has stopped. The file keeps the " +
           kept + " bytes written before the failure; " + lost +
           " bytes received after them are not in it.\r\nFree some space on the disk or choose another file, then "
           "start logging again.";
}

std::string CTerminalLog::Timestamp(Clock::time_point time)
{
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(std::chrono::floor<std::chrono::seconds>(sinceEpoch).count());
    const int millis = static_cast<int>(sinceEpoch.count() - static_cast<long long>(seconds) * 1000);
    const std::tm local = LocalTime(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "[%02d:%02d:%02d.%03d] ", local.tm_hour, local.tm_min, local.tm_sec, millis);
    return text;
}
