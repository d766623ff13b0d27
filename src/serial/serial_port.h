#pragma once
// CSerialPort: one serial line (a terminal device), opened exclusively, with blocking or
// "overlapped" transfers. Threads: a Read on one thread, a Write on another and one WaitEvent
// (the listener) may run at the same time; each waits only for its own operation. Close may be
// called from any thread: it wakes every operation in progress and returns once they have left.
// Every operation stores its result (LastError) and returns it. The object owns its descriptor.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "base/line_config.h"
#include "serial/serial_error.h"

class CEvent;
class CSerialBackend;

// No time limit for a wait or transfer.
inline constexpr std::uint32_t kNoTimeLimit = 0xFFFFFFFF;

// Line events (the EV_* set of the Windows API, by names of our own: the system header
// defines those as macros).
namespace line_event {
inline constexpr std::uint32_t kRxChar = 0x0001;  // bytes arrived
inline constexpr std::uint32_t kRxFlag = 0x0002;  // the event character arrived
inline constexpr std::uint32_t kTxEmpty = 0x0004; // the last byte of the output queue was sent
inline constexpr std::uint32_t kCts = 0x0008;
inline constexpr std::uint32_t kDsr = 0x0010;
inline constexpr std::uint32_t kRlsd = 0x0020;
inline constexpr std::uint32_t kBreak = 0x0040;
inline constexpr std::uint32_t kErr = 0x0080;     // framing, overrun or parity error
inline constexpr std::uint32_t kRing = 0x0100;
inline constexpr std::uint32_t kDefaultMask = kRxChar | kBreak | kErr; // 0x00C1
} // namespace line_event

// Line errors (the CE_* set).
namespace line_error {
inline constexpr std::uint32_t kRxOver = 0x0001;   // input buffer overflow
inline constexpr std::uint32_t kOverrun = 0x0002;  // hardware overrun
inline constexpr std::uint32_t kRxParity = 0x0004; // parity error
inline constexpr std::uint32_t kFrame = 0x0008;    // framing error
inline constexpr std::uint32_t kBreak = 0x0010;    // break
} // namespace line_error

// Modem control lines (GetModemLines; SetDtr and SetRts drive the first two).
inline constexpr std::uint32_t MODEM_DTR = 0x0001;
inline constexpr std::uint32_t MODEM_RTS = 0x0002;
inline constexpr std::uint32_t MODEM_CTS = 0x0004;
inline constexpr std::uint32_t MODEM_DSR = 0x0008;
inline constexpr std::uint32_t MODEM_RING = 0x0010;
inline constexpr std::uint32_t MODEM_DCD = 0x0020;

// The "overlapped record" of a transfer or wait. On this platform an operation given a record
// runs to its end on the calling thread, then fills the result fields and signals m_pEvent (if
// any) before it returns, so a caller that waits on the event sees the completion.
struct COverlapped {
    CEvent* m_pEvent = nullptr;
    std::error_code m_code;          // result of the completed operation
    std::uint32_t m_nTransferred = 0; // bytes moved by a Read or Write
};

class CSerialPort {
public:
    enum EReadMode { ReadModeImmediate = 0, ReadModeWaitAll = 1 };
    // The number codes of Configure, SetHandshake and the Get* queries: the values of the
    // line's enums.
    static constexpr int HandshakeNone = static_cast<int>(EHandshake::None);
    static constexpr int HandshakeHardware = static_cast<int>(EHandshake::Hardware);
    static constexpr int HandshakeSoftware = static_cast<int>(EHandshake::Software);
    static constexpr int ParityNone = static_cast<int>(EParity::None);
    static constexpr int ParityOdd = static_cast<int>(EParity::Odd);
    static constexpr int ParityEven = static_cast<int>(EParity::Even);
    static constexpr int ParityMark = static_cast<int>(EParity::Mark);
    static constexpr int ParitySpace = static_cast<int>(EParity::Space);
    static constexpr int StopBitsOne = static_cast<int>(EStopBits::One);
    static constexpr int StopBitsOneAndHalf = static_cast<int>(EStopBits::OneAndHalf);
    static constexpr int StopBitsTwo = static_cast<int>(EStopBits::Two);

    CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    virtual ~CSerialPort();

    // Puts another system side under the port (one that watches the calls, a line of another
    // kind); false, and the backend is kept, while the port is open or when none is given.
    bool UseBackend(std::unique_ptr<CSerialBackend> backend);

    // device: "/dev/..." as is, "COMn" for /dev/ttyS<n-1>, rfc2217://HOST:PORT or
    // socket://HOST:PORT for a line on another machine, any other name under /dev.
    // Queue sizes are accepted and ignored. Sets the event mask 0x00C1, ReadModeImmediate and
    // raw mode (the line's own settings are restored by Close).
    virtual std::error_code Open(const std::string& device, std::uint32_t inQueue = 0,
        std::uint32_t outQueue = 0, bool overlapped = false);
    virtual std::error_code Close();

    // The whole line at once, read back: framing the UART cannot send gives EINVAL, a handshake
    // outside the enum InvalidArg; a setting the driver does not keep gives EINVAL and leaves
    // the line as it was.
    virtual std::error_code SetLine(const CLineConfig& line);
    // The line as the driver holds it.
    virtual std::error_code GetLine(CLineConfig& line);

    // Number-code forms over SetLine: Configure sets the framing only (the handshake stays),
    // SetHandshake below the handshake only (the framing stays).
    virtual std::error_code Configure(std::uint32_t baud, std::uint8_t dataBits, int parity,
        std::uint8_t stopBits);
    virtual std::error_code SetEventChar(char ch, bool addToMask = true);
    // Setting the mask (even to the same value) ends the wait in progress with no events, or
    // the next wait when none is in progress (so a stop cannot slip in between two waits).
    virtual std::error_code SetEventMask(std::uint32_t mask);
    // Waits for a masked line event; the events are then taken with TakeEvents.
    virtual std::error_code WaitEvent(COverlapped* overlapped = nullptr,
        std::uint32_t timeout = kNoTimeLimit);
    virtual std::error_code SetHandshake(int kind);
    virtual std::error_code SetReadMode(int mode);

    // Parts of GetLine as number codes; -1 on failure (the code is in LastError).
    virtual int GetBaudRate();
    virtual int GetDataBits();
    virtual int GetParity();
    virtual int GetStopBits();
    virtual int GetHandshake();
    virtual std::uint32_t GetEventMask(); // 0 when not open
    virtual char GetEventChar();          // 0 on failure

    virtual std::error_code Write(const char* text, std::uint32_t* written = nullptr,
        COverlapped* overlapped = nullptr, std::uint32_t timeout = kNoTimeLimit);
    virtual std::error_code Write(const void* data, std::uint32_t size,
        std::uint32_t* written = nullptr, COverlapped* overlapped = nullptr,
        std::uint32_t timeout = kNoTimeLimit);
    virtual std::error_code Read(void* buffer, std::uint32_t size, std::uint32_t* read = nullptr,
        COverlapped* overlapped = nullptr, std::uint32_t timeout = kNoTimeLimit);

    // The events of the last completed wait, filtered by the mask; clears them.
    std::uint32_t TakeEvents();
    // Line errors (CE_*) counted since the last call, and clears them; 0 where the driver keeps
    // no counters (pseudo-terminals).
    std::error_code ClearLineErrors(std::uint32_t& errors);
    // Bytes written but not yet sent by the driver (0 when not open, on failure, or where the
    // driver keeps no count, as a pseudo-terminal); the code is in LastError.
    long GetOutputQueue();
    // Drops the bytes received and not read yet (the tail of an earlier exchange).
    std::error_code DiscardInput();
    // Raises (true) or drops the DTR / RTS line. A device without modem lines (a
    // pseudo-terminal) refuses with ENOTTY; a port that is not open gives InvalidHandle.
    std::error_code SetDtr(bool on);
    std::error_code SetRts(bool on);
    // The modem lines (MODEM_*) now; 0 with the code on failure.
    std::error_code GetModemLines(std::uint32_t& lines);
    // The line's round trip to another machine in milliseconds (0 for a local line or a closed
    // port): what a limit on the board's answer adds to count from when the command reached it.
    std::uint32_t RoundTripMs();
    // The Telnet options the server of a remote line agreed to; empty otherwise.
    std::string AgreedOptions();
    std::error_code LastError() const;
    bool IsOpen() const;

    // Makes the calling thread the line's only writer until EndSoleWriter (a download, a file
    // being sent): a Write from any other thread then fails at once with LineBusy, so nothing
    // typed can fall between the file's bytes. Waits up to limitMs for writes already under way
    // on other threads to leave; false, and no claim, when they did not.
    bool BeginSoleWriter(std::uint32_t limitMs);
    // Ends the calling thread's claim; nothing when it holds none.
    void EndSoleWriter();
    // Counts the claims so far, so a refused writer can tell one claim from the next.
    std::uint64_t SoleWriterClaims() const { return m_nSoleClaims.load(); }

protected:
    std::error_code SetLastError(std::error_code code);

private:
    class COperation;
    friend class COperation;

    std::error_code Transfer(bool isWrite, void* data, std::uint32_t size, std::uint32_t* count,
        COverlapped* overlapped, std::uint32_t timeout);

    // Stores the code under m_mutex (the caller holds it).
    void StoreLastErrorLocked(std::error_code code);

    std::mutex m_lifeMutex;            // one Open or Close at a time
    mutable std::mutex m_mutex;        // guards the fields below up to the atomics, and Close's wait
    std::condition_variable m_cvIdle;  // signalled when the last operation in progress leaves a closing port
    std::error_code m_lastError;
    std::uint32_t m_dwEventBits = 0;
    char m_nEventChar = 0;
    // Set while m_lastError holds no error: storing "no error" again (every byte a download
    // writes) then takes no lock.
    std::atomic<bool> m_bNoLastError{true};
    // Read by every operation as it starts, without a lock (the per-byte path of a download).
    std::atomic<std::uint32_t> m_dwEventMask{0};
    std::atomic<int> m_nReadMode{ReadModeImmediate};
    std::atomic<bool> m_bOverlapped{false};
    std::atomic<bool> m_bClosing{false};
    std::atomic<int> m_nActive{0};     // operations in progress on the descriptor (and ones turning back)
    std::atomic<bool> m_bOpen{false};
    std::unique_ptr<CSerialBackend> m_pBackend; // the system side of a local line
    std::unique_ptr<CSerialBackend> m_pRemote;  // the one of a line on another machine
    CSerialBackend* m_pLine = nullptr;          // the open line's (set by Open before the port counts as open)
    // The only thread allowed to write (none: any), the writes under way, and whether the
    // claimant waits for them to leave (guarded by m_mutex when it is set).
    std::atomic<std::thread::id> m_soleWriter{};
    std::atomic<int> m_nWriters{0};
    std::atomic<std::uint64_t> m_nSoleClaims{0};
    std::atomic<bool> m_bSoleWaits{false};
    std::condition_variable m_cvWriters;
};
