#include "programming/programming_session.h"

#include "base/line_timing.h"
#include "base/system_error.h"
#include "port/open_configured_port.h"
#include "port/port_doctor.h"
#include "serial/remote_port_name.h"
#include "serial/serial_device_name.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

CProgrammingSession::CProgrammingSession(ITerminalSink& terminal, const CBoardCommands& commands,
    IMessageSink& sink, IUserPrompt& prompt)
    : m_prompt(prompt), m_sink(sink), m_rxSink(sink), m_parser(terminal),
      m_job(m_parser, static_cast<IDownloadHost&>(*this), commands, sink), m_terminal(terminal), m_watcher(sink)
{
    // A running job hears of a line that went away at once, not at its next time limit.
    m_port.SetEndHandler([this](std::error_code code) { m_job.OnPortLost(code); });
}

CProgrammingSession::~CProgrammingSession()
{
    m_watcher.Stop();
    // The job writes to the port: it goes first.
    m_job.RequestStop();
    m_job.OnDownloadEnd();
    if (m_port.IsOpen())
        m_port.Close();
}

bool CProgrammingSession::OpenPort(const std::optional<std::string>& failureText,
    const std::function<void(CSerialPort*)>& attachTerminal)
{
    const bool opened = OpenConfiguredPort(m_port, m_portSettings, &m_rxSink, m_prompt, failureText, attachTerminal);
    if (opened)
        NotePortOpened();
    return opened;
}

void CProgrammingSession::NotePortOpened()
{
    m_watcher.Stop();
    const std::string device = SerialDevicePath(m_portSettings.m_strPort);
    m_strOpenedAs = device;
    std::error_code error;
    const std::filesystem::path node = std::filesystem::canonical(device, error);
    m_strNode = error ? device : node.string();
}

void CProgrammingSession::AddObserver(ISessionObserver& observer)
{
    m_observers.push_back(&observer);
}

void CProgrammingSession::RemoveObserver(ISessionObserver& observer)
{
    std::erase(m_observers, &observer);
}

void CProgrammingSession::Tell(const CSessionEvent& event)
{
    // A copy: an observer may remove itself.
    const std::vector<ISessionObserver*> observers = m_observers;
    for (ISessionObserver* observer : observers)
        observer->OnSessionEvent(event);
}

void CProgrammingSession::CheckPortLost()
{
    if (!m_port.IsOpen() || m_port.IsListening() || IsDownloadRunning())
        return;
    const std::error_code code = m_port.ListenerResult();
    if (!code)
        return;
    m_lostError = code;
    m_port.Close();
    // The port a download opened on a node of its own is named by its setting.
    if (m_strNode.empty() || SerialDevicePath(m_portSettings.m_strPort) != m_strOpenedAs)
        m_strNode = SerialDevicePath(m_portSettings.m_strPort);
    if (!m_portSettings.m_bReconnect)
        return Tell(session_event::CPortLost{code});
    m_terminal.AppendTerminalText(DisconnectedLine(m_strNode));
    RestartWaiting();
    Tell(session_event::CPortDisconnected{});
}

void CProgrammingSession::RestartWaiting()
{
    // The same device: its stable name when the port is stored by one, else the same path.
    if (m_watcher.Watch(SerialDevicePath(m_portSettings.m_strPort)))
        m_watcher.Stop();
}

void CProgrammingSession::OnPortPresent()
{
    if (!m_watcher.IsWatching())
        return;
    // A download or the owner opened it meanwhile.
    if (m_port.IsOpen() || IsDownloadRunning()) {
        m_watcher.Stop();
        return;
    }
    // Tried without a word: while it fails (udev not done with it yet) the wait goes on. A line
    // setting the port refuses was said at the first opening.
    std::string refused;
    if (OpenConfiguredPort(m_port, m_portSettings, &m_rxSink, &refused)) {
        m_watcher.Rearm();
        return;
    }
    NotePortOpened();
    m_terminal.AppendTerminalText(kTextReconnected);
    Tell(session_event::CPortReconnected{});
}

std::error_code CProgrammingSession::OpenDownloadPort()
{
    // On the worker: the settings copied when the job started; the terminal already refers to
    // this port, so nothing is attached from here. A line setting the port refused is said
    // before the file goes (the prompt may be called from the worker).
    std::string refused;
    const std::error_code code = OpenConfiguredPort(m_port, m_jobPortSettings, &m_rxSink, &refused);
    if (!code && !refused.empty())
        m_prompt.ShowBox(refused, kAppTitle, kBoxOk | kBoxIconWarning);
    return code;
}

bool CProgrammingSession::StartDownload(const std::string& path, std::shared_ptr<const CProgramImage> image)
{
    if (m_job.IsRunning())
        return false;
    m_jobPortSettings = m_portSettings;
    // A job that ends before it begins moves no bar.
    m_nPosition = 0;
    std::error_code error;
    if (m_job.StartDownload(path, &error, std::move(image)))
        return true;
    if (error)
        ShowSystemError(m_prompt, error);
    return false;
}

bool CProgrammingSession::OnPosted(const CPostedEvent& event)
{
    if (const auto* port = std::get_if<CPortEvent>(&event)) {
        ReadPort(*port);
        Tell(session_event::CReceived{});
    } else if (std::holds_alternative<CPortPresent>(event)) {
        OnPortPresent();
    } else if (const auto* begin = std::get_if<CJobBegin>(&event)) {
        m_nCount = begin->m_nCount;
        m_nPosition = 0;
        m_strFile = m_job.DownloadFile();
        m_progress.Start(m_nCount, CTransferProgress::Clock::now(), LineRate());
        Tell(session_event::CBegin{m_nCount});
    } else if (const auto* step = std::get_if<CJobStep>(&event)) {
        m_nPosition = step->m_nPosition;
        Refresh(CTransferProgress::Clock::now());
        Tell(session_event::CStep{m_nPosition});
    } else if (std::holds_alternative<CJobFailed>(event)) {
        m_prompt.ShowBox(CDownloadJob::kTextProgrammingError, kAppTitle, kBoxOk);
        Tell(session_event::CFailed{});
    } else if (std::holds_alternative<CJobEnd>(event)) {
        EndJob();
    } else {
        return false;
    }
    return true;
}

void CProgrammingSession::EndJob()
{
    // The figures end where the job did: what went, at what rate, in how long.
    const auto now = CTransferProgress::Clock::now();
    Refresh(now);
    m_progress.Finish(now);
    // What the board said up to the end shows before how the job ended. An owner whose events an
    // event loop hands over gets them in their turn.
    while (const std::optional<CPostedEvent> waiting = m_sink.TakeWaiting())
        OnPosted(*waiting);
    Tell(session_event::CEnding{});
    // The job counts as running while its box is open: a Program request then is dropped.
    ShowResult();
    Tell(session_event::CResultShown{m_job.LastResult()});
    // Joins the worker, empties the file name and the collected text.
    m_job.OnDownloadEnd();
    ++m_nJobsEnded;
    Tell(session_event::CEnded{m_job.LastResult()});
}

bool CProgrammingSession::RunJob(CMessageQueue& queue, std::chrono::steady_clock::time_point deadline,
    std::chrono::milliseconds idle, const std::function<void()>& onIdle)
{
    using Clock = std::chrono::steady_clock;
    const unsigned ended = m_nJobsEnded;
    while (m_nJobsEnded == ended) {
        if (!IsDownloadRunning())
            return false;
        const bool idles = onIdle && idle > idle.zero();
        if (!idles && deadline == Clock::time_point::max()) {
            OnPosted(queue.Take());
            continue;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto until = idles && deadline - now > idle ? now + idle : deadline;
        if (const std::optional<CPostedEvent> event = queue.TakeUntil(until))
            OnPosted(*event);
        else if (idles && until != deadline)
            onIdle();
    }
    return true;
}

double CProgrammingSession::LineRate()
{
    CLineConfig line;
    if (m_port.GetLine(line))
        return 0;
    return line_timing::CharactersPerSecond(line);
}

void CProgrammingSession::Refresh(CTransferProgress::Clock::time_point now)
{
    if (!m_job.IsRunning())
        return;
    // The figures count what has left the port. A UART's driver takes up to 4 KiB ahead of the
    // line and lets the writer on only once less than 256 bytes wait: at 9600 baud the bytes
    // written stand still for 4 s at a time on a line that moves, which is not a stalled line.
    // Asked only once data goes out: the port is open then, not being opened by the job.
    std::uint64_t sent = m_job.BytesSent();
    if (sent != 0) {
        const long queued = m_port.GetOutputQueue();
        sent -= std::min<std::uint64_t>(sent, queued > 0 ? static_cast<std::uint64_t>(queued) : 0);
    }
    m_progress.Update(std::max(sent, m_progress.Sent()), now);
}

std::string CProgrammingSession::ProgressText(CTransferProgress::Clock::time_point now) const
{
    const std::string& path = m_strFile;
    const std::size_t slash = path.find_last_of('/');
    return (slash == std::string::npos ? path : path.substr(slash + 1)) + ": " + m_progress.Text(now);
}

void CProgrammingSession::ReadPort(const CPortEvent& event)
{
    // Bytes arriving from here on are announced again.
    m_rxSink.Taken();
    // A board that talks without pause keeps every block full, and draining until a short block
    // would hold the owner's thread for as long as the stream lasts. One notification reads at
    // most kBlocksPerNotification blocks, in one read of the port (one system call instead of
    // one a block), and hands them to the parser block by block as it asks; the rest is read by
    // a notification of our own, queued behind whatever came in meanwhile.
    std::uint8_t chunk[kBlocksPerNotification * CReceiveParser::kBlockSize];
    std::uint32_t filled = 0;
    std::size_t handed = 0;
    bool read = false;
    m_parser.OnSerialMsg(event, [&](std::uint8_t* buffer, std::size_t size) -> std::size_t {
        // A failed read (the port was closed meanwhile) counts as nothing received.
        if (!read) {
            if (m_port.Read(chunk, sizeof chunk, &filled, nullptr, kNoTimeLimit))
                filled = 0;
            // The tap sees what was read at once, as the board sent it.
            if (m_receiveTap && filled != 0)
                m_receiveTap(chunk, filled);
        }
        read = true;
        const std::size_t take = std::min<std::size_t>(size, filled - handed);
        std::memcpy(buffer, chunk + handed, take);
        handed += take;
        return take;
    });
    if (filled == sizeof chunk)
        m_rxSink.Post(CPortEvent{CRxCoalescingSink::kRxChar, 0, 0});
}

void CProgrammingSession::ShowResult()
{
    std::string text;
    std::string caption;
    const std::string device = SerialDevicePath(m_jobPortSettings.m_strPort);
    if (!ResultMessage(m_job.LastResult(), m_job.LastError(), text, caption, device, m_job.DownloadFile(),
            m_job.HexFault()))
        return;
    // A port that did not open says what to do about it after the system's reason.
    if (m_job.LastResult() == EDownloadResult::PortOpenFailed)
        text = AppendAdvice(text, CPortDoctor().Advise(device, m_job.LastError()));
    // A connection to another machine that ended says what to check there.
    else if (m_job.LastResult() == EDownloadResult::WriteFailed && CRemotePortName::IsRemote(device))
        text = AppendAdvice(text, CPortDoctor().Advise(device, m_job.LastError()));
    m_prompt.ShowBox(text, caption, kBoxOk);
}

std::string CProgrammingSession::SummaryLine() const
{
    if (m_job.LastResult() != EDownloadResult::Completed)
        return {};
    return FormatSummary(m_strFile, m_job.Summary());
}

std::string CProgrammingSession::FormatSummary(const std::string& file, const CDownloadSummary& summary)
{
    const double seconds = std::chrono::duration<double>(summary.m_took).count();
    char text[160];
    std::string line = file + ": " + std::to_string(summary.m_nBytes) + " bytes";
    if (summary.m_bHasRange) {
        std::snprintf(text, sizeof text, ", addresses %04X-%04X", summary.m_nLow, summary.m_nHigh);
        line += text;
    }
    // A run on a fast line takes a fraction of a second: "0.0 s" would say nothing.
    std::snprintf(text, sizeof text, seconds < 1 ? ", %.2f s, %.0f bytes/s" : ", %.1f s, %.0f bytes/s", seconds,
        seconds > 0 ? static_cast<double>(summary.m_nBytes) / seconds : 0.0);
    return line + text;
}

bool CProgrammingSession::ResultMessage(EDownloadResult result, std::error_code code, std::string& text,
    std::string& caption, const std::string& device, const std::string& file, const std::string& hexFault)
{
    // System failures carry the system's reason and the default caption; the board's answers
    // the application's title.
    caption = kAppTitle;
    switch (result) {
    case EDownloadResult::Completed: text = CDownloadJob::kTextCompleted; return true;
    case EDownloadResult::NoLoadAnswer: text = CDownloadJob::kTextNoLoadAnswer; return true;
    case EDownloadResult::NoCompletedMessage: text = CDownloadJob::kTextNoCompletedMessage; return true;
    case EDownloadResult::NoRunAnswer: text = CDownloadJob::kTextNoRunAnswer; return true;
    case EDownloadResult::FileEmpty: text = CDownloadJob::kTextFileEmpty + ("\r\n\r\n" + file); return true;
    case EDownloadResult::BadHexFile:
        text = CDownloadJob::kTextBadHexFile + ("\r\n\r\n" + file + "\r\n" + hexFault);
        return true;
    case EDownloadResult::PortOpenFailed: text = FormatSystemError(code, CDownloadJob::kTextPortOpenError, device); break;
    case EDownloadResult::FileOpenFailed: text = FormatSystemError(code, CDownloadJob::kTextFileOpenError, file); break;
    case EDownloadResult::WriteFailed: text = FormatSystemError(code, CDownloadJob::kTextPortWriteError, device); break;
    case EDownloadResult::ResetFailed: text = FormatSystemError(code, CDownloadJob::kTextResetError, device); break;
    case EDownloadResult::OutOfMemory: text = FormatSystemError(code, {}, file); break;
    case EDownloadResult::BoardError:
    case EDownloadResult::Stopped:
        return false;
    }
    caption.clear();
    return true;
}
