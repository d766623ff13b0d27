#include "base/regular_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace {
class CNotRegularCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "regular file"; }
    std::string message(int) const override { return "not a regular file"; }
};

std::error_code LastError()
{
    return {errno, std::system_category()};
}

bool OnPseudoFileSystem(int fd)
{
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0)
        return false;
    return info.f_type == PROC_SUPER_MAGIC || info.f_type == SYSFS_MAGIC || info.f_type == DEBUGFS_MAGIC;
}
} // namespace

std::error_code CRegularFile::NotRegular()
{
    static const CNotRegularCategory category;
    return {1, category};
}

CRegularFile::~CRegularFile()
{
    Close();
}

void CRegularFile::Close()
{
    if (m_nHandle >= 0)
        ::close(static_cast<int>(m_nHandle));
    m_nHandle = -1;
    m_nSize = 0;
}

std::error_code CRegularFile::Open(const std::string& path)
{
    Close();
    // Non-blocking, so a FIFO in the file's place cannot hold the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return LastError();
    struct stat info {};
    std::error_code code;
    if (::fstat(fd, &info) != 0)
        code = LastError();
    else if (S_ISDIR(info.st_mode))
        code = std::make_error_code(std::errc::is_a_directory);
    else if (!S_ISREG(info.st_mode) || OnPseudoFileSystem(fd))
        code = NotRegular();
    if (code) {
        ::close(fd);
        return code;
    }
    // A regular file never blocks; reads go as they always do.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_nHandle = fd;
    m_nSize = static_cast<std::uint64_t>(info.st_size);
    return {};
}

std::size_t CRegularFile::Read(void* buffer, std::size_t size, std::error_code& error)
{
    error.clear();
    if (m_nHandle < 0) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return 0;
    }
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(m_nHandle), buffer, size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR) {
            error = LastError();
            return 0;
        }
    }
}

std::error_code CRegularFile::ReadAll(std::vector<std::uint8_t>& data)
{
    try {
        data.resize(static_cast<std::size_t>(m_nSize));
    } catch (const std::bad_alloc&) {
        return std::make_error_code(std::errc::not_enough_memory);
    } catch (const std::length_error&) {
        return std::make_error_code(std::errc::not_enough_memory);
    }
    std::size_t count = 0;
    while (count < data.size()) {
        std::error_code error;
        const std::size_t n = Read(data.data() + count, data.size() - count, error);
        if (error)
            return error;
        if (n == 0)
            break;
        count += n;
    }
    data.resize(count);
    return {};
}
