#pragma once
// CRawSender: sends a file's bytes, or a text, to the board as they are (no protocol), on a
// worker thread of its own, in slices so a stop is noticed within kSliceMs. Start, OnEnd,
// IsRunning and the destructor run on the owner's thread (the GUI thread); RequestStop, Sent
// and Total on any thread. When the worker has finished it posts a notice to the sink; the
// owner hands it to OnEnd, which joins it. The port, the sink and the counters outlive the
// sender; the destructor stops and joins a running worker.

#include "base/message_sink.h"
#include "base/regular_file.h"
#include "terminal/terminal_counters.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <system_error>
#include <thread>

class CSerialPort;

class CRawSender {
public:
    enum class EResult { Completed, Stopped, ReadFailed, WriteFailed };

    // The longest a write waits before the stop flag is looked at again.
    static constexpr std::uint32_t kSliceMs = 200;
    static constexpr const char* kTextSendReadError = "File read error!";
    static constexpr const char* kTextSendWriteError = "Port write error!";

    CRawSender(IMessageSink& sink, CTerminalCounters& counters) : m_sink(sink), m_counters(counters)
    {
    }
    ~CRawSender();
    CRawSender(const CRawSender&) = delete;
    CRawSender& operator=(const CRawSender&) = delete;

    // Starts sending the file; the system's error when it cannot be opened or the worker cannot
    // start. lineRate (bytes per second, 0 unknown) sizes the writes. Nothing starts while a
    // send runs (EBUSY).
    std::error_code StartFile(CSerialPort& port, const std::string& path, double lineRate);
    // The same with the bytes given (the clipboard's text); name is what the progress calls it.
    std::error_code StartBytes(CSerialPort& port, std::string bytes, const std::string& name, double lineRate);
    void RequestStop() { m_bStop.store(true); }
    bool IsRunning() const { return m_bRunning; }
    // The owner's handler of every posted event: joins the worker; true when it was the sender's
    // notice.
    bool OnEnd(const CPostedEvent& event);

    std::uint64_t Sent() const { return m_nSent.load(); }
    std::uint64_t Total() const { return m_nTotal.load(); }
    // The running or last send's name (the file's path, or the name given).
    const std::string& Name() const { return m_strName; }
    // Valid after OnEnd.
    EResult Result() const { return m_eResult; }
    std::error_code Error() const { return m_error; }
    // How the last send ended, for the status bar or a box ("" when it completed).
    std::string FailureText(const std::string& device) const;

private:
    std::error_code Launch(CSerialPort& port, double lineRate);
    void Run(CSerialPort* port, std::size_t slice);
    // The next bytes to send (from the file or the text); 0 at the end; a read failure in error.
    std::size_t Next(char* buffer, std::size_t size, std::error_code& error);

    IMessageSink& m_sink;
    CTerminalCounters& m_counters;
    std::thread m_worker;
    bool m_bRunning = false;
    std::atomic<bool> m_bStop{false};
    std::atomic<std::uint64_t> m_nSent{0};
    std::atomic<std::uint64_t> m_nTotal{0};
    std::string m_strName;
    // The source: a file (when open) or the text.
    CRegularFile m_file;
    std::string m_strBytes;
    std::size_t m_nBytesAt = 0;
    // Written by the worker, read by the owner after the join.
    EResult m_eResult = EResult::Completed;
    std::error_code m_error;
};
