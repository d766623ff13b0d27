#include "programming/download_job.h"

#include "base/line_timing.h"
#include "base/message_sink.h"
#include "programming/board_commands.h"
#include "programming/output_drain.h"
#include "programming/program_image.h"
#include "programming/reset_sequence.h"
#include "programming/transfer_progress.h"
#include "serial/serial_error.h"
#include "serial/serial_port.h"

#include <algorithm>

namespace {
// A write waits at most this long plus the time a full driver queue takes to drain at the
// line's rate: longer only when the line does not move at all (handshake held off).
constexpr unsigned kWriteBaseMs = 1000;
constexpr unsigned kDriverQueueBytes = 4096;
// A write that takes no byte looks at the stop request this often, so Stop and Ctrl+C end a
// job held by a line that does not move without closing the port under it.
constexpr unsigned kStopCheckMs = 100;
// After Stop the rest of a HEX line goes out only while the line moves: one that takes nothing
// this long ends the job as stopped (the next download's resync deals with the torn record).
constexpr unsigned kFinishIdleMs = 500;
// The file goes out in runs of what the line carries in this time: one system call (and, on a
// USB adapter, one transfer) per run instead of per byte, while the board's "Error" and Stop
// still come in between after at most this much of the line.
constexpr unsigned kRunMs = 10;
} // namespace

CDownloadJob::CDownloadJob(CReceiveParser& parser, IDownloadHost& host, const CBoardCommands& commands,
    IMessageSink& sink)
    : m_parser(parser), m_state(parser.State()), m_host(host), m_commands(commands), m_sink(sink)
{
}

CDownloadJob::~CDownloadJob()
{
    if (m_downloadThread.joinable()) {
        RequestStop();
        m_downloadThread.join();
    }
}

bool CDownloadJob::StartDownload(const std::string& path, std::error_code* error,
    std::shared_ptr<const CProgramImage> image)
{
    if (m_bRunning)
        return false;
    if (m_downloadThread.joinable())
        m_downloadThread.join();
    m_strDownloadFile = path;
    m_strJobFile = path;
    m_pJobImage = std::move(image);
    m_bStop.store(false);
    m_bPortLost.store(false);
    m_evtStop.Reset();
    m_bRunning = true;
    try {
        m_downloadThread = std::thread([this] { RunDownload(); });
    } catch (const std::system_error& failure) {
        m_bRunning = false;
        m_strDownloadFile.clear();
        m_pJobImage.reset();
        if (error)
            *error = failure.code();
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

void CDownloadJob::OnPortLost(std::error_code code)
{
    {
        std::lock_guard lock(m_lostMutex);
        m_lostError = code;
    }
    m_bPortLost.store(true);
    m_evtStop.Set();
    m_state.m_evtBoard.Set();
}

EDownloadResult CDownloadJob::Interrupted()
{
    if (!PortLost() || Stopping())
        return EDownloadResult::Stopped;
    std::error_code code;
    {
        std::lock_guard lock(m_lostMutex);
        code = m_lostError;
    }
    return Fail(EDownloadResult::WriteFailed, code);
}

void CDownloadJob::RunDownload()
{
    m_lastError.clear();
    m_strHexFault.clear();
    m_summary = {};
    m_nBytesSent.store(0);
    m_nDataBytes = 0;
    m_bWroteToBoard = false;
    const EDownloadResult result = Run();
    m_host.DownloadPort().EndSoleWriter();
    // A board that took part of a download may still wait for the rest.
    if (m_bWroteToBoard)
        m_bResyncBoard = result != EDownloadResult::Completed;
    // Bytes still in the driver when the line went away never reached the board: count no more
    // than the line could have carried.
    if (result == EDownloadResult::WriteFailed && m_nDataBytes != 0) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_tFirstData);
        const std::uint64_t carried = line_timing::CharactersIn(elapsed, m_nBaud, m_nBitsPerCharacter);
        m_nBytesSent.store(std::min(m_nBytesSent.load(), carried));
    }
    m_eResult.store(result);
    m_sink.Post(CJobEnd{});
}

EDownloadResult CDownloadJob::Fail(EDownloadResult result, std::error_code code)
{
    if (Stopping())
        return EDownloadResult::Stopped;
    m_lastError = code;
    return result;
}

EDownloadResult CDownloadJob::BoardFailed()
{
    m_sink.Post(CJobFailed{});
    return EDownloadResult::BoardError;
}

EDownloadResult CDownloadJob::Run()
{
    CSerialPort& port = m_host.DownloadPort();
    if (Stopping())
        return EDownloadResult::Stopped;
    if (!port.IsOpen()) {
        if (std::error_code code = m_host.OpenDownloadPort())
            return Fail(EDownloadResult::PortOpenFailed, code);
    }

    // The image lives in this scope only (or as long as others share it), so it is freed on
    // every path.
    std::shared_ptr<const CProgramImage> image;
    if (EDownloadResult loaded = LoadImage(image); loaded != EDownloadResult::Completed)
        return loaded;
    const std::vector<std::uint8_t>& buffer = image->m_data;
    const CBoardCommandValues before = m_commands.Get();
    m_bHexData = image->m_bHex;
    m_summary.m_bHasRange = image->m_bHasRange;
    m_summary.m_nLow = image->m_nLow;
    m_summary.m_nHigh = image->m_nHigh;
    // A line that cannot be read (or reports no rate) is timed as the default one.
    CLineConfig line;
    const bool known = !port.GetLine(line);
    const unsigned baud = known && line.m_nBaud != 0 ? line.m_nBaud : line_timing::kFallbackBaud;
    m_nBitsPerCharacter = known ? line_timing::BitsPerCharacter(line) : line_timing::kDefaultBitsPerCharacter;
    m_nWriteTimeoutMs = kWriteBaseMs
        + static_cast<unsigned>(std::chrono::ceil<std::chrono::milliseconds>(line_timing::LineTime(kDriverQueueBytes, baud)).count());
    m_nBaud = baud;

    // From here to the end nothing typed or sent another way reaches the line.
    if (!port.BeginSoleWriter(kWriteBaseMs))
        return Fail(EDownloadResult::WriteFailed, make_error_code(ESerialError::Timeout));
    // Many boards enter their monitor through their reset lines.
    if (!before.m_strResetSequence.empty()) {
        CResetSequence reset;
        std::string why;
        if (!reset.Parse(before.m_strResetSequence, why))
            return Fail(EDownloadResult::ResetFailed, std::make_error_code(std::errc::invalid_argument));
        if (std::error_code code = reset.Apply(port, [this](unsigned ms) { return Pause(ms); }))
            return Fail(EDownloadResult::ResetFailed, code);
        if (Stopping() || PortLost())
            return Interrupted();
    }
    if (m_bResyncBoard) {
        if (EDownloadResult resynced = ResyncBoard(port); resynced != EDownloadResult::Completed)
            return resynced;
    }
    // What the board said before the download command (the tail of an earlier run, still
    // unread or collected by the parser) answers nothing of this one.
    DropBoardText(port);
    m_state.m_bBoardError.store(0);
    m_sink.Post(CJobBegin{buffer.size()});

    static constexpr CExchange kLoad{WAIT_LOAD, board::kLoadAnswerMs, EDownloadResult::NoLoadAnswer};
    static constexpr CExchange kCompletion{WAIT_COMPLETED, board::kCompletedMs, EDownloadResult::NoCompletedMessage};
    static constexpr CExchange kRun{WAIT_RUN, board::kRunAnswerMs, EDownloadResult::NoRunAnswer};

    if (before.m_bUsePrePostPgmCmd == 0) {
        m_sink.Post(CJobStep{1});
    } else if (EDownloadResult answer = Exchange(kLoad, before.ProgramCommand()); answer != EDownloadResult::Completed) {
        return answer;
    }
    // From here on the board's completion (or error) text counts, during the pause too.
    m_state.m_nWaitState.store(WAIT_COMPLETED);
    if (!Pause(board::kPauseMs))
        return Interrupted();

    if (EDownloadResult sent = SendData(buffer); sent != EDownloadResult::Completed)
        return sent;
    if (EDownloadResult answer = Exchange(kCompletion, {}); answer != EDownloadResult::Completed)
        return answer;
    m_summary.m_nBytes = buffer.size();
    m_summary.m_took = std::chrono::steady_clock::now() - m_tFirstData;
    m_state.m_nWaitState.store(WAIT_RUN);

    // Read now: the options may have changed while the file was sent.
    const CBoardCommandValues after = m_commands.Get();
    if (after.m_bUsePrePostPgmCmd != 0) {
        if (EDownloadResult answer = Exchange(kRun, after.RunCommand()); answer != EDownloadResult::Completed)
            return answer;
        m_state.m_nWaitState.store(WAIT_NONE);
    }

    m_sink.Post(CJobStep{buffer.size() + 2});
    return Stopping() ? EDownloadResult::Stopped : EDownloadResult::Completed;
}

EDownloadResult CDownloadJob::SendData(const std::vector<std::uint8_t>& buffer)
{
    m_tFirstData = std::chrono::steady_clock::now();
    m_nDataBytes = buffer.size();
    // The bars' position is 1 + the bytes sent; they show whole percents of size + 2. A step
    // goes to the owner when the position reaches the next percent and where the data ends, so
    // a download posts about a hundred of them whatever its size, and the owner's position is
    // exact at the end and on every failure.
    const std::uint64_t range = buffer.size() + 2;
    std::uint64_t next = CTransferProgress::NextPercentStep(1, range);
    std::uint64_t posted = 1;
    const std::size_t run = RunBytes(m_nBaud, m_nBitsPerCharacter);
    EDownloadResult result = EDownloadResult::Completed;
    CSerialPort& port = m_host.DownloadPort();
    std::size_t sent = 0;
    while (sent < buffer.size()) {
        if (m_state.m_bBoardError.load(std::memory_order_relaxed) != 0) {
            result = EDownloadResult::BoardError;
            break;
        }
        // A run ends where the next step is due, so the bars see every percent.
        const std::size_t size = static_cast<std::size_t>(
            std::min<std::uint64_t>({run, buffer.size() - sent, std::max<std::uint64_t>(next - 1 - sent, 1)}));
        std::size_t done = 0;
        EDownloadResult written = WriteToPort(port, &buffer[sent], size, done);
        sent += done;
        m_nBytesSent.store(sent, std::memory_order_relaxed);
        if (written == EDownloadResult::Completed && Stopping())
            written = EDownloadResult::Stopped;
        if (written == EDownloadResult::Stopped && m_bHexData && !PortLost())
            written = FinishLine(port, buffer, sent);
        if (written != EDownloadResult::Completed) {
            result = written;
            break;
        }
        if (sent + 1 >= next) {
            posted = sent + 1;
            next = CTransferProgress::NextPercentStep(posted, range);
            m_sink.Post(CJobStep{posted});
        }
    }
    if (sent + 1 > posted)
        m_sink.Post(CJobStep{sent + 1});
    return result == EDownloadResult::BoardError ? BoardFailed() : result;
}

std::size_t CDownloadJob::RunBytes(unsigned baud, unsigned bitsPerCharacter)
{
    const std::uint64_t perRun = line_timing::CharactersIn(std::chrono::milliseconds(kRunMs), baud, bitsPerCharacter);
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(perRun, 1, kDriverQueueBytes));
}

EDownloadResult CDownloadJob::LoadImage(std::shared_ptr<const CProgramImage>& image)
{
    image = std::move(m_pJobImage);
    m_pJobImage.reset();
    if (image)
        return image->m_data.empty() ? Fail(EDownloadResult::FileEmpty) : EDownloadResult::Completed;
    auto loaded = std::make_shared<CProgramImage>();
    std::error_code code;
    const EDownloadResult result = CProgramImage::Load(m_strJobFile, m_commands.Get().m_bCheckHexFile != 0, *loaded,
        code, m_strHexFault);
    if (result == EDownloadResult::BadHexFile)
        return result;
    if (result != EDownloadResult::Completed)
        return Fail(result, code);
    image = std::move(loaded);
    return EDownloadResult::Completed;
}

EDownloadResult CDownloadJob::Exchange(const CExchange& exchange, const std::string& text)
{
    m_state.m_nWaitState.store(exchange.m_eAwait);
    if (!text.empty()) {
        if (EDownloadResult written = WriteToPort(m_host.DownloadPort(), text.data(), text.size());
            written != EDownloadResult::Completed)
            return written;
        // The download command's step: the bar moves once it has gone out.
        if (exchange.m_eAwait == WAIT_LOAD)
            m_sink.Post(CJobStep{1});
    }
    return WaitForBoard(exchange);
}

EDownloadResult CDownloadJob::WriteToPort(CSerialPort& port, const void* data, std::size_t size)
{
    std::size_t done = 0;
    return WriteToPort(port, data, size, done);
}

EDownloadResult CDownloadJob::WriteToPort(CSerialPort& port, const void* data, std::size_t size, std::size_t& done,
    bool finishing)
{
    done = 0;
    if (Stopping() && !finishing)
        return EDownloadResult::Stopped;
    if (PortLost())
        return Interrupted();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    // Time spent in writes that ran out of their slice; a write that moves bytes starts again.
    unsigned waited = 0;
    for (;;) {
        const unsigned slice = std::min(kStopCheckMs, m_nWriteTimeoutMs - waited);
        std::uint32_t written = 0;
        std::error_code code = port.Write(bytes + done, static_cast<std::uint32_t>(size - done), &written, nullptr, slice);
        done += written;
        if (written != 0)
            m_bWroteToBoard = true;
        if (m_pSentCounter)
            m_pSentCounter->AddSent(written);
        if (!code && done == size)
            return EDownloadResult::Completed;
        const bool timedOut = code == make_error_code(ESerialError::Timeout);
        if (done == size && timedOut)
            return EDownloadResult::Completed;
        if (!timedOut)
            return Fail(EDownloadResult::WriteFailed, code ? code : std::make_error_code(std::errc::io_error));
        waited = written != 0 ? 0 : waited + slice;
        if (PortLost())
            return Interrupted();
        if (Stopping() && (!finishing || waited >= kFinishIdleMs))
            return EDownloadResult::Stopped;
        if (waited >= m_nWriteTimeoutMs)
            return Fail(EDownloadResult::WriteFailed, code);
    }
}

EDownloadResult CDownloadJob::FinishLine(CSerialPort& port, const std::vector<std::uint8_t>& buffer, std::size_t& sent)
{
    const auto isLineEnd = [](std::uint8_t b) { return b == '\r' || b == '\n'; };
    if (sent == 0 || sent >= buffer.size() || isLineEnd(buffer[sent - 1]))
        return EDownloadResult::Stopped;
    auto end = std::find_if(buffer.begin() + static_cast<std::ptrdiff_t>(sent), buffer.end(), isLineEnd);
    if (end != buffer.end() && *end == '\r' && end + 1 != buffer.end() && end[1] == '\n')
        ++end;
    if (end != buffer.end())
        ++end;
    const std::size_t rest = static_cast<std::size_t>(end - buffer.begin()) - sent;
    std::size_t done = 0;
    const EDownloadResult written = WriteToPort(port, &buffer[sent], rest, done, true);
    sent += done;
    m_nBytesSent.store(sent, std::memory_order_relaxed);
    return written == EDownloadResult::Completed ? EDownloadResult::Stopped : written;
}

void CDownloadJob::DropBoardText(CSerialPort& port)
{
    {
        std::lock_guard lock(m_state.m_discardMutex);
        m_state.m_nWaitState.store(WAIT_NONE);
        port.DiscardInput();
        m_state.m_nDiscard.fetch_add(1);
    }
    m_state.m_evtBoard.Reset();
}

EDownloadResult CDownloadJob::ResyncBoard(CSerialPort& port)
{
    DropBoardText(port);
    // The prompt, or silence for a while: either way the board listens for commands again.
    static constexpr CExchange kPrompt{WAIT_PROMPT, board::kResyncMs, EDownloadResult::Completed};
    const EDownloadResult result = Exchange(kPrompt, board::kResync);
    if (result == EDownloadResult::Completed)
        m_bResyncBoard = false;
    return result;
}

EDownloadResult CDownloadJob::WaitForBoard(const CExchange& exchange)
{
    // The limit starts once the written bytes have left the port, not when the driver took them.
    if (!WaitOutputDrained(m_host.DownloadPort(), m_nBaud, m_evtStop, m_nBitsPerCharacter) || Stopping() || PortLost())
        return Interrupted();
    // A board on another machine gets the limit from when the command could have reached it.
    const unsigned limitMs = exchange.m_nLimitMs + m_host.DownloadPort().RoundTripMs();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    // Nor before the line could have carried the whole file.
    if (exchange.m_eAwait == WAIT_COMPLETED)
        deadline = CompletionDeadline(std::chrono::steady_clock::now(), m_tFirstData, m_nDataBytes, m_nBaud,
            m_nBitsPerCharacter, limitMs);
    const bool signalled = m_state.m_evtBoard.WaitUntil(deadline);
    if (Stopping() || PortLost())
        return Interrupted();
    // The board's error after the last byte ends the job as one during the data does.
    if (exchange.m_eAwait == WAIT_COMPLETED && m_state.m_bBoardError.load() != 0)
        return BoardFailed();
    return signalled ? EDownloadResult::Completed : Fail(exchange.m_eOnSilence);
}

std::chrono::steady_clock::time_point CDownloadJob::CompletionDeadline(std::chrono::steady_clock::time_point drained,
    std::chrono::steady_clock::time_point firstData, std::uint64_t bytes, unsigned baud, unsigned bitsPerCharacter,
    unsigned limitMs)
{
    const std::chrono::milliseconds limit(limitMs);
    return std::max(drained + limit, firstData + line_timing::LineTime(bytes, baud, bitsPerCharacter) + limit);
}

bool CDownloadJob::Pause(unsigned ms)
{
    m_evtStop.Wait(ms);
    return !Stopping() && !PortLost();
}
