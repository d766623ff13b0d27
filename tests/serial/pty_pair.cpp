#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

CPtyPair::CPtyPair()
{
    m_fdMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fdMaster < 0 || ::grantpt(m_fdMaster) != 0 || ::unlockpt(m_fdMaster) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128] = {};
    if (::ptsname_r(m_fdMaster, name, sizeof name) != 0)
        throw std::runtime_error("no pseudo-terminal name");
    m_strSlave = name;
    ::fcntl(m_fdMaster, F_SETFL, ::fcntl(m_fdMaster, F_GETFL) | O_NONBLOCK);
}

CPtyPair::~CPtyPair()
{
    CloseMaster();
}

void CPtyPair::CloseMaster()
{
    if (m_fdMaster >= 0)
        ::close(m_fdMaster);
    m_fdMaster = -1;
}

void CPtyPair::Send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_fdMaster, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("far end write failed");
        pollfd fd{m_fdMaster, POLLOUT, 0};
        ::poll(&fd, 1, 1000);
        // With the line closed nobody will ever make room: end instead of waiting for good.
        if ((fd.revents & (POLLHUP | POLLERR)) && !(fd.revents & POLLOUT))
            throw std::runtime_error("far end write: the line is closed");
    }
}

std::string CPtyPair::Receive(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        char buffer[4096];
        ssize_t n = ::read(m_fdMaster, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fd{m_fdMaster, POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left.count()));
    }
    return got;
}

std::string CPtyPair::ReceiveAvailable()
{
    std::string got;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_fdMaster, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}
