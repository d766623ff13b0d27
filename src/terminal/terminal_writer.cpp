#include "terminal/terminal_writer.h"

#include "serial/serial_error.h"
#include "serial/serial_port.h"

CTerminalWriter::~CTerminalWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_bQuit = true;
    }
    m_cvWork.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

bool CTerminalWriter::Queue(CSerialPort& port, std::string_view bytes)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_strWaiting.size() + bytes.size() > kCapacity)
            return false;
        m_strWaiting.append(bytes);
        m_pPort = &port;
        if (!m_worker.joinable())
            m_worker = std::thread(&CTerminalWriter::Run, this);
    }
    m_cvWork.notify_all();
    return true;
}

std::size_t CTerminalWriter::Waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_strWaiting.size();
}

bool CTerminalWriter::WaitEmpty(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_mutex);
    return m_cvEmpty.wait_for(lock, limit, [this] { return m_strWaiting.empty(); });
}

void CTerminalWriter::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cvWork.wait(lock, [this] { return m_bQuit || !m_strWaiting.empty(); });
        if (m_bQuit)
            return;
        const std::string bytes = m_strWaiting;
        CSerialPort* port = m_pPort;
        lock.unlock();
        std::uint32_t written = 0;
        const std::error_code code
            = port->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written, nullptr, kSliceMs);
        m_counters.AddSent(written);
        lock.lock();
        m_strWaiting.erase(0, written);
        // A port that was closed or failed takes nothing more: the waiting keys are lost, as a
        // key typed then would be.
        if (code && code != make_error_code(ESerialError::Timeout))
            m_strWaiting.clear();
        if (m_strWaiting.empty())
            m_cvEmpty.notify_all();
    }
}
