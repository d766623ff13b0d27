#include "terminal/raw_sender.h"

#include "base/system_error.h"
#include "serial/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

CRawSender::~CRawSender()
{
    RequestStop();
    if (m_worker.joinable())
        m_worker.join();
}

std::error_code CRawSender::StartFile(CSerialPort& port, const std::string& path, double lineRate)
{
    if (m_bRunning)
        return {EBUSY, std::system_category()};
    if (std::error_code code = m_file.Open(path))
        return code == std::errc::is_a_directory ? std::error_code(EISDIR, std::system_category()) : code;
    m_strBytes.clear();
    m_strName = path;
    m_nTotal.store(m_file.Size());
    return Launch(port, lineRate);
}

std::error_code CRawSender::StartBytes(CSerialPort& port, std::string bytes, const std::string& name, double lineRate)
{
    if (m_bRunning)
        return {EBUSY, std::system_category()};
    m_strBytes = std::move(bytes);
    m_nBytesAt = 0;
    m_strName = name;
    m_nTotal.store(m_strBytes.size());
    return Launch(port, lineRate);
}

std::error_code CRawSender::Launch(CSerialPort& port, double lineRate)
{
    m_bStop.store(false);
    m_nSent.store(0);
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

void CRawSender::Run(CSerialPort* port, std::size_t slice)
{
    std::vector<char> buffer(slice);
    // Typed keys would fall between the file's bytes: the line is this thread's alone.
    if (!port->BeginSoleWriter(kSliceMs)) {
        m_eResult = EResult::WriteFailed;
        m_error = make_error_code(ESerialError::Timeout);
    }
    while (m_eResult != EResult::WriteFailed) {
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
        std::size_t at = 0;
        while (at < count && !m_bStop.load()) {
            std::uint32_t written = 0;
            const std::error_code code =
                port->Write(buffer.data() + at, static_cast<std::uint32_t>(count - at), &written, nullptr, kSliceMs);
            at += written;
            m_nSent.fetch_add(written);
            m_counters.AddSent(written);
            // A write the line did not take within the slice goes on after a look at the stop.
            if (code && code != make_error_code(ESerialError::Timeout)) {
                m_eResult = EResult::WriteFailed;
                m_error = code;
                break;
            }
        }
        if (m_eResult == EResult::WriteFailed)
            break;
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
    case EResult::Completed:
    case EResult::Stopped:
        break;
    }
    return {};
}
