// The serial line on POSIX (Linux): termios2 through ioctl, poll for every wait.
//
// Waits: every poll also watches an eventfd that Close sets for good (so a Read, a Write and
// the listener's wait all end at once) and one set when the event mask changes (ends the
// listener's wait).
//
// Arrival events: a terminal cannot be peeked, and poll reports "readable" for as long as
// bytes sit unread. So the event wait moves arriving bytes from the driver into a bounded
// receive buffer of ours (64 KB) and reports line_event::kRxChar when it has moved new ones; Read takes
// from that buffer first, then from the driver. The driver's queue is thus empty while the
// listener waits, and "readable" means new bytes. When nobody reads and the buffer is full,
// the wait stops polling for input (the driver's queue and flow control take over) and sleeps
// until a Read makes room, the mask changes or the port closes: no CPU is spent on unread bytes.
//
// What termios does not have, and what stands in for it:
// - no DTR/DSR flow control: the hardware handshake is CRTSCTS alone;
// - no event character: it is kept by the port object, and line_event::kRxFlag is never reported (a
//   terminal cannot be peeked); line_event::kTxEmpty is never reported either; modem-line events come
//   only from counter changes seen when the wait wakes for other reasons;
// - line errors and breaks come from the TIOCGICOUNT counters; drivers without them
//   (pseudo-terminals) report none;
// - no read time-outs in the driver: VMIN 1 / VTIME 0, and the read modes are ours;
// - settings the driver does not keep (a pseudo-terminal keeps 8 data bits and no parity) are
//   found by reading back, refused with EINVAL, and the previous settings restored.

#include "base/line_timing.h"
#include "serial/serial_backend.h"
#include "serial/serial_error.h"
#include "serial/serial_port.h"
#include "serial/write_turn.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

std::error_code Errno(int value)
{
    return {value, std::system_category()};
}

std::error_code LastErrno()
{
    return Errno(errno);
}

struct CBaudCode {
    std::uint32_t m_nRate;
    unsigned m_nCode;
};

constexpr CBaudCode kBaudCodes[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool DrainEventFd(int fd)
{
    eventfd_t value = 0;
    return eventfd_read(fd, &value) == 0;
}

class CPosixSerial final : public CSerialBackend {
public:
    ~CPosixSerial() override { Close(); }

    std::error_code Open(const std::string& path) override;
    void Close() override;
    void WakeAll() override { eventfd_write(m_fdClose, 1); }
    void WakeWaiter() override { eventfd_write(m_fdMask, 1); }
    void ForgetWake() override { DrainEventFd(m_fdMask); }
    std::error_code GetLine(CLineConfig& line) override;
    std::error_code SetLine(const CLineConfig& line) override;
    std::error_code Read(void* buffer, std::size_t size, std::size_t& done, bool waitAll,
        const CDeadline& deadline) override;
    std::error_code Write(const void* data, std::size_t size, std::size_t& done,
        const CDeadline& deadline) override;
    std::error_code WaitEvents(std::uint32_t mask, std::uint32_t& events, const CDeadline& deadline) override;
    std::error_code ClearErrors(std::uint32_t& errors) override;
    std::error_code SetModemLine(std::uint32_t line, bool on) override
    {
        int bits = (line & MODEM_DTR ? TIOCM_DTR : 0) | (line & MODEM_RTS ? TIOCM_RTS : 0);
        return ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? std::error_code() : LastErrno();
    }
    std::error_code GetModemLines(std::uint32_t& lines) override
    {
        int bits = 0;
        if (::ioctl(m_fd, TIOCMGET, &bits) != 0)
            return LastErrno();
        struct {
            int m_nBit;
            std::uint32_t m_nLine;
        } const map[] = {{TIOCM_DTR, MODEM_DTR}, {TIOCM_RTS, MODEM_RTS}, {TIOCM_CTS, MODEM_CTS},
            {TIOCM_DSR, MODEM_DSR}, {TIOCM_RNG, MODEM_RING}, {TIOCM_CAR, MODEM_DCD}};
        lines = 0;
        for (const auto& m : map)
            if (bits & m.m_nBit)
                lines |= m.m_nLine;
        return {};
    }
    std::error_code OutputQueue(std::size_t& bytes) override
    {
        int queued = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
            return LastErrno();
        bytes = static_cast<std::size_t>(std::max(queued, 0));
        return {};
    }

    std::error_code DiscardInput() override
    {
        // Both what the driver holds and what was already pulled into our receive buffer.
        std::lock_guard lock(m_rxMutex);
        m_nRxHead = 0;
        m_nRxCount = 0;
        if (::ioctl(m_fd, TCFLSH, TCIFLUSH) != 0)
            return LastErrno();
        // TCIFLUSH leaves bytes the driver has taken but not yet handed to the line discipline;
        // they would arrive after the flush. A read that finds nothing waits for that hand-over,
        // so reading until nothing is left drops them too. Bounded: a board that keeps talking
        // does not hold the caller.
        std::array<unsigned char, 4096> scratch;
        for (std::size_t dropped = 0; dropped < kMaxDiscardBytes;) {
            const ssize_t got = ::read(m_fd, scratch.data(), scratch.size());
            if (got <= 0)
                break;
            dropped += static_cast<std::size_t>(got);
        }
        return {};
    }

private:
    // Waits until fd is ready for what (POLLIN/POLLOUT) or hangs up. ECANCELED on close,
    // 1460 at the deadline.
    std::error_code WaitReady(short what, const CDeadline& deadline);
    bool ReadCounters(serial_icounter_struct& counters);
    void DrainOutput();
    // Moves what the driver holds into the receive buffer (caller holds m_rxMutex). Returns the
    // bytes moved; sets hungUp at end-of-file or EIO.
    std::size_t PullLocked(bool& hungUp, std::error_code& code);
    std::size_t TakeLocked(unsigned char* out, std::size_t size);

    int m_fd = -1;
    int m_fdClose = -1;
    int m_fdMask = -1;
    int m_fdRead = -1;  // set by Read when it takes from the receive buffer
    int m_fdData = -1;  // set by the event wait when it fills the receive buffer
    termios2 m_original{};
    bool m_bHaveCounters = false;

    static constexpr std::size_t kRxSize = 64 * 1024;
    static constexpr std::size_t kMaxDiscardBytes = 64 * 1024;
    CWriteTurn m_turn; // one Write at a time on the line
    std::mutex m_rxMutex; // the receive buffer, and the order of reads from the driver
    std::vector<unsigned char> m_rx = std::vector<unsigned char>(kRxSize);
    std::size_t m_nRxHead = 0;
    std::size_t m_nRxCount = 0;

    // Event-wait side (one waiter at a time).
    bool m_bHungUp = false;
    serial_icounter_struct m_eventCounters{};

    std::mutex m_errorMutex;
    serial_icounter_struct m_errorCounters{};
};

std::error_code CPosixSerial::Open(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return LastErrno();
    auto fail = [fd](std::error_code code, bool locked) {
        if (locked)
            ::flock(fd, LOCK_UN);
        ::close(fd);
        return code;
    };
    termios2 original{};
    if (::ioctl(fd, TCGETS2, &original) != 0)
        return fail(Errno(ENOTTY), false);
    // TIOCEXCL does not stop root; the lock does, and also stops other programs that lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? Errno(EBUSY) : LastErrno(), false);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail(LastErrno(), true);

    termios2 raw = original;
    raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF
        | IXANY | INPCK);
    raw.c_oflag &= ~OPOST;
    raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    raw.c_cflag |= CS8 | CLOCAL | CREAD;
    // VMIN 1 makes an empty non-blocking read say EAGAIN, so a read of 0 means a hang-up.
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &raw) != 0) {
        std::error_code code = LastErrno();
        ::ioctl(fd, TIOCNXCL);
        return fail(code, true);
    }

    int fds[4] = {-1, -1, -1, -1};
    for (int& e : fds) {
        e = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (e < 0) {
            std::error_code code = LastErrno();
            for (int c : fds)
                if (c >= 0)
                    ::close(c);
            ::ioctl(fd, TCSETS2, &original);
            ::ioctl(fd, TIOCNXCL);
            return fail(code, true);
        }
    }
    m_fd = fd;
    m_fdClose = fds[0];
    m_fdMask = fds[1];
    m_fdRead = fds[2];
    m_fdData = fds[3];
    m_original = original;
    {
        std::lock_guard lock(m_rxMutex);
        m_nRxHead = 0;
        m_nRxCount = 0;
    }
    m_bHungUp = false;
    serial_icounter_struct counters{};
    m_bHaveCounters = ReadCounters(counters);
    m_eventCounters = counters;
    {
        std::lock_guard lock(m_errorMutex);
        m_errorCounters = counters;
    }
    return {};
}

void CPosixSerial::Close()
{
    if (m_fd < 0)
        return;
    DrainOutput();
    ::ioctl(m_fd, TCSETS2, &m_original);
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    for (int* e : {&m_fdClose, &m_fdMask, &m_fdRead, &m_fdData}) {
        ::close(*e);
        *e = -1;
    }
    m_fd = -1;
}

// Lets the driver send what is queued, for as long as that takes at the line's rate plus half a
// second, then drops the rest: a line stopped by flow control would otherwise hold the close
// for the driver's closing wait (30 seconds). The driver gives no notice when its queue is
// empty, so the queue is looked at every 10 ms until then.
void CPosixSerial::DrainOutput()
{
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
        return;
    CLineConfig line;
    unsigned baud = 0;
    unsigned bits = line_timing::kDefaultBitsPerCharacter;
    if (!GetLine(line)) {
        baud = line.m_nBaud;
        bits = line_timing::BitsPerCharacter(line);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500)
        + line_timing::LineTime(static_cast<std::uint64_t>(queued), baud, bits);
    while (queued > 0 && std::chrono::steady_clock::now() < deadline) {
        ::poll(nullptr, 0, 10);
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
            return;
    }
    if (queued > 0)
        ::ioctl(m_fd, TCFLSH, TCOFLUSH);
}

std::error_code CPosixSerial::GetLine(CLineConfig& line)
{
    termios2 t{};
    if (::ioctl(m_fd, TCGETS2, &t) != 0)
        return LastErrno();
    line.m_nBaud = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: line.m_nDataBits = 5; break;
    case CS6: line.m_nDataBits = 6; break;
    case CS7: line.m_nDataBits = 7; break;
    default: line.m_nDataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        line.m_eParity = EParity::None;
    else if (t.c_cflag & CMSPAR)
        line.m_eParity = (t.c_cflag & PARODD) ? EParity::Mark : EParity::Space;
    else
        line.m_eParity = (t.c_cflag & PARODD) ? EParity::Odd : EParity::Even;
    if (!(t.c_cflag & CSTOPB))
        line.m_eStopBits = EStopBits::One;
    else
        line.m_eStopBits = line.m_nDataBits == 5 ? EStopBits::OneAndHalf : EStopBits::Two;
    if (t.c_cflag & CRTSCTS)
        line.m_eHandshake = EHandshake::Hardware;
    else if ((t.c_iflag & IXON) && (t.c_iflag & IXOFF))
        line.m_eHandshake = EHandshake::Software;
    else
        line.m_eHandshake = EHandshake::None;
    return {};
}

std::error_code CPosixSerial::SetLine(const CLineConfig& line)
{
    termios2 before{};
    if (::ioctl(m_fd, TCGETS2, &before) != 0)
        return LastErrno();
    termios2 t = before;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    unsigned code = BOTHER;
    for (const CBaudCode& b : kBaudCodes)
        if (b.m_nRate == line.m_nBaud)
            code = b.m_nCode;
    t.c_cflag |= code;
    t.c_ospeed = line.m_nBaud;
    t.c_ispeed = line.m_nBaud;

    static constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= kSizes[line.m_nDataBits - 5];
    switch (line.m_eParity) {
    case EParity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case EParity::Even: t.c_cflag |= PARENB; break;
    case EParity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case EParity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (line.m_eStopBits != EStopBits::One)
        t.c_cflag |= CSTOPB; // with 5 data bits the UART sends one and a half
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (line.m_eHandshake == EHandshake::Hardware)
        t.c_cflag |= CRTSCTS;
    else if (line.m_eHandshake == EHandshake::Software)
        t.c_iflag |= IXON | IXOFF;

    if (::ioctl(m_fd, TCSETS2, &t) != 0)
        return LastErrno();
    // Drivers drop what they cannot do without a word; read back and compare.
    CLineConfig got;
    if (std::error_code code = GetLine(got))
        return code;
    const std::uint32_t tolerance = line.m_nBaud / 50; // rounding of the divisor, 2 %
    const std::uint32_t baudDiff = got.m_nBaud > line.m_nBaud ? got.m_nBaud - line.m_nBaud : line.m_nBaud - got.m_nBaud;
    got.m_nBaud = line.m_nBaud;
    if (baudDiff > tolerance || got != line) {
        ::ioctl(m_fd, TCSETS2, &before);
        return Errno(EINVAL);
    }
    return {};
}

std::error_code CPosixSerial::WaitReady(short what, const CDeadline& deadline)
{
    pollfd fds[2] = {{m_fd, what, 0}, {m_fdClose, POLLIN, 0}};
    for (;;) {
        int n = ::poll(fds, 2, deadline.PollTimeout());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return LastErrno();
        }
        if (fds[1].revents)
            return Errno(ECANCELED);
        if (n == 0)
            return ESerialError::Timeout;
        return {}; // ready, or hung up: the next call tells which
    }
}

std::size_t CPosixSerial::TakeLocked(unsigned char* out, std::size_t size)
{
    std::size_t taken = 0;
    while (taken < size && m_nRxCount > 0) {
        const std::size_t run = std::min({size - taken, m_nRxCount, kRxSize - m_nRxHead});
        std::copy_n(m_rx.data() + m_nRxHead, run, out + taken);
        m_nRxHead = (m_nRxHead + run) % kRxSize;
        m_nRxCount -= run;
        taken += run;
    }
    return taken;
}

std::size_t CPosixSerial::PullLocked(bool& hungUp, std::error_code& code)
{
    std::size_t moved = 0;
    while (m_nRxCount < kRxSize) {
        const std::size_t tail = (m_nRxHead + m_nRxCount) % kRxSize;
        const std::size_t room = std::min(kRxSize - m_nRxCount, kRxSize - tail);
        ssize_t n = ::read(m_fd, m_rx.data() + tail, room);
        if (n > 0) {
            m_nRxCount += static_cast<std::size_t>(n);
            moved += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || errno == EIO) {
            hungUp = true;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN) {
            code = LastErrno();
        }
        break;
    }
    return moved;
}

std::error_code CPosixSerial::Read(void* buffer, std::size_t size, std::size_t& done, bool waitAll,
    const CDeadline& deadline)
{
    done = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (;;) {
        DrainEventFd(m_fdData);
        bool hungUp = false;
        std::error_code code;
        {
            // Buffered bytes are older than the driver's: take them first, under one lock.
            std::lock_guard lock(m_rxMutex);
            const std::size_t taken = TakeLocked(bytes + done, size - done);
            done += taken;
            if (taken > 0)
                eventfd_write(m_fdRead, 1);
            while (done < size) {
                ssize_t n = ::read(m_fd, bytes + done, size - done);
                if (n > 0) {
                    done += static_cast<std::size_t>(n);
                    continue;
                }
                if (n == 0 || errno == EIO)
                    hungUp = true;
                else if (errno == EINTR)
                    continue;
                else if (errno != EAGAIN)
                    code = LastErrno();
                break;
            }
        }
        if (done == size || (done > 0 && !waitAll))
            return {};
        if (hungUp)
            return Errno(ENODEV); // the other side went away
        if (code)
            return code;
        if (!waitAll)
            return {};
        // Wait for the driver or for the event wait filling our buffer.
        pollfd fds[3] = {{m_fd, POLLIN, 0}, {m_fdClose, POLLIN, 0}, {m_fdData, POLLIN, 0}};
        int n = ::poll(fds, 3, deadline.PollTimeout());
        if (n < 0 && errno != EINTR)
            return LastErrno();
        if (n > 0 && fds[1].revents)
            return Errno(ECANCELED);
        if (n == 0)
            return ESerialError::Timeout;
        if (n > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[0].revents & POLLIN)
            && !(fds[2].revents & POLLIN))
            return Errno(ENODEV);
    }
}

std::error_code CPosixSerial::Write(const void* data, std::size_t size, std::size_t& done,
    const CDeadline& deadline)
{
    done = 0;
    // One Write's bytes go out together: a key typed during a download waits for its turn.
    if (!m_turn.Take(deadline))
        return ESerialError::Timeout;
    const CWriteTurn::CHeld held(m_turn);
    const auto* bytes = static_cast<const unsigned char*>(data);
    bool waited = false;
    while (done < size) {
        ssize_t n = ::write(m_fd, bytes + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            waited = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return LastErrno();
        if (waited) {
            pollfd probe{m_fd, POLLOUT, 0};
            if (::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)))
                return Errno(EIO);
        }
        if (std::error_code code = WaitReady(POLLOUT, deadline))
            return code;
        waited = true;
    }
    return {};
}

bool CPosixSerial::ReadCounters(serial_icounter_struct& counters)
{
    return ::ioctl(m_fd, TIOCGICOUNT, &counters) == 0;
}

std::error_code CPosixSerial::WaitEvents(std::uint32_t mask, std::uint32_t& events, const CDeadline& deadline)
{
    events = 0;
    for (;;) {
        if (DrainEventFd(m_fdMask))
            return {}; // the mask was set again: end with no events
        DrainEventFd(m_fdRead);
        bool full = false;
        {
            std::lock_guard lock(m_rxMutex);
            std::error_code code;
            if (PullLocked(m_bHungUp, code) > 0) {
                events |= line_event::kRxChar;
                eventfd_write(m_fdData, 1);
            }
            if (code)
                return code;
            full = m_nRxCount == kRxSize;
        }
        serial_icounter_struct now{};
        if (m_bHaveCounters && ReadCounters(now)) {
            const serial_icounter_struct& was = m_eventCounters;
            if (now.brk != was.brk)
                events |= line_event::kBreak;
            if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity
                || now.buf_overrun != was.buf_overrun)
                events |= line_event::kErr;
            if (now.cts != was.cts)
                events |= line_event::kCts;
            if (now.dsr != was.dsr)
                events |= line_event::kDsr;
            if (now.dcd != was.dcd)
                events |= line_event::kRlsd;
            if (now.rng != was.rng)
                events |= line_event::kRing;
            m_eventCounters = now;
        }
        events &= mask;
        if (events)
            return {};
        if (m_bHungUp)
            return Errno(ENODEV);

        // With the buffer full, input waits in the driver until a Read makes room.
        pollfd fds[4] = {{m_fdClose, POLLIN, 0}, {m_fdMask, POLLIN, 0}, {m_fdRead, POLLIN, 0},
            {m_fd, static_cast<short>(full ? 0 : POLLIN), 0}};
        int n = ::poll(fds, 4, deadline.PollTimeout());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return LastErrno();
        }
        if (fds[0].revents)
            return Errno(ECANCELED);
        if (n == 0)
            return ESerialError::Timeout;
        if (fds[3].revents & (POLLHUP | POLLERR | POLLNVAL))
            m_bHungUp = true; // report what is left, then the hang-up
    }
}

std::error_code CPosixSerial::ClearErrors(std::uint32_t& errors)
{
    errors = 0;
    if (!m_bHaveCounters)
        return {};
    serial_icounter_struct now{};
    if (!ReadCounters(now))
        return LastErrno();
    std::lock_guard lock(m_errorMutex);
    const serial_icounter_struct& was = m_errorCounters;
    if (now.buf_overrun != was.buf_overrun)
        errors |= line_error::kRxOver;
    if (now.overrun != was.overrun)
        errors |= line_error::kOverrun;
    if (now.parity != was.parity)
        errors |= line_error::kRxParity;
    if (now.frame != was.frame)
        errors |= line_error::kFrame;
    if (now.brk != was.brk)
        errors |= line_error::kBreak;
    m_errorCounters = now;
    return {};
}

} // namespace

std::unique_ptr<CSerialBackend> CSerialBackend::Create()
{
    return std::make_unique<CPosixSerial>();
}
