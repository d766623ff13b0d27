#include "browser/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace file_system {

namespace {

std::error_code LastSystemError()
{
    return std::error_code(errno, std::system_category());
}

EKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EKind::Regular;
    if (S_ISDIR(mode))
        return EKind::Directory;
    if (S_ISLNK(mode))
        return EKind::Link;
    return EKind::Other;
}

EKind KindOfEntry(unsigned char type)
{
    switch (type) {
    case DT_REG:
        return EKind::Regular;
    case DT_DIR:
        return EKind::Directory;
    case DT_LNK:
        return EKind::Link;
    case DT_UNKNOWN:
        return EKind::Unknown;
    default:
        return EKind::Other;
    }
}

CStatus StatusOf(const struct stat& st)
{
    CStatus status;
    status.m_kind = KindOfMode(st.st_mode);
    status.m_nDevice = st.st_dev;
    status.m_nInode = st.st_ino;
    status.m_nSize = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    status.m_nModified = st.st_mtim.tv_sec;
    status.m_nPermissions = st.st_mode & 07777;
    return status;
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

} // namespace

std::error_code Status(const std::string& path, CStatus& status)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return LastSystemError();
    status = StatusOf(st);
    return {};
}

std::error_code LinkStatus(const std::string& path, CStatus& status)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return LastSystemError();
    status = StatusOf(st);
    return {};
}

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::error_code ListFolder(const std::string& path,
                           const std::function<bool(std::string&& name, EKind kind)>& onEntry)
{
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return LastSystemError();
    std::error_code result;
    while (true) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                result = LastSystemError();
            break;
        }
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!onEntry(std::move(name), KindOfEntry(entry->d_type)))
            break;
    }
    ::closedir(dir);
    return result;
}

std::error_code ReadLink(const std::string& path, std::string& target)
{
    // A link's text may grow between two looks: read until it fits the buffer.
    std::vector<char> buffer(4096);
    while (true) {
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return LastSystemError();
        if (static_cast<std::size_t>(n) < buffer.size()) {
            target.assign(buffer.data(), static_cast<std::size_t>(n));
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::error_code MakeLink(const std::string& target, const std::string& path)
{
    if (::symlink(target.c_str(), path.c_str()) != 0)
        return LastSystemError();
    return {};
}

std::error_code RemoveFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        return LastSystemError();
    return {};
}

std::error_code RenameNoReplace(const std::string& source, const std::string& destination)
{
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return LastSystemError();
    // The file system cannot refuse a replacement itself: look first.
    struct stat st {};
    if (::lstat(destination.c_str(), &st) == 0)
        return std::error_code(EEXIST, std::system_category());
    if (::rename(source.c_str(), destination.c_str()) != 0)
        return LastSystemError();
    return {};
}

std::error_code CopyRegularFile(const std::string& source, const std::string& destination)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return LastSystemError();
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        const std::error_code error = LastSystemError();
        ::close(in);
        return error;
    }
    const int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        const std::error_code error = LastSystemError();
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
            error = LastSystemError();
            break;
        }
        if (n == 0)
            break;
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            error = LastSystemError();
            break;
        }
    }
    if (!error) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        // A move removes the source next: the copy must be on disk first.
        if (::fsync(out) != 0)
            error = LastSystemError();
    }
    if (::close(out) != 0 && !error)
        error = LastSystemError();
    ::close(in);
    if (error)
        ::unlink(destination.c_str());
    return error;
}

std::string UserHomeFolder()
{
    const passwd* pw = ::getpwuid(::getuid());
    if (pw == nullptr || pw->pw_dir == nullptr)
        return {};
    return pw->pw_dir;
}

} // namespace file_system
