// A serial line on another machine, over TCP: RFC 2217 (Telnet Com Port Control, as ser2net
// serves it) or raw bytes (socket://). The Telnet rules are CRfc2217Protocol's; this file holds
// the socket.
//
// One I/O thread per connection owns the socket: it reads into a bounded receive buffer (64 KB;
// when it is full the socket is not read, and TCP holds the server back), feeds the protocol,
// and sends the bounded output queue (the line's bytes, escaped, and the protocol's commands and
// answers in the order they were made). Read, Write, the event wait and the settings wait on one
// condition variable for what the thread has done; Close (WakeAll) wakes them all. A connection
// that ends is a line that went away: what was received is still read, then every operation
// fails with the socket's reason.

#include "base/line_timing.h"
#include "serial/remote_port_name.h"
#include "serial/rfc2217_protocol.h"
#include "serial/serial_backend.h"
#include "serial/serial_error.h"
#include "serial/serial_port.h"
#include "serial/write_turn.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sockios.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How long a connection may take to be made, and the server to negotiate and to acknowledge a
// setting.
constexpr auto kConnectLimit = std::chrono::milliseconds(2500);
constexpr auto kAnswerLimit = std::chrono::milliseconds(2000);
// How long Close lets queued output go before it drops it.
constexpr auto kDrainLimit = std::chrono::milliseconds(500);

std::error_code Errno(int value)
{
    return {value, std::system_category()};
}

// Connects to one address within the time; the socket (non-blocking) or -1 with the reason.
int ConnectOne(const addrinfo& address, Clock::time_point until, std::error_code& code)
{
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        code = Errno(errno);
        return -1;
    }
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
        code = Errno(errno);
        ::close(fd);
        return -1;
    }
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd pfd{fd, POLLOUT, 0};
        const int n = ::poll(&pfd, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            code = n == 0 ? Errno(ETIMEDOUT) : Errno(errno);
            ::close(fd);
            return -1;
        }
        break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        code = Errno(error);
        ::close(fd);
        return -1;
    }
    return fd;
}

class CRemoteSerial final : public CSerialBackend {
public:
    ~CRemoteSerial() override { Shut(false); }

    std::error_code Open(const std::string& name) override;
    void Close() override { Shut(true); }
    void WakeAll() override
    {
        std::lock_guard lock(m_mutex);
        m_bClosing = true;
        m_cv.notify_all();
    }
    void WakeWaiter() override
    {
        std::lock_guard lock(m_mutex);
        m_bMaskWake = true;
        m_cv.notify_all();
    }
    void ForgetWake() override
    {
        std::lock_guard lock(m_mutex);
        m_bMaskWake = false;
    }
    std::error_code GetLine(CLineConfig& line) override;
    std::error_code SetLine(const CLineConfig& line) override;
    std::error_code Read(void* buffer, std::size_t size, std::size_t& done, bool waitAll,
        const CDeadline& deadline) override;
    std::error_code Write(const void* data, std::size_t size, std::size_t& done,
        const CDeadline& deadline) override;
    std::error_code WaitEvents(std::uint32_t mask, std::uint32_t& events, const CDeadline& deadline) override;
    std::error_code OutputQueue(std::size_t& bytes) override;
    std::error_code DiscardInput() override;
    std::error_code ClearErrors(std::uint32_t& errors) override;
    std::error_code SetModemLine(std::uint32_t line, bool on) override;
    std::error_code GetModemLines(std::uint32_t& lines) override;
    std::uint32_t RoundTripMs() const override { return m_nRoundTripMs.load(); }
    std::string AgreedOptions() override
    {
        std::lock_guard lock(m_mutex);
        return m_bTelnet ? m_protocol.AgreedText() : std::string();
    }

private:
    static constexpr std::size_t kRxSize = 64 * 1024;
    static constexpr std::size_t kOutSize = 16 * 1024;
    // How far the writer may run ahead of the far line's rate, in characters (what a local
    // UART's driver queue holds), so progress, Stop and a server that dies are seen as for a
    // local port and not after everything sits in the network's buffers.
    static constexpr std::size_t kLeadBytes = 4096;

    void ThreadProc();
    // Ends the connection and joins the thread; drain: queued output goes first (bounded).
    void Shut(bool drain);
    void WakeThread() { eventfd_write(m_fdWake, 1); }
    // Waits on m_cv until done() or the time is up (false); the caller holds lock.
    template <class F>
    bool WaitUntil(std::unique_lock<std::mutex>& lock, const CDeadline& deadline, F done)
    {
        if (!deadline.IsLimited()) {
            m_cv.wait(lock, done);
            return true;
        }
        return m_cv.wait_until(lock, deadline.When(), done);
    }
    // Queues protocol bytes and waits for the acknowledgements in mask (the caller holds lock):
    // ECANCELED on close, the connection's reason when it ends, Timeout after kAnswerLimit.
    std::error_code AwaitAcks(std::unique_lock<std::mutex>& lock, std::uint32_t mask);
    void HangUpLocked(std::error_code code);
    // Sends a barrier when none is in flight and bytes were written since the last one answered.
    void BarrierLocked();
    std::size_t RxCountLocked() const { return m_rx.size() - m_nRxHead; }
    // The time one character takes on the far line at its rate (zero when it has none).
    Clock::duration ByteTimeLocked() const;

    CRemotePortName m_name;
    bool m_bTelnet = true;
    int m_fd = -1;
    int m_fdWake = -1;
    std::thread m_thread;
    CWriteTurn m_turn;

    std::mutex m_mutex; // everything below
    std::condition_variable m_cv;
    CRfc2217Protocol m_protocol;
    std::string m_rx;
    std::size_t m_nRxHead = 0;
    std::string m_out;
    std::uint64_t m_nArrived = 0; // receives that brought data
    std::uint64_t m_nSeen = 0;    // the event wait's last look at m_nArrived
    bool m_bStop = false;
    bool m_bClosing = false;
    bool m_bMaskWake = false;
    std::error_code m_hangCode; // set once the connection has ended
    CLineConfig m_rawLine;      // socket://: what was asked for, kept and reported back
    bool m_bNoModemLines = false; // a DTR or RTS request went unanswered
    Clock::time_point m_tLineFree{}; // when the far line will have carried what was written
    // The line's bytes written, and those the server is known to have taken (its answer to a
    // barrier came back); the barrier in flight (0: none) and the bytes written before it.
    // m_bBarriers: the server answered the query of its data size at connecting.
    std::uint64_t m_nWritten = 0;
    std::uint64_t m_nTaken = 0;
    std::uint64_t m_nBarrier = 0;
    std::uint64_t m_nBarrierBytes = 0;
    bool m_bBarriers = false;
    std::atomic<std::uint32_t> m_nRoundTripMs{0};
};

std::uint32_t MillisecondsSince(Clock::time_point start)
{
    const auto elapsed = std::chrono::ceil<std::chrono::milliseconds>(Clock::now() - start).count();
    return static_cast<std::uint32_t>(std::clamp<long long>(elapsed, 0, 60'000));
}

std::error_code CRemoteSerial::Open(const std::string& name)
{
    const std::optional<CRemotePortName> parsed = CRemotePortName::Parse(name);
    if (!parsed)
        return ESerialError::RemoteName;
    m_name = *parsed;
    m_bTelnet = m_name.m_eKind == ERemoteKind::Rfc2217;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(m_name.m_nPort);
    const int resolved = ::getaddrinfo(m_name.m_strHost.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0)
        return resolved == EAI_SYSTEM ? Errno(errno) : std::error_code(ESerialError::HostUnknown);
    const Clock::time_point connecting = Clock::now();
    const Clock::time_point until = connecting + kConnectLimit;
    std::error_code code = Errno(ECONNREFUSED);
    int fd = -1;
    for (const addrinfo* at = found; at && fd < 0 && Clock::now() < until; at = at->ai_next)
        fd = ConnectOne(*at, until, code);
    ::freeaddrinfo(found);
    if (fd < 0)
        return code;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A network that drops is found within about half a minute, not after the system's two hours.
    const int idle = 10, interval = 5, count = 3, userTimeout = 30000;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        code = Errno(errno);
        ::close(fd);
        return code;
    }
    {
        std::lock_guard lock(m_mutex);
        m_fd = fd;
        m_fdWake = wake;
        m_protocol = CRfc2217Protocol();
        m_rx.clear();
        m_nRxHead = 0;
        m_out.clear();
        m_nArrived = m_nSeen = 0;
        m_bStop = m_bClosing = m_bMaskWake = false;
        m_hangCode = {};
        m_rawLine = CLineConfig();
        m_bNoModemLines = false;
        m_tLineFree = {};
        m_nWritten = m_nTaken = m_nBarrier = m_nBarrierBytes = 0;
        m_bBarriers = false;
        if (m_bTelnet)
            m_protocol.Start(m_out);
    }
    // A connection takes one round trip (the last address tried).
    m_nRoundTripMs = MillisecondsSince(connecting);
    const Clock::time_point negotiating = Clock::now();
    m_thread = std::thread([this] { ThreadProc(); });
    if (!m_bTelnet)
        return {};

    // The server must take the Com Port option; its answers to the queries of the line follow.
    std::unique_lock lock(m_mutex);
    const CDeadline deadline = CDeadline::At(Clock::now() + kAnswerLimit);
    WaitUntil(lock, deadline, [this] {
        return m_hangCode || m_protocol.ComPortRefused()
            || (m_protocol.ComPortAccepted() && m_protocol.NegotiationAnswered()
                && !(m_protocol.PendingAcks() & CRfc2217Protocol::kAckLine));
    });
    if (m_protocol.ComPortAccepted() && !m_hangCode) {
        // Two round trips: the options, then the queries of the line.
        m_nRoundTripMs = MillisecondsSince(negotiating) / 2;
        m_bBarriers = !(m_protocol.PendingAcks() & CRfc2217Protocol::kAckDataSize);
        return {};
    }
    code = m_hangCode ? m_hangCode : std::error_code(ESerialError::NoLineControl);
    lock.unlock();
    Shut(false);
    return code;
}

void CRemoteSerial::Shut(bool drain)
{
    if (m_fd < 0)
        return;
    {
        // Queued bytes go out first, for a bounded time.
        std::unique_lock lock(m_mutex);
        if (drain)
            m_cv.wait_for(lock, kDrainLimit, [this] { return m_out.empty() || m_hangCode; });
        m_bStop = true;
    }
    WakeThread();
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_fd);
    ::close(m_fdWake);
    m_fd = -1;
    m_fdWake = -1;
}

void CRemoteSerial::HangUpLocked(std::error_code code)
{
    if (!m_hangCode)
        m_hangCode = code;
    m_cv.notify_all();
}

void CRemoteSerial::ThreadProc()
{
    std::string buffer(16 * 1024, '\0');
    std::string data;
    for (;;) {
        bool wantIn = false;
        bool wantOut = false;
        std::size_t room = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_bStop)
                return;
            if (!m_hangCode) {
                room = kRxSize - RxCountLocked();
                wantIn = room > 0;
                wantOut = !m_out.empty();
            }
        }
        // A socket that is not to be read or written is left out: a hang-up would wake every poll.
        pollfd fds[2] = {{wantIn || wantOut ? m_fd : -1, static_cast<short>((wantIn ? POLLIN : 0) | (wantOut ? POLLOUT : 0)), 0},
            {m_fdWake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            std::lock_guard lock(m_mutex);
            HangUpLocked(Errno(errno));
            continue;
        }
        if (fds[1].revents) {
            eventfd_t value = 0;
            eventfd_read(m_fdWake, &value);
        }
        if (!wantIn && (fds[0].revents & (POLLHUP | POLLERR))) {
            // Nothing is read while the buffer is full: the socket's own error tells the end.
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
            std::lock_guard lock(m_mutex);
            HangUpLocked(Errno(error != 0 ? error : ECONNRESET));
            continue;
        }
        if (wantIn && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(m_fd, buffer.data(), std::min(room, buffer.size()), MSG_DONTWAIT);
            std::lock_guard lock(m_mutex);
            if (n > 0) {
                data.clear();
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
                if (m_bTelnet)
                    m_protocol.Receive(bytes, static_cast<std::size_t>(n), data, m_out);
                else
                    data.assign(buffer.data(), static_cast<std::size_t>(n));
                if (m_nBarrier != 0 && m_protocol.BarrierAnswers() >= m_nBarrier) {
                    m_nTaken = m_nBarrierBytes;
                    m_nBarrier = 0;
                    BarrierLocked();
                }
                if (!data.empty()) {
                    if (m_nRxHead > kRxSize / 2) {
                        m_rx.erase(0, m_nRxHead);
                        m_nRxHead = 0;
                    }
                    m_rx += data;
                    ++m_nArrived;
                }
                m_cv.notify_all();
            } else if (n == 0) {
                HangUpLocked(Errno(ECONNRESET)); // the server closed the connection
            } else if (errno != EAGAIN && errno != EINTR) {
                HangUpLocked(Errno(errno));
            }
        }
        if (fds[0].revents & POLLOUT) {
            std::lock_guard lock(m_mutex);
            const ssize_t n = ::send(m_fd, m_out.data(), m_out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                m_out.erase(0, static_cast<std::size_t>(n));
                m_cv.notify_all();
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                HangUpLocked(Errno(errno));
            }
        }
    }
}

std::error_code CRemoteSerial::AwaitAcks(std::unique_lock<std::mutex>& lock, std::uint32_t mask)
{
    WakeThread();
    const Clock::time_point asked = Clock::now();
    const CDeadline deadline = CDeadline::At(asked + kAnswerLimit);
    const bool answered = WaitUntil(lock, deadline,
        [&] { return m_bClosing || m_hangCode || !(m_protocol.PendingAcks() & mask); });
    if (m_bClosing)
        return Errno(ECANCELED);
    if (m_hangCode)
        return m_hangCode;
    if (!answered)
        return ESerialError::Timeout;
    m_nRoundTripMs = MillisecondsSince(asked);
    return {};
}

std::error_code CRemoteSerial::GetLine(CLineConfig& line)
{
    std::lock_guard lock(m_mutex);
    line = m_bTelnet ? m_protocol.Line() : m_rawLine;
    return {};
}

std::error_code CRemoteSerial::SetLine(const CLineConfig& line)
{
    std::unique_lock lock(m_mutex);
    if (!m_bTelnet) {
        m_rawLine = line; // bytes only: there is no line to set
        return {};
    }
    const CLineConfig before = m_protocol.Line();
    m_protocol.RequestLine(line, m_out);
    if (std::error_code code = AwaitAcks(lock, CRfc2217Protocol::kAckLine))
        return code;
    CLineConfig got = m_protocol.Line();
    const std::uint32_t tolerance = line.m_nBaud / 50; // as a local UART's divisor rounds
    const std::uint32_t baudDiff = got.m_nBaud > line.m_nBaud ? got.m_nBaud - line.m_nBaud : line.m_nBaud - got.m_nBaud;
    got.m_nBaud = line.m_nBaud;
    if (baudDiff <= tolerance && got == line)
        return {};
    // A setting the server did not take: the line as it was, as a local port keeps it.
    m_protocol.RequestLine(before, m_out);
    AwaitAcks(lock, CRfc2217Protocol::kAckLine);
    return Errno(EINVAL);
}

std::error_code CRemoteSerial::Read(void* buffer, std::size_t size, std::size_t& done, bool waitAll,
    const CDeadline& deadline)
{
    done = 0;
    auto* out = static_cast<char*>(buffer);
    std::unique_lock lock(m_mutex);
    for (;;) {
        const std::size_t take = std::min(size - done, RxCountLocked());
        if (take > 0) {
            const bool wasFull = RxCountLocked() == kRxSize;
            std::copy_n(m_rx.data() + m_nRxHead, take, out + done);
            m_nRxHead += take;
            done += take;
            if (m_nRxHead == m_rx.size()) {
                m_rx.clear();
                m_nRxHead = 0;
            }
            if (wasFull)
                WakeThread(); // room again: the socket is read again
        }
        if (done == size || (done > 0 && !waitAll))
            return {};
        if (m_hangCode)
            return m_hangCode;
        if (!waitAll)
            return {};
        if (m_bClosing)
            return Errno(ECANCELED);
        if (!WaitUntil(lock, deadline, [this] { return RxCountLocked() > 0 || m_hangCode || m_bClosing; }))
            return ESerialError::Timeout;
    }
}

std::error_code CRemoteSerial::Write(const void* data, std::size_t size, std::size_t& done,
    const CDeadline& deadline)
{
    done = 0;
    if (!m_turn.Take(deadline))
        return ESerialError::Timeout;
    const CWriteTurn::CHeld held(m_turn);
    const auto* bytes = static_cast<const char*>(data);
    std::unique_lock lock(m_mutex);
    while (done < size) {
        // Room in the queue, and on the line: at most kLeadBytes ahead of what the set rate has
        // carried since, as a local UART's driver holds them.
        const Clock::duration byteTime = ByteTimeLocked();
        const Clock::duration maxLead = byteTime * static_cast<int>(kLeadBytes);
        Clock::time_point now;
        for (;;) {
            if (m_bClosing)
                return Errno(ECANCELED);
            if (m_hangCode)
                return m_hangCode;
            now = Clock::now();
            const bool queueRoom = m_out.size() < kOutSize;
            if (queueRoom && (byteTime == Clock::duration::zero() || m_tLineFree - now < maxLead))
                break;
            if (deadline.IsLimited() && now >= deadline.When())
                return ESerialError::Timeout;
            // The line has room again when its lead falls below the limit; the queue when the
            // thread has sent (which notifies).
            Clock::time_point until = queueRoom ? m_tLineFree - maxLead + byteTime : Clock::time_point::max();
            if (deadline.IsLimited())
                until = std::min(until, deadline.When());
            if (until == Clock::time_point::max())
                m_cv.wait(lock);
            else
                m_cv.wait_until(lock, until);
        }
        std::size_t chunk = std::min(size - done, kOutSize - m_out.size());
        if (byteTime != Clock::duration::zero()) {
            const auto lead = std::max(m_tLineFree - now, Clock::duration::zero());
            chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>((maxLead - lead) / byteTime) + 1);
            m_tLineFree = std::max(m_tLineFree, now) + byteTime * static_cast<long>(chunk);
        }
        const bool wasEmpty = m_out.empty();
        if (m_bTelnet)
            CRfc2217Protocol::AppendData(bytes + done, chunk, m_out);
        else
            m_out.append(bytes + done, chunk);
        done += chunk;
        m_nWritten += chunk;
        if (wasEmpty)
            WakeThread();
    }
    BarrierLocked();
    return {};
}

std::error_code CRemoteSerial::WaitEvents(std::uint32_t mask, std::uint32_t& events, const CDeadline& deadline)
{
    events = 0;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_bMaskWake) {
            m_bMaskWake = false;
            return {}; // the mask was set again: end with no events
        }
        if (m_bClosing)
            return Errno(ECANCELED);
        if (m_nArrived != m_nSeen) {
            m_nSeen = m_nArrived;
            events |= line_event::kRxChar;
        }
        events |= m_protocol.TakeLineEvents();
        events &= mask;
        if (events)
            return {};
        // What came before the end is reported first.
        if (m_hangCode)
            return m_hangCode;
        if (!WaitUntil(lock, deadline, [this] {
                return m_bMaskWake || m_bClosing || m_nArrived != m_nSeen || m_hangCode || m_protocol.HasLineEvents();
            }))
            return ESerialError::Timeout;
    }
}

void CRemoteSerial::BarrierLocked()
{
    if (!m_bBarriers || m_nBarrier != 0 || m_nWritten == m_nTaken || m_hangCode)
        return;
    const bool wasEmpty = m_out.empty();
    m_nBarrier = m_protocol.RequestBarrier(m_out);
    m_nBarrierBytes = m_nWritten;
    if (wasEmpty)
        WakeThread();
}

std::error_code CRemoteSerial::OutputQueue(std::size_t& bytes)
{
    int queued = 0;
    // What the socket has not handed on yet counts as not sent, and so do the bytes the line
    // cannot have carried yet at its rate.
    if (::ioctl(m_fd, SIOCOUTQ, &queued) != 0)
        queued = 0;
    std::lock_guard lock(m_mutex);
    bytes = m_out.size() + static_cast<std::size_t>(std::max(queued, 0));
    const Clock::duration byteTime = ByteTimeLocked();
    const Clock::duration lead = m_tLineFree - Clock::now();
    if (byteTime != Clock::duration::zero() && lead > Clock::duration::zero())
        bytes = std::max(bytes, static_cast<std::size_t>(lead / byteTime));
    // Nor what the server has not taken yet (it waits in the network's or the server's buffers
    // when the server is slower than the line).
    if (m_bBarriers)
        bytes = std::max(bytes, static_cast<std::size_t>(m_nWritten - m_nTaken));
    return {};
}

Clock::duration CRemoteSerial::ByteTimeLocked() const
{
    const CLineConfig line = m_bTelnet ? m_protocol.Line() : m_rawLine;
    if (line.m_nBaud == 0)
        return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(line_timing::BitsPerCharacter(line) * 1'000'000'000LL / line.m_nBaud));
}

std::error_code CRemoteSerial::DiscardInput()
{
    std::unique_lock lock(m_mutex);
    m_rx.clear();
    m_nRxHead = 0;
    if (!m_bTelnet || m_hangCode)
        return m_hangCode;
    // Bytes that come before the server's acknowledgement are older than the purge.
    m_protocol.RequestPurgeReceived(m_out);
    const std::error_code code = AwaitAcks(lock, CRfc2217Protocol::kAckPurge);
    m_rx.clear();
    m_nRxHead = 0;
    return code == ESerialError::Timeout ? std::error_code() : code;
}

std::error_code CRemoteSerial::ClearErrors(std::uint32_t& errors)
{
    std::lock_guard lock(m_mutex);
    errors = m_bTelnet ? m_protocol.TakeLineErrors() : 0;
    return {};
}

std::error_code CRemoteSerial::SetModemLine(std::uint32_t line, bool on)
{
    std::unique_lock lock(m_mutex);
    if (!m_bTelnet)
        return Errno(ENOTTY); // raw TCP has no modem lines
    struct CRequest {
        std::uint32_t m_nLine;
        std::uint8_t m_nOn, m_nOff;
        std::uint32_t m_nAck;
    };
    static constexpr CRequest kRequests[] = {
        {MODEM_DTR, CRfc2217Protocol::kControlDtrOn, CRfc2217Protocol::kControlDtrOff, CRfc2217Protocol::kAckDtr},
        {MODEM_RTS, CRfc2217Protocol::kControlRtsOn, CRfc2217Protocol::kControlRtsOff, CRfc2217Protocol::kAckRts},
    };
    for (const CRequest& request : kRequests) {
        if (!(line & request.m_nLine))
            continue;
        // A server that left one unanswered has a device without modem lines behind it (a
        // pseudo-terminal): it is not waited for again.
        if (m_bNoModemLines)
            return Errno(ENOTTY);
        const std::uint8_t value = on ? request.m_nOn : request.m_nOff;
        m_protocol.RequestControl(value, m_out);
        if (std::error_code code = AwaitAcks(lock, request.m_nAck)) {
            m_bNoModemLines = code == ESerialError::Timeout;
            return m_bNoModemLines ? Errno(ENOTTY) : code;
        }
        const std::uint8_t ack = request.m_nLine == MODEM_DTR ? m_protocol.DtrAck() : m_protocol.RtsAck();
        if (ack != value)
            return Errno(EINVAL);
    }
    return {};
}

std::error_code CRemoteSerial::GetModemLines(std::uint32_t& lines)
{
    std::lock_guard lock(m_mutex);
    if (!m_bTelnet)
        return Errno(ENOTTY);
    lines = m_protocol.ModemLines();
    if (m_protocol.DtrAck() == CRfc2217Protocol::kControlDtrOn)
        lines |= MODEM_DTR;
    if (m_protocol.RtsAck() == CRfc2217Protocol::kControlRtsOn)
        lines |= MODEM_RTS;
    return {};
}

} // namespace

std::unique_ptr<CSerialBackend> CSerialBackend::CreateRemote()
{
    return std::make_unique<CRemoteSerial>();
}
