#include "serial/serial_listener.h"

#include "base/event.h"

#include <cerrno>
#include <system_error>

CSerialListener::CSerialListener() : m_evtThreadEnded(std::make_unique<CEvent>(true, true)) {}

CSerialListener::~CSerialListener()
{
    bool running = false;
    {
        std::lock_guard control(m_controlMutex);
        running = m_thread.joinable();
    }
    if (running)
        CSerialListener::Close();
}

std::error_code CSerialListener::Open(const std::string& device, std::uint32_t inQueue,
    std::uint32_t outQueue, bool startListener)
{
    std::lock_guard control(m_controlMutex);
    if (std::error_code code = CSerialPort::Open(device, inQueue, outQueue, true))
        return code;
    m_hListenEvent = std::make_unique<CEvent>(true, false);
    if (startListener) {
        if (std::error_code code = StartListener())
            return code;
    }
    return SetLastError({});
}

std::error_code CSerialListener::Close()
{
    std::lock_guard control(m_controlMutex);
    StopListener(kNoTimeLimit);
    m_hListenEvent.reset();
    return CSerialPort::Close();
}

std::error_code CSerialListener::StartListener()
{
    std::lock_guard control(m_controlMutex);
    if (m_thread.joinable())
        return SetLastError({});
    if (!IsOpen() || !m_hListenEvent)
        return SetLastError(ESerialError::InvalidHandle);
    m_bThreadEnded = false;
    m_evtThreadEnded->Reset();
    m_nListenerResult = 0;
    m_pListenerCategory = nullptr;
    try {
        m_thread = std::thread([this] { ListenerThreadProc(); });
    } catch (const std::system_error& error) {
        return SetLastError(error.code());
    }
    return SetLastError({});
}

std::error_code CSerialListener::StopListener(std::uint32_t /*timeout*/)
{
    std::lock_guard control(m_controlMutex);
    if (m_thread.joinable()) {
        m_bStopping = true;
        // Setting the mask again ends the wait in progress (or the next one).
        SetEventMask(GetEventMask());
        m_thread.join();
        m_bStopping = false;
    }
    return SetLastError({});
}

bool CSerialListener::IsListening() const
{
    std::lock_guard control(m_controlMutex);
    return m_thread.joinable() && !m_bThreadEnded.load();
}

bool CSerialListener::WaitListenerEnd(std::uint32_t timeout)
{
    return m_evtThreadEnded->Wait(timeout);
}

std::error_code CSerialListener::ListenerResult() const
{
    const std::error_category* category = m_pListenerCategory.load();
    if (!category)
        return {};
    return {m_nListenerResult.load(), *category};
}

void CSerialListener::ListenerThreadProc()
{
    auto end = [this](std::error_code code) {
        m_nListenerResult = code.value();
        m_pListenerCategory = code ? &code.category() : nullptr;
        m_bThreadEnded = true;
        m_evtThreadEnded->Set();
        if (code && m_endHandler)
            m_endHandler(code);
    };
    CEvent& event = *m_hListenEvent;
    event.Reset();
    COverlapped record{&event, {}, 0};
    if (std::error_code code = WaitEvent(&record, kNoTimeLimit))
        return end(code);
    for (;;) {
        event.Wait();
        if (m_bStopping)
            return end({});
        const std::uint32_t events = TakeEvents();
        std::uint32_t errors = 0;
        if (ClearLineErrors(errors))
            errors = 0;
        // A wait ended by a new mask carries no events and gives no call.
        if (events != 0)
            OnEvent(events, errors);
        if (m_bStopping)
            return end({});
        event.Reset();
        record = COverlapped{&event, {}, 0};
        if (std::error_code code = WaitEvent(&record, kNoTimeLimit))
            return end(code);
    }
}
