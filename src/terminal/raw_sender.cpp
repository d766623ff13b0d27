#include "terminal/raw_sender.h"

#include "base/system_error.h"
#include "serial/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

CRawSender::~CRawSender()
{
    RequestStop();
    if (m_worker.joinable())
        m_worker.join();
}

void CRawSender::RequestStop()
{
    m_bStop.store(true);
    // Under the lock, so a delay or a wait that is about to begin sees it.
    std::lock_guard lock(m_paceMutex);
    m_cvPace.notify_all();
}

void CRawSender::OnReceived(const std::uint8_t* data, std::size_t size)
{
    std::lock_guard lock(m_paceMutex);
    if (!m_bArmed || m_bFound || m_pacing.m_strWaitFor.empty())
        return;
    const std::string& text = m_pacing.m_strWaitFor;
    m_strTail.append(reinterpret_cast<const char*>(data), size);
    if (m_strTail.find(text) != std::string::npos) {
        m_bFound = true;
        m_cvPace.notify_all();
        return;
    }
    if (m_strTail.size() >= text.size())
        m_strTail.erase(0, m_strTail.size() - (text.size() - 1));
}

void CRawSender::ArmWait()
{
    std::lock_guard lock(m_paceMutex);
    m_bArmed = true;
    m_bFound = false;
    m_strTail.clear();
}

bool CRawSender::Pause(int ms, bool forText)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock lock(m_paceMutex);
    const bool ended = m_cvPace.wait_until(lock, deadline, [&] { return m_bStop.load() || (forText && m_bFound); });
    if (forText)
        m_bArmed = false;
    return !ended;
}

std::error_code CRawSender::StartFile(CSerialPort& port, const std::string& path, double lineRate,
                                      const CSendPacing& pacing)
{
    if (m_bRunning)
        return {EBUSY, std::system_category()};
    if (std::error_code code = m_file.Open(path))
        return code == std::errc::is_a_directory ? std::error_code(EISDIR, std::system_category()) : code;
    m_strBytes.clear();
    m_strName = path;
    m_nTotal.store(m_file.Size());
    return Launch(port, lineRate, pacing);
}

std::error_code CRawSender::StartBytes(CSerialPort& port, std::string bytes, const std::string& name, double lineRate,
                                       const CSendPacing& pacing)
{
    if (m_bRunning)
        return {EBUSY, std::system_category()};
    m_strBytes = std::move(bytes);
    m_nBytesAt = 0;
    m_strName = name;
    m_nTotal.store(m_strBytes.size());
    return Launch(port, lineRate, pacing);
}

std::error_code CRawSender::Launch(CSerialPort& port, double lineRate, const CSendPacing& pacing)
{
    m_bStop.store(false);
    m_nSent.store(0);
    m_nLines.store(0);
    m_nMissedWaits = 0;
    m_nTimedOutLine = 0;
    {
        std::lock_guard lock(m_paceMutex);
        m_pacing = pacing;
        if (m_pacing.m_strWaitFor.size() > CSendPacing::kMaxWaitText)
            m_pacing.m_strWaitFor.resize(CSendPacing::kMaxWaitText);
        m_bArmed = false;
        m_bFound = false;
        m_strTail.clear();
    }
    m_eResult = EResult::Completed;
    m_error = {};
    // About a tenth of a second of the line per write, so a stop or a typed key waits little.
    const std::size_t slice =
        lineRate > 0 ? std::clamp<std::size_t>(static_cast<std::size_t>(lineRate / 10), 64, 4096) : 4096;
    try {
        m_worker = std::thread(&CRawSender::Run, this, &port, slice);
    } catch (const std::system_error& e) {
        m_file.Close();
        return e.code();
    }
    m_bRunning = true;
    return {};
}

std::size_t CRawSender::Next(char* buffer, std::size_t size, std::error_code& error)
{
    if (!m_file.IsOpen()) {
        const std::size_t n = std::min(size, m_strBytes.size() - m_nBytesAt);
        std::memcpy(buffer, m_strBytes.data() + m_nBytesAt, n);
        m_nBytesAt += n;
        return n;
    }
    return m_file.Read(buffer, size, error);
}

bool CRawSender::WriteAll(CSerialPort* port, const char* data, std::size_t size)
{
    std::size_t at = 0;
    while (at < size) {
        if (m_bStop.load()) {
            m_eResult = EResult::Stopped;
            return false;
        }
        std::uint32_t written = 0;
        const std::error_code code =
            port->Write(data + at, static_cast<std::uint32_t>(size - at), &written, nullptr, kSliceMs);
        at += written;
        m_nSent.fetch_add(written);
        m_counters.AddSent(written);
        // A write the line did not take within the slice goes on after a look at the stop.
        if (code && code != make_error_code(ESerialError::Timeout)) {
            m_eResult = EResult::WriteFailed;
            m_error = code;
            return false;
        }
    }
    return true;
}

bool CRawSender::RunPaced(CSerialPort* port, std::vector<char>& buffer)
{
    // Bytes are gathered into runs written at once; a run ends where a delay or a wait comes.
    // The delays and the wait after a line end come before the next byte, so nothing waits
    // after the last one.
    const bool waits = !m_pacing.m_strWaitFor.empty();
    bool pendingCr = false;
    bool gap = false;
    bool lineGap = false;
    bool armed = false;
    std::string run;
    const auto lineEnded = [&] {
        m_nLines.fetch_add(1);
        lineGap = true;
    };
    const auto flush = [&] {
        const bool ok = WriteAll(port, run.data(), run.size());
        run.clear();
        return ok;
    };
    while (true) {
        if (m_bStop.load()) {
            m_eResult = EResult::Stopped;
            return false;
        }
        std::error_code readError;
        const std::size_t count = Next(buffer.data(), buffer.size(), readError);
        if (readError) {
            m_eResult = EResult::ReadFailed;
            m_error = readError;
            return false;
        }
        if (count == 0)
            break;
        for (std::size_t i = 0; i < count; ++i) {
            const char b = buffer[i];
            if (pendingCr) {
                pendingCr = false;
                if (b == '\n') {
                    run += b;
                    lineEnded();
                    continue;
                }
                lineEnded();
            }
            if (gap || lineGap) {
                if (!flush())
                    return false;
                Pause(m_pacing.m_nCharDelayMs + (lineGap ? m_pacing.m_nLineDelayMs : 0), false);
                if (lineGap && waits && Pause(m_pacing.m_nWaitLimitMs, true) && !m_bStop.load()) {
                    if (!m_pacing.m_bGoOnAfterTimeout) {
                        m_nTimedOutLine = m_nLines.load();
                        m_eResult = EResult::TimedOut;
                        return false;
                    }
                    ++m_nMissedWaits;
                }
                gap = lineGap = armed = false;
                if (m_bStop.load()) {
                    m_eResult = EResult::Stopped;
                    return false;
                }
            }
            if ((b == '\r' || b == '\n') && waits && !armed) {
                // What came while the line's text was on its way is not the answer to it.
                if (!flush())
                    return false;
                ArmWait();
                armed = true;
            }
            run += b;
            if (b == '\r')
                pendingCr = true;
            else if (b == '\n')
                lineEnded();
            gap = m_pacing.m_nCharDelayMs > 0;
        }
    }
    if (pendingCr)
        m_nLines.fetch_add(1);
    return flush();
}

void CRawSender::Run(CSerialPort* port, std::size_t slice)
{
    std::vector<char> buffer(slice);
    // Typed keys would fall between the file's bytes: the line is this thread's alone.
    if (!port->BeginSoleWriter(kSliceMs)) {
        m_eResult = EResult::WriteFailed;
        m_error = make_error_code(ESerialError::Timeout);
    } else if (m_pacing.Paced()) {
        RunPaced(port, buffer);
    } else {
        bool pendingCr = false;
        while (true) {
            if (m_bStop.load()) {
                m_eResult = EResult::Stopped;
                break;
            }
            std::error_code readError;
            const std::size_t count = Next(buffer.data(), buffer.size(), readError);
            if (readError) {
                m_eResult = EResult::ReadFailed;
                m_error = readError;
                break;
            }
            if (count == 0)
                break;
            if (!WriteAll(port, buffer.data(), count))
                break;
            // Lines for the progress: CR LF, a lone CR and a lone LF count one each.
            std::uint64_t lines = 0;
            for (std::size_t i = 0; i < count; ++i) {
                const char b = buffer[i];
                if (b == '\r' || (b == '\n' && !pendingCr))
                    ++lines;
                pendingCr = b == '\r';
            }
            m_nLines.fetch_add(lines);
        }
    }
    port->EndSoleWriter();
    m_file.Close();
    m_sink.Post(CWorkerNotice{this, 0, 0});
}

bool CRawSender::OnEnd(const CPostedEvent& event)
{
    const auto* notice = std::get_if<CWorkerNotice>(&event);
    if (!notice || notice->m_pFrom != this)
        return false;
    if (m_worker.joinable())
        m_worker.join();
    m_bRunning = false;
    return true;
}

std::string CRawSender::FailureText(const std::string& device) const
{
    switch (m_eResult) {
    case EResult::ReadFailed:
        return FormatSystemError(m_error, kTextSendReadError, m_strName) + "\r\n\r\nSending stopped after " +
               std::to_string(Sent()) + " of " + std::to_string(Total()) + " bytes.";
    case EResult::WriteFailed:
        return FormatSystemError(m_error, kTextSendWriteError, device) + "\r\n\r\nSending stopped after " +
               std::to_string(Sent()) + " of " + std::to_string(Total()) +
               " bytes. Check the port and the cable, then send again.";
    case EResult::TimedOut:
        return "No \"" + m_pacing.m_strWaitFor + "\" came from the board within " +
               std::to_string(m_pacing.m_nWaitLimitMs) + " ms after line " + std::to_string(m_nTimedOutLine) +
               " of " + m_strName + ".\r\n\r\nSending stopped after " + std::to_string(Sent()) + " of " +
               std::to_string(Total()) + " bytes. Check that the board answers each line with it, or change the " +
               "pacing (Terminal > Send Pacing...).";
    case EResult::Completed:
    case EResult::Stopped:
        break;
    }
    return {};
}
