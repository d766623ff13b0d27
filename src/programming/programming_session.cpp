#include "programming/programming_session.h"

#include "base/line_timing.h"
#include "base/messages.h"
#include "base/system_error.h"
#include "port/open_configured_port.h"
#include "port/port_doctor.h"
#include "serial/serial_device_name.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

CProgrammingSession::CProgrammingSession(ITerminalSink& terminal, const CBoardCommands& commands,
    IMessageSink& sink, IUserPrompt& prompt)
    : m_prompt(prompt), m_rxSink(sink, DefaultComMsg()), m_parser(terminal),
      m_job(m_parser, static_cast<IDownloadHost&>(*this), commands, sink), m_terminal(terminal),
      m_watcher(sink, WM_PORT_PRESENT)
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

CProgrammingSession::EEvent CProgrammingSession::CheckPortLost()
{
    if (!m_port.IsOpen() || m_port.IsListening() || IsDownloadRunning())
        return EEvent::None;
    const std::error_code code = m_port.ListenerResult();
    if (!code)
        return EEvent::None;
    m_lostError = code;
    m_port.Close();
    // The port a download opened on a node of its own is named by its setting.
    if (m_strNode.empty() || SerialDevicePath(m_portSettings.m_strPort) != m_strOpenedAs)
        m_strNode = SerialDevicePath(m_portSettings.m_strPort);
    if (!m_portSettings.m_bReconnect)
        return EEvent::Lost;
    m_terminal.AppendTerminalText(DisconnectedLine(m_strNode));
    RestartWaiting();
    return EEvent::Disconnected;
}

void CProgrammingSession::RestartWaiting()
{
    // The same device: its stable name when the port is stored by one, else the same path.
    if (m_watcher.Watch(SerialDevicePath(m_portSettings.m_strPort)))
        m_watcher.Stop();
}

CProgrammingSession::EEvent CProgrammingSession::OnPortPresent()
{
    if (!m_watcher.IsWatching())
        return EEvent::None;
    // A download or the owner opened it meanwhile.
    if (m_port.IsOpen() || IsDownloadRunning()) {
        m_watcher.Stop();
        return EEvent::None;
    }
    // Tried without a word: while it fails (udev not done with it yet) the wait goes on. A line
    // setting the port refuses was said at the first opening.
    std::string refused;
    if (OpenConfiguredPort(m_port, m_portSettings, &m_rxSink, &refused)) {
        m_watcher.Rearm();
        return EEvent::None;
    }
    NotePortOpened();
    m_terminal.AppendTerminalText(kTextReconnected);
    return EEvent::Reconnected;
}

std::error_code CProgrammingSession::OpenDownloadPort()
{
    // On the worker: the settings copied when the job started; the terminal already refers to
    // this port, so nothing is attached from here. A line setting the port refused is said
    // before the file goes (the prompt may be called from the worker).
    std::string refused;
    const std::error_code code = OpenConfiguredPort(m_port, m_jobPortSettings, &m_rxSink, &refused);
    if (!code && !refused.empty())
        m_prompt.MessageBox(refused, kAppTitle, MB_OK | MB_ICONWARNING);
    return code;
}

bool CProgrammingSession::StartDownload(const std::string& path)
{
    if (m_job.IsRunning())
        return false;
    m_jobPortSettings = m_portSettings;
    // A job that ends before it begins moves no bar.
    m_nPosition = 0;
    std::error_code error;
    if (m_job.StartDownload(path, &error))
        return true;
    if (error)
        ShowSystemError(m_prompt, error);
    return false;
}

CProgrammingSession::EEvent CProgrammingSession::HandleMessage(const CPostedMessage& message)
{
    if (message.m_nMsg == DefaultComMsg()) {
        ReadPort(message.m_wParam);
        return EEvent::Received;
    }
    if (message.m_nMsg == WM_PORT_PRESENT)
        return OnPortPresent();
    switch (message.m_nMsg) {
    case WM_DOWNLOAD_BEGIN:
        m_nCount = message.m_wParam;
        m_nPosition = 0;
        m_strFile = m_job.DownloadFile();
        m_progress.Start(m_nCount, CTransferProgress::Clock::now(), LineRate());
        return EEvent::Begin;
    case WM_DOWNLOAD_STEP:
        m_nPosition = message.m_wParam;
        Refresh(CTransferProgress::Clock::now());
        return EEvent::Step;
    case WM_DOWNLOAD_FAILED:
        m_prompt.MessageBox(CDownloadJob::kTextProgrammingError, kAppTitle, MB_OK);
        return EEvent::Failed;
    case WM_DOWNLOAD_END: {
        // The figures end where the job did: what went, at what rate, in how long.
        const auto now = CTransferProgress::Clock::now();
        Refresh(now);
        m_progress.Finish(now);
        return EEvent::End;
    }
    default:
        return EEvent::None;
    }
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

void CProgrammingSession::ReadPort(std::uintptr_t wParam)
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
    m_parser.OnSerialMsg(wParam, [&](std::uint8_t* buffer, std::size_t size) -> std::size_t {
        // A failed read (the port was closed meanwhile) counts as nothing received.
        if (!read) {
            if (m_port.Read(chunk, sizeof chunk, &filled, nullptr, INFINITE))
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
        m_rxSink.Post(DefaultComMsg(), CRxCoalescingSink::kRxChar, 0);
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
    m_prompt.MessageBox(text, caption, MB_OK);
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
    case EDownloadResult::OutOfMemory: text = FormatSystemError(code, {}, file); break;
    case EDownloadResult::BoardError:
    case EDownloadResult::Stopped:
        return false;
    }
    caption.clear();
    return true;
}
