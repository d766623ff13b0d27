#include "base/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

COutputFile::~COutputFile()
{
    Close();
}

std::error_code COutputFile::Create(const std::string& path, std::filesystem::perms permissions)
{
    return OpenWith(path, O_TRUNC, permissions);
}

std::error_code COutputFile::Append(const std::string& path, std::filesystem::perms permissions)
{
    return OpenWith(path, O_APPEND, permissions);
}

std::error_code COutputFile::OpenWith(const std::string& path, int flags, std::filesystem::perms permissions)
{
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags,
        static_cast<mode_t>(permissions & std::filesystem::perms::mask));
    if (fd < 0)
        return {errno, std::system_category()};
    m_nHandle = fd;
    return {};
}

std::error_code COutputFile::Size(std::uint64_t& size) const
{
    size = 0;
    struct stat info {};
    if (::fstat(static_cast<int>(m_nHandle), &info) != 0)
        return {errno, std::system_category()};
    if (S_ISREG(info.st_mode))
        size = static_cast<std::uint64_t>(info.st_size);
    return {};
}

std::error_code COutputFile::Sync()
{
    // A device or pipe that cannot be synced holds nothing to lose.
    if (::fsync(static_cast<int>(m_nHandle)) != 0 && errno != EINVAL && errno != EROFS)
        return {errno, std::system_category()};
    return {};
}

std::size_t COutputFile::WriteSome(const void* data, std::size_t size, std::error_code& error)
{
    error.clear();
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(m_nHandle), data, size);
        if (n > 0)
            return static_cast<std::size_t>(n);
        if (n < 0 && errno == EINTR)
            continue;
        error = std::error_code(n < 0 ? errno : EIO, std::system_category());
        return 0;
    }
}

std::error_code COutputFile::WriteAll(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        std::error_code error;
        done += WriteSome(bytes + done, size - done, error);
        if (error)
            return error;
    }
    return {};
}

std::error_code COutputFile::Close()
{
    if (m_nHandle < 0)
        return {};
    const int fd = static_cast<int>(m_nHandle);
    m_nHandle = -1;
    // An interrupted close has closed the file all the same.
    if (::close(fd) != 0 && errno != EINTR)
        return {errno, std::system_category()};
    return {};
}
