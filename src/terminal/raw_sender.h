#pragma once
// CRawSender: sends a file's bytes, or a text, to the board as they are (no protocol), on a
// worker thread of its own, in slices so a stop is noticed within kSliceMs. A send may be paced
// (CSendPacing): delays after bytes and line ends, and waiting for a text from the board after
// each line, which the owner feeds with what the port receives (OnReceived, any thread); a stop
// ends a delay or a wait at once. Start, OnEnd, IsRunning and the destructor run on the owner's
// thread (the GUI thread); RequestStop, OnReceived, Sent, Lines and Total on any thread. When
// the worker has finished it posts a notice to the sink; the owner hands it to OnEnd, which
// joins it. The port, the sink and the counters outlive the sender; the destructor stops and
// joins a running worker.

#include "base/message_sink.h"
#include "base/regular_file.h"
#include "terminal/send_pacing.h"
#include "terminal/terminal_counters.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

class CSerialPort;

class CRawSender {
public:
    // TimedOut: the text waited for did not come after a line, and the pacing says stop.
    enum class EResult { Completed, Stopped, ReadFailed, WriteFailed, TimedOut };

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
    std::error_code StartFile(CSerialPort& port, const std::string& path, double lineRate,
                              const CSendPacing& pacing = {});
    // The same with the bytes given (the clipboard's text); name is what the progress calls it.
    std::error_code StartBytes(CSerialPort& port, std::string bytes, const std::string& name, double lineRate,
                               const CSendPacing& pacing = {});
    void RequestStop();
    // What the board sent, for a paced send waiting for its text; nothing otherwise.
    void OnReceived(const std::uint8_t* data, std::size_t size);
    bool IsRunning() const { return m_bRunning; }
    // The owner's handler of every posted event: joins the worker; true when it was the sender's
    // notice.
    bool OnEnd(const CPostedEvent& event);

    std::uint64_t Sent() const { return m_nSent.load(); }
    std::uint64_t Total() const { return m_nTotal.load(); }
    // Line ends sent so far (CR LF, a lone CR or a lone LF each count one).
    std::uint64_t Lines() const { return m_nLines.load(); }
    // Valid after OnEnd: the lines after which the text waited for did not come (the send went
    // on), and the line after which it stopped waiting (TimedOut).
    std::uint64_t MissedWaits() const { return m_nMissedWaits; }
    std::uint64_t TimedOutLine() const { return m_nTimedOutLine; }
    const CSendPacing& Pacing() const { return m_pacing; }
    // The running or last send's name (the file's path, or the name given).
    const std::string& Name() const { return m_strName; }
    // Valid after OnEnd.
    EResult Result() const { return m_eResult; }
    std::error_code Error() const { return m_error; }
    // How the last send ended, for the status bar or a box ("" when it completed).
    std::string FailureText(const std::string& device) const;

private:
    std::error_code Launch(CSerialPort& port, double lineRate, const CSendPacing& pacing);
    void Run(CSerialPort* port, std::size_t slice);
    // The paced send's loop; false when it ended early (the result says why).
    bool RunPaced(CSerialPort* port, std::vector<char>& buffer);
    // Writes all bytes unless stopped or the port fails; false when the send must end.
    bool WriteAll(CSerialPort* port, const char* data, std::size_t size);
    // Waits up to ms unless stopped (or, with text, until the board sent it); true when the
    // time ran out.
    bool Pause(int ms, bool forText);
    // From here on, what the board sends is searched for the text waited for.
    void ArmWait();
    // The next bytes to send (from the file or the text); 0 at the end; a read failure in error.
    std::size_t Next(char* buffer, std::size_t size, std::error_code& error);

    IMessageSink& m_sink;
    CTerminalCounters& m_counters;
    std::thread m_worker;
    bool m_bRunning = false;
    std::atomic<bool> m_bStop{false};
    std::atomic<std::uint64_t> m_nSent{0};
    std::atomic<std::uint64_t> m_nTotal{0};
    std::atomic<std::uint64_t> m_nLines{0};
    CSendPacing m_pacing;
    // The pacing's waits and the text seen since the last line end (under m_paceMutex).
    std::mutex m_paceMutex;
    std::condition_variable m_cvPace;
    bool m_bArmed = false;
    bool m_bFound = false;
    // The end of what came, as long as the text less one byte, so a text split across reads
    // is found.
    std::string m_strTail;
    std::uint64_t m_nMissedWaits = 0;
    std::uint64_t m_nTimedOutLine = 0;
    std::string m_strName;
    // The source: a file (when open) or the text.
    CRegularFile m_file;
    std::string m_strBytes;
    std::size_t m_nBytesAt = 0;
    // Written by the worker, read by the owner after the join.
    EResult m_eResult = EResult::Completed;
    std::error_code m_error;
};
