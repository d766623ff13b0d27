#include "app/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

CInstanceLock::CInstanceLock(const std::string& path) : m_strPath(path)
{
    // Each turn means another start removed the file while this one waited: a few suffice.
    for (int attempt = 0; attempt < 8 && m_nHandle < 0; ++attempt) {
        const int fd = ::open(m_strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            // A file of ours that cannot be opened (a crash left it with other rights) goes.
            if (errno == EACCES && attempt == 0 && ::unlink(m_strPath.c_str()) == 0)
                continue;
            return;
        }
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat held {};
        struct stat atPath {};
        if (::fstat(fd, &held) == 0 && ::stat(m_strPath.c_str(), &atPath) == 0 && held.st_dev == atPath.st_dev
            && held.st_ino == atPath.st_ino)
            m_nHandle = fd;
        else
            ::close(fd);
    }
}

CInstanceLock::~CInstanceLock()
{
    if (m_nHandle < 0)
        return;
    ::unlink(m_strPath.c_str());
    ::close(static_cast<int>(m_nHandle));
}

unsigned long CInstanceLock::UserNumber()
{
    return static_cast<unsigned long>(::getuid());
}
