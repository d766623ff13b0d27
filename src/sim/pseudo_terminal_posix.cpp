#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {
void CloseHandle(std::intptr_t& handle)
{
    if (handle >= 0)
        ::close(static_cast<int>(handle));
    handle = -1;
}
} // namespace

std::error_code CPseudoTerminal::FarEndLine(CLineConfig& line) const
{
    termios tio{};
    if (m_hSlave < 0 || ::tcgetattr(static_cast<int>(m_hSlave), &tio) != 0)
        return {m_hSlave < 0 ? EBADF : errno, std::system_category()};
    static constexpr struct {
        speed_t m_code;
        std::uint32_t m_nRate;
    } kRates[] = {{B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200}, {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    line.m_nBaud = 0;
    for (const auto& rate : kRates)
        if (::cfgetospeed(&tio) == rate.m_code)
            line.m_nBaud = rate.m_nRate;
    switch (tio.c_cflag & CSIZE) {
    case CS5: line.m_nDataBits = 5; break;
    case CS6: line.m_nDataBits = 6; break;
    case CS7: line.m_nDataBits = 7; break;
    default: line.m_nDataBits = 8; break;
    }
    if (!(tio.c_cflag & PARENB))
        line.m_eParity = EParity::None;
    else if (tio.c_cflag & CMSPAR)
        line.m_eParity = (tio.c_cflag & PARODD) ? EParity::Mark : EParity::Space;
    else
        line.m_eParity = (tio.c_cflag & PARODD) ? EParity::Odd : EParity::Even;
    line.m_eStopBits = !(tio.c_cflag & CSTOPB) ? EStopBits::One : line.m_nDataBits == 5 ? EStopBits::OneAndHalf : EStopBits::Two;
    line.m_eHandshake = (tio.c_cflag & CRTSCTS)                    ? EHandshake::Hardware
        : ((tio.c_iflag & IXON) && (tio.c_iflag & IXOFF)) ? EHandshake::Software
                                                          : EHandshake::None;
    return {};
}

CPseudoTerminal::~CPseudoTerminal()
{
    Close();
}

std::error_code CPseudoTerminal::Open()
{
    Close();
    auto fail = [this](int err) {
        Close();
        return std::error_code(err, std::system_category());
    };
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return fail(errno);
    m_hMaster = master;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return fail(errno);
    char name[PATH_MAX];
    if (::ptsname_r(master, name, sizeof name) != 0)
        return fail(errno);
    m_strSlavePath = name;
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return fail(errno);
    m_hSlave = slave;
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    if (::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0)
        return fail(errno);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0)
        return fail(errno);
    m_hWake = wake;
    return {};
}

void CPseudoTerminal::Close()
{
    CloseHandle(m_hMaster);
    CloseHandle(m_hSlave);
    CloseHandle(m_hWake);
}

CPseudoTerminal::EWait CPseudoTerminal::Wait(bool wantIn, bool wantOut, int timeoutMs)
{
    pollfd fds[2] = {{static_cast<int>(m_hWake), POLLIN, 0}, {static_cast<int>(m_hMaster), 0, 0}};
    fds[1].events = static_cast<short>((wantIn ? POLLIN : 0) | (wantOut ? POLLOUT : 0));
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR)
        return EWait::Woken;
    if (fds[0].revents != 0)
        return EWait::Woken;
    if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
        return EWait::Readable;
    return EWait::Other;
}

std::size_t CPseudoTerminal::Read(void* buffer, std::size_t size)
{
    const ssize_t n = ::read(static_cast<int>(m_hMaster), buffer, size);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t CPseudoTerminal::Write(const void* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(m_hMaster), data, size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

void CPseudoTerminal::HangUp()
{
    CloseHandle(m_hMaster);
    CloseHandle(m_hSlave);
}

void CPseudoTerminal::Wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(static_cast<int>(m_hWake), &one, sizeof one);
}
