// The rules every platform shares: result codes, argument checks, the order of the steps and
// the open/close protocol. The system calls are in the backend (serial_port_posix.cpp).
//
// Close and the operations: each operation registers itself while it uses the line. Close
// marks the port closing (no new operation starts), wakes those in progress through the
// backend and waits until the last has left before the descriptor goes away.

#include "serial/serial_port.h"

#include "base/event.h"
#include "serial/serial_backend.h"
#include "serial/remote_port_name.h"
#include "serial/serial_device_name.h"

#include <cerrno>
#include <chrono>
#include <cstring>

class CSerialPort::COperation {
public:
    explicit COperation(CSerialPort& port) : m_port(port)
    {
        // Counted first, then the state looked at: a Close that marks the port closing after
        // this count sees it and waits; one that marked it before is seen here.
        port.m_nActive.fetch_add(1);
        m_bActive = port.m_bOpen.load() && !port.m_bClosing.load();
        if (!m_bActive) {
            Leave();
            return;
        }
        m_bOverlapped = port.m_bOverlapped.load(std::memory_order_relaxed);
        m_nReadMode = port.m_nReadMode.load(std::memory_order_relaxed);
        m_nMask = port.m_dwEventMask.load(std::memory_order_relaxed);
    }
    ~COperation()
    {
        if (m_bActive)
            Leave();
    }
    COperation(const COperation&) = delete;
    COperation& operator=(const COperation&) = delete;

    explicit operator bool() const { return m_bActive; }

    CSerialPort& m_port;
    bool m_bActive = false;
    bool m_bOverlapped = false;
    int m_nReadMode = ReadModeImmediate;
    std::uint32_t m_nMask = 0;

private:
    void Leave()
    {
        // The last one out of a closing port wakes Close; under its mutex, so the wake-up cannot
        // fall between Close's look at the count and its wait.
        if (m_port.m_nActive.fetch_sub(1) == 1 && m_port.m_bClosing.load()) {
            std::lock_guard lock(m_port.m_mutex);
            m_port.m_cvIdle.notify_all();
        }
    }
};

namespace {

// A caller's record: the operation runs to its end here (there is no time-out on that form).
CDeadline DeadlineOf(std::uint32_t timeout, const COverlapped* overlapped)
{
    if (overlapped || timeout == kNoTimeLimit)
        return {};
    return CDeadline::After(timeout);
}

void Complete(COverlapped* overlapped, std::error_code code, std::uint32_t transferred)
{
    if (!overlapped)
        return;
    overlapped->m_code = code;
    overlapped->m_nTransferred = transferred;
    if (overlapped->m_pEvent)
        overlapped->m_pEvent->Set();
}

} // namespace

CSerialPort::CSerialPort() : m_pBackend(CSerialBackend::Create()), m_pLine(m_pBackend.get()) {}

bool CSerialPort::UseBackend(std::unique_ptr<CSerialBackend> backend)
{
    std::lock_guard life(m_lifeMutex);
    if (m_bOpen.load() || !backend)
        return false;
    m_pBackend = std::move(backend);
    m_pLine = m_pBackend.get();
    return true;
}

CSerialPort::~CSerialPort()
{
    if (IsOpen())
        CSerialPort::Close();
}

std::error_code CSerialPort::SetLastError(std::error_code code)
{
    if (!code && m_bNoLastError.load())
        return code;
    std::lock_guard lock(m_mutex);
    StoreLastErrorLocked(code);
    return code;
}

void CSerialPort::StoreLastErrorLocked(std::error_code code)
{
    m_lastError = code;
    m_bNoLastError.store(!code);
}

std::error_code CSerialPort::LastError() const
{
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

bool CSerialPort::IsOpen() const
{
    return m_bOpen.load();
}

std::error_code CSerialPort::Open(const std::string& device, std::uint32_t /*inQueue*/,
    std::uint32_t /*outQueue*/, bool overlapped)
{
    {
        std::lock_guard life(m_lifeMutex);
        if (m_bOpen.load())
            return SetLastError(ESerialError::AlreadyInitialized);
        if (device.empty())
            return SetLastError({ENOENT, std::system_category()});
        // Queue sizes are the driver's own on this platform. A line on another machine has a
        // backend of its own, made anew for each connection.
        CSerialBackend* line = m_pBackend.get();
        if (CRemotePortName::IsRemote(device)) {
            m_pRemote = CSerialBackend::CreateRemote();
            line = m_pRemote.get();
        }
        if (std::error_code code = line->Open(SerialDevicePath(device)))
            return SetLastError(code);
        m_pLine = line;
        std::lock_guard lock(m_mutex);
        m_bOverlapped.store(overlapped);
        m_dwEventBits = 0;
        m_dwEventMask.store(0);
        m_nEventChar = 0;
        m_nReadMode.store(ReadModeImmediate);
        m_bClosing.store(false);
        m_bOpen.store(true);
    }
    SetEventMask(line_event::kDefaultMask);
    m_pLine->ForgetWake(); // nobody waits yet
    return SetLastError(SetReadMode(ReadModeImmediate));
}

std::error_code CSerialPort::Close()
{
    std::lock_guard life(m_lifeMutex);
    std::unique_lock lock(m_mutex);
    if (!m_bOpen.load()) {
        StoreLastErrorLocked({});
        return {};
    }
    m_bClosing.store(true);
    m_pLine->WakeAll();
    m_cvIdle.wait(lock, [this] { return m_nActive.load() == 0; });
    m_pLine->Close();
    m_bOpen.store(false);
    m_bClosing.store(false);
    m_dwEventBits = 0;
    StoreLastErrorLocked({});
    return {};
}

std::error_code CSerialPort::SetLine(const CLineConfig& line)
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    if (!IsValidFraming(line))
        return SetLastError({EINVAL, std::system_category()});
    if (!IsValidHandshake(line.m_eHandshake))
        return SetLastError(ESerialError::InvalidArg);
    return SetLastError(m_pLine->SetLine(line));
}

std::error_code CSerialPort::GetLine(CLineConfig& line)
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    return SetLastError(m_pLine->GetLine(line));
}

std::error_code CSerialPort::Configure(std::uint32_t baud, std::uint8_t dataBits, int parity,
    std::uint8_t stopBits)
{
    if (!IsOpen())
        return SetLastError(ESerialError::InvalidHandle);
    CLineConfig line{baud, dataBits, static_cast<EParity>(parity), static_cast<EStopBits>(stopBits)};
    // Checked before the driver is asked, as SetLine would.
    if (parity < ParityNone || parity > ParitySpace || !IsValidFraming(line))
        return SetLastError({EINVAL, std::system_category()});
    CLineConfig held;
    if (std::error_code code = GetLine(held))
        return code;
    line.m_eHandshake = held.m_eHandshake;
    return SetLine(line);
}

std::error_code CSerialPort::SetEventChar(char ch, bool addToMask)
{
    {
        COperation op(*this);
        if (!op)
            return SetLastError(ESerialError::InvalidHandle);
        std::lock_guard lock(m_mutex);
        m_nEventChar = ch;
    }
    if (addToMask)
        return SetEventMask(GetEventMask() | line_event::kRxFlag);
    return SetLastError({});
}

std::error_code CSerialPort::SetEventMask(std::uint32_t mask)
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    {
        std::lock_guard lock(m_mutex);
        m_dwEventMask.store(mask);
    }
    m_pLine->WakeWaiter();
    return SetLastError({});
}

std::error_code CSerialPort::WaitEvent(COverlapped* overlapped, std::uint32_t timeout)
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    if (!op.m_bOverlapped && (overlapped || timeout != kNoTimeLimit))
        return SetLastError(ESerialError::InvalidFunction);
    std::uint32_t events = 0;
    std::error_code code = m_pLine->WaitEvents(op.m_nMask, events, DeadlineOf(timeout, overlapped));
    {
        std::lock_guard lock(m_mutex);
        m_dwEventBits = code ? 0 : events;
    }
    Complete(overlapped, code, 0);
    return SetLastError(code);
}

std::error_code CSerialPort::SetHandshake(int kind)
{
    if (!IsOpen())
        return SetLastError(ESerialError::InvalidHandle);
    if (kind < HandshakeNone || kind > HandshakeSoftware)
        return SetLastError(ESerialError::InvalidArg);
    CLineConfig line;
    if (std::error_code code = GetLine(line))
        return code;
    line.m_eHandshake = static_cast<EHandshake>(kind);
    return SetLine(line);
}

std::error_code CSerialPort::SetReadMode(int mode)
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    if (mode != ReadModeImmediate && mode != ReadModeWaitAll)
        return SetLastError(ESerialError::InvalidArg);
    m_nReadMode.store(mode);
    return SetLastError({});
}

int CSerialPort::GetBaudRate()
{
    CLineConfig line;
    return !GetLine(line) ? static_cast<int>(line.m_nBaud) : -1;
}

int CSerialPort::GetDataBits()
{
    CLineConfig line;
    return !GetLine(line) ? static_cast<int>(line.m_nDataBits) : -1;
}

int CSerialPort::GetParity()
{
    CLineConfig line;
    return !GetLine(line) ? static_cast<int>(line.m_eParity) : -1;
}

int CSerialPort::GetStopBits()
{
    CLineConfig line;
    return !GetLine(line) ? static_cast<int>(line.m_eStopBits) : -1;
}

int CSerialPort::GetHandshake()
{
    CLineConfig line;
    return !GetLine(line) ? static_cast<int>(line.m_eHandshake) : -1;
}

std::uint32_t CSerialPort::GetEventMask()
{
    std::lock_guard lock(m_mutex);
    return m_bOpen.load() ? m_dwEventMask.load() : 0;
}

char CSerialPort::GetEventChar()
{
    std::lock_guard lock(m_mutex);
    if (!m_bOpen.load()) {
        StoreLastErrorLocked(ESerialError::InvalidHandle);
        return 0;
    }
    StoreLastErrorLocked({});
    return m_nEventChar;
}

std::error_code CSerialPort::Write(const char* text, std::uint32_t* written,
    COverlapped* overlapped, std::uint32_t timeout)
{
    const std::size_t length = text ? std::strlen(text) : 0;
    return Write(text, static_cast<std::uint32_t>(length), written, overlapped, timeout);
}

std::error_code CSerialPort::Write(const void* data, std::uint32_t size, std::uint32_t* written,
    COverlapped* overlapped, std::uint32_t timeout)
{
    return Transfer(true, const_cast<void*>(data), size, written, overlapped, timeout);
}

std::error_code CSerialPort::Read(void* buffer, std::uint32_t size, std::uint32_t* read,
    COverlapped* overlapped, std::uint32_t timeout)
{
    return Transfer(false, buffer, size, read, overlapped, timeout);
}

std::error_code CSerialPort::Transfer(bool isWrite, void* data, std::uint32_t size,
    std::uint32_t* count, COverlapped* overlapped, std::uint32_t timeout)
{
    std::uint32_t local = 0;
    if (!count)
        count = &local;
    *count = 0;
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    if (!op.m_bOverlapped && (overlapped || timeout != kNoTimeLimit))
        return SetLastError(ESerialError::InvalidFunction);
    if (size != 0 && !data)
        return SetLastError({EFAULT, std::system_category()});
    // Counted before the claim is looked at: a claimant that looks at the count after its claim
    // either sees this write or is seen by it.
    struct CWriterCount {
        CSerialPort* m_pPort;
        ~CWriterCount()
        {
            if (m_pPort && m_pPort->m_nWriters.fetch_sub(1) == 1 && m_pPort->m_bSoleWaits.load()) {
                std::lock_guard lock(m_pPort->m_mutex);
                m_pPort->m_cvWriters.notify_all();
            }
        }
    } writer{isWrite ? this : nullptr};
    if (isWrite) {
        m_nWriters.fetch_add(1);
        const std::thread::id sole = m_soleWriter.load();
        if (sole != std::thread::id() && sole != std::this_thread::get_id()) {
            Complete(overlapped, make_error_code(ESerialError::LineBusy), 0);
            return SetLastError(ESerialError::LineBusy);
        }
    }
    // The clock is read only if the transfer has to wait.
    const CDeadline deadline = DeadlineOf(timeout, overlapped);
    std::size_t done = 0;
    std::error_code code = isWrite
        ? m_pLine->Write(data, size, done, deadline)
        : m_pLine->Read(data, size, done, op.m_nReadMode == ReadModeWaitAll, deadline);
    // The bytes moved are reported even when the time ran out: they are gone from the queue.
    *count = static_cast<std::uint32_t>(done);
    Complete(overlapped, code, *count);
    return SetLastError(code);
}

bool CSerialPort::BeginSoleWriter(std::uint32_t limitMs)
{
    m_soleWriter.store(std::this_thread::get_id());
    m_nSoleClaims.fetch_add(1);
    std::unique_lock lock(m_mutex);
    m_bSoleWaits.store(true);
    const bool left = m_cvWriters.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return m_nWriters.load() == 0; });
    m_bSoleWaits.store(false);
    if (!left)
        m_soleWriter.store(std::thread::id());
    return left;
}

void CSerialPort::EndSoleWriter()
{
    // Only the claimant's own claim: a job that never claimed leaves another's alone.
    std::thread::id self = std::this_thread::get_id();
    m_soleWriter.compare_exchange_strong(self, std::thread::id());
}

std::uint32_t CSerialPort::TakeEvents()
{
    std::lock_guard lock(m_mutex);
    std::uint32_t events = m_dwEventBits & m_dwEventMask.load();
    m_dwEventBits = 0;
    return events;
}

std::error_code CSerialPort::ClearLineErrors(std::uint32_t& errors)
{
    errors = 0;
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    std::error_code code = m_pLine->ClearErrors(errors);
    if (code)
        return SetLastError(code);
    return code;
}

std::error_code CSerialPort::DiscardInput()
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    return SetLastError(m_pLine->DiscardInput());
}

std::error_code CSerialPort::SetDtr(bool on)
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    return SetLastError(m_pLine->SetModemLine(MODEM_DTR, on));
}

std::error_code CSerialPort::SetRts(bool on)
{
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    return SetLastError(m_pLine->SetModemLine(MODEM_RTS, on));
}

std::error_code CSerialPort::GetModemLines(std::uint32_t& lines)
{
    lines = 0;
    COperation op(*this);
    if (!op)
        return SetLastError(ESerialError::InvalidHandle);
    const std::error_code code = m_pLine->GetModemLines(lines);
    if (code)
        lines = 0;
    return SetLastError(code);
}

std::uint32_t CSerialPort::RoundTripMs()
{
    COperation op(*this);
    return op ? m_pLine->RoundTripMs() : 0;
}

std::string CSerialPort::AgreedOptions()
{
    COperation op(*this);
    return op ? m_pLine->AgreedOptions() : std::string();
}

long CSerialPort::GetOutputQueue()
{
    COperation op(*this);
    if (!op) {
        SetLastError(ESerialError::InvalidHandle);
        return 0;
    }
    std::size_t bytes = 0;
    if (std::error_code code = m_pLine->OutputQueue(bytes)) {
        SetLastError(code);
        return 0;
    }
    SetLastError({});
    return static_cast<long>(bytes);
}
