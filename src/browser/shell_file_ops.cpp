#include "browser/shell_file_ops.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class CBrowserErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "browser"; }
    std::string message(int value) const override
    {
        switch (static_cast<EBrowserError>(value)) {
        case EBrowserError::StaleItem:
            return "The file has changed on disk since the folder was listed. Press F5 to reload the folder.";
        }
        return "Unknown error";
    }
};

std::error_code LastError()
{
    return std::error_code(errno, std::system_category());
}

// Writes all of buffer, retrying short writes and interruptions.
bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::error_code CopyRegularFile(const std::string& source, const std::string& destination,
                                const struct stat& st)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return LastError();
    const int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        const std::error_code error = LastError();
        ::close(in);
        return error;
    }
    std::error_code error;
    std::vector<char> buffer(1 << 16);
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = LastError();
            break;
        }
        if (n == 0)
            break;
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            error = LastError();
            break;
        }
    }
    if (!error) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        // The source goes next: the copy must be on disk first.
        if (::fsync(out) != 0)
            error = LastError();
    }
    if (::close(out) != 0 && !error)
        error = LastError();
    ::close(in);
    if (error)
        ::unlink(destination.c_str());
    return error;
}

std::error_code RenameNoReplace(const std::string& source, const std::string& destination)
{
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return LastError();
    // The file system cannot refuse a replacement itself: look first.
    struct stat st {};
    if (::lstat(destination.c_str(), &st) == 0)
        return std::error_code(EEXIST, std::system_category());
    if (::rename(source.c_str(), destination.c_str()) != 0)
        return LastError();
    return {};
}

} // namespace

const std::error_category& BrowserErrorCategory()
{
    static const CBrowserErrorCategory category;
    return category;
}

std::error_code make_error_code(EBrowserError e)
{
    return std::error_code(static_cast<int>(e), BrowserErrorCategory());
}

std::error_code CheckFileIdentity(const std::string& path, const CFileIdentity& identity)
{
    if (path.empty())
        return std::error_code(ENOENT, std::system_category());
    if (!identity.m_bValid)
        return {};
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return EBrowserError::StaleItem;
        return LastError();
    }
    if (st.st_dev != identity.m_dev || st.st_ino != identity.m_ino)
        return EBrowserError::StaleItem;
    return {};
}

std::error_code DeleteShellFile(const std::string& path, const CFileIdentity& identity)
{
    if (std::error_code error = CheckFileIdentity(path, identity))
        return error;
    if (::unlink(path.c_str()) != 0)
        return LastError();
    return {};
}

std::error_code MoveShellFile(const std::string& source, const std::string& destination,
                              const CFileIdentity& identity)
{
    if (destination.empty())
        return std::error_code(ENOENT, std::system_category());
    if (std::error_code error = CheckFileIdentity(source, identity))
        return error;
    std::error_code error = RenameNoReplace(source, destination);
    if (error != std::errc::cross_device_link)
        return error;

    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0)
        return LastError();
    if (S_ISREG(st.st_mode)) {
        if ((error = CopyRegularFile(source, destination, st)))
            return error;
    } else if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1);
        const ssize_t n = ::readlink(source.c_str(), target.data(), target.size() - 1);
        if (n < 0)
            return LastError();
        target[static_cast<std::size_t>(n)] = 0;
        if (::symlink(target.data(), destination.c_str()) != 0)
            return LastError();
    } else {
        // Folders (and devices) do not cross file systems.
        return error;
    }
    if (::unlink(source.c_str()) != 0)
        return LastError();
    return {};
}
