#pragma once
// CSerialListener: a serial port with a listener thread that waits for line events and calls
// OnEvent on that thread. Open, Close, StartListener and StopListener are serialised, so the GUI
// thread and the download worker may both open or close; Close joins the listener before it
// returns, so OnEvent never runs after Close. OnEvent must not call Close or StopListener (the
// thread cannot join itself). The object owns its thread and event.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/serial_port.h"

class CSerialListener : public CSerialPort {
public:
    CSerialListener();
    ~CSerialListener() override;

    // Always opens for overlapped use; the fourth argument starts the listener.
    std::error_code Open(const std::string& device, std::uint32_t inQueue = 0,
        std::uint32_t outQueue = 0, bool startListener = true) override;
    std::error_code Close() override;

    virtual std::error_code StartListener();
    // Wakes the listener and joins it. The thread always ends promptly once woken; it is
    // joined whatever the time-out, since a thread left running would outlive the port.
    virtual std::error_code StopListener(std::uint32_t timeout = kNoTimeLimit);
    // Called on the listener thread with the masked events (never 0) and the line errors.
    virtual void OnEvent(std::uint32_t events, std::uint32_t errors) = 0;

    bool IsListening() const;
    // The code the listener thread ended with: 0 while it runs or after a stop; ENODEV when the
    // device went away (hang-up, adapter pulled); a failing wait's own code otherwise.
    std::error_code ListenerResult() const;
    // True once the listener thread has ended on its own or been stopped (within timeout ms).
    bool WaitListenerEnd(std::uint32_t timeout = kNoTimeLimit);
    // Called on the listener thread when it ends with an error (the device went away), so a
    // job waiting for the board hears of it at once. Set before the port is opened; it must
    // outlive the open port.
    void SetEndHandler(std::function<void(std::error_code)> handler) { m_endHandler = std::move(handler); }

private:
    void ListenerThreadProc();

    mutable std::recursive_mutex m_controlMutex; // Open, Close, Start and Stop one at a time
    std::atomic<bool> m_bStopping{false};
    std::thread m_thread;
    std::unique_ptr<CEvent> m_hListenEvent;
    std::atomic<bool> m_bThreadEnded{false};
    std::unique_ptr<CEvent> m_evtThreadEnded;
    std::atomic<int> m_nListenerResult{0};
    std::atomic<const std::error_category*> m_pListenerCategory{nullptr};
    std::function<void(std::error_code)> m_endHandler;
};
